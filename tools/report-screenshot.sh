#!/bin/sh
# Renders a tolva report page in headless Chromium and saves a screenshot, to check by eye
# how a run's report looks in a browser.
#
#   [PAGE=report.xml] [SIZE=1200,1600] tools/report-screenshot.sh [TOLVA] [OUT.png] [INPUT...]
#
# Defaults: build/apps/tolva/tolva, report.png, and the sample files in examples/. PAGE picks
# the page: report.html (default), or report.xml shown through report.xsl.
# Chromium (Debian package chromium) is installed when missing; it is not needed otherwise.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
tolva=${1:-$here/build/apps/tolva/tolva}
png=${2:-report.png}
[ $# -gt 2 ] && shift 2 || set -- "$here/examples"
case "$png" in /*) ;; *) png="$PWD/$png" ;; esac

if ! command -v chromium >/dev/null 2>&1; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends chromium >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$tolva" -o "$work/out" "$@" >/dev/null
# file:// pages may load their stylesheet only with file access allowed; the background
# switches keep Chromium from calling out of a machine without network.
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$work/profile" --allow-file-access-from-files --window-size="${SIZE:-1200,1600}" \
  --screenshot="$png" "file://$work/out/${PAGE:-report.html}" >/dev/null 2>&1
[ -s "$png" ] || { echo "report-screenshot: no screenshot written" >&2; exit 1; }
echo "$png"
