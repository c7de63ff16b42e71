#!/bin/sh
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent and quiet when everything is already there.
set -e

PKGS="build-essential cmake ninja-build ccache pkg-config
zlib1g-dev libjpeg62-turbo-dev libfreetype-dev liblcms2-dev libexempi-dev
libssl-dev libopenjp2-7-dev
libcairo2-dev libfontconfig-dev libharfbuzz-dev libxml2-dev
libboost-dev libboost-program-options-dev libboost-filesystem-dev
libboost-date-time-dev libboost-regex-dev
libgtest-dev libgmock-dev libbenchmark-dev
poppler-data aglfn fonts-urw-base35 fonts-dejavu-core
fonts-liberation fonts-liberation2 fonts-droid-fallback
fonts-crosextra-carlito fonts-crosextra-caladea
qpdf poppler-utils libtiff-tools jbig2dec xsltproc libxml2-utils exempi
mupdf-tools libopenjp2-tools libjpeg-turbo-progs python3 time bc jq
python3-distributed"

if [ "$1" = "--fuzz" ]; then
  PKGS="$PKGS clang libclang-rt-14-dev llvm"
fi

missing=""
for p in $PKGS; do
  st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  case "$st" in
    *"install ok installed"*) ;;
    *) missing="$missing $p" ;;
  esac
done

[ -z "$missing" ] && exit 0

echo "Installing missing packages:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
