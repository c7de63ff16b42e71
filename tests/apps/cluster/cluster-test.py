#!/usr/bin/python3
"""The cluster runner against a single tolva process: a Dask scheduler and two workers on
127.0.0.1, a folder of the examples and generated files, one worker killed mid-run. Every
file must be reported exactly once, with the verdict and findings of the single run, and a
resumed run must skip what the journal holds and still write the same report.

    cluster-test.py TOLVA SOURCE_DIR
"""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

TOLVA, SOURCE = sys.argv[1], sys.argv[2]
PYTHON = "/usr/bin/python3"
RUNNER = os.path.join(SOURCE, "tools", "tolva-cluster")


def make_inputs(root):
    folder = os.path.join(root, "in")
    os.makedirs(os.path.join(folder, "sub"))
    for name in os.listdir(os.path.join(SOURCE, "examples")):
        shutil.copy(os.path.join(SOURCE, "examples", name), folder)
    subprocess.run([PYTHON, os.path.join(SOURCE, "tools", "make-batch-files.py"), folder, "120", "--subfolder"],
                   check=True)
    with open(os.path.join(folder, "broken.pdf"), "wb") as f:
        f.write(b"no PDF here")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, proc, seconds=60):
    end = time.time() + seconds
    while time.time() < end:
        if proc.poll() is not None:
            sys.exit(f"the scheduler ended early with status {proc.returncode}")
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return
        except OSError:
            time.sleep(0.2)
    sys.exit("the scheduler did not start")


def entries(xml):
    """The FileNameAndPath of each Validation entry, in order."""
    return re.findall(r'<Validation>\n <(?:Pass|Fail) FileName="[^"]*" FileNameAndPath="([^"]*)"', xml)


def without_date(xml):
    return re.sub(r'RunDateTime="[^"]*"', "", xml, count=1)


def check(condition, text):
    if not condition:
        print("FAIL: " + text, file=sys.stderr)
        sys.exit(1)


def main():
    root = tempfile.mkdtemp(prefix="tolva-cluster-test-")
    procs = []
    try:
        make_inputs(root)
        has_json = "--json" in subprocess.run([TOLVA, "--help"], stdout=subprocess.PIPE, text=True).stdout
        json_args = ["--json", "ref.json"] if has_json else []
        ref = subprocess.run([TOLVA, "--subfolders", "-o", "cl", *json_args, "in"], cwd=root,
                             stdout=subprocess.DEVNULL)
        # The JSON report names the output folder: the cluster run writes to the same one.
        os.rename(os.path.join(root, "cl"), os.path.join(root, "ref"))
        check(ref.returncode == 0, "the single-process run failed")
        with open(os.path.join(root, "ref", "report.xml"), encoding="utf-8") as f:
            ref_xml = f.read()
        files = entries(ref_xml)
        check(len(files) == 125, f"the single run reported {len(files)} files")

        port = free_port()
        scheduler = f"tcp://127.0.0.1:{port}"
        procs.append(subprocess.Popen(["/usr/bin/dask", "scheduler", "--host", "127.0.0.1", "--port", str(port),
                                       "--no-dashboard"], cwd=root, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        wait_for_port(port, procs[0])
        for n in (1, 2):
            procs.append(subprocess.Popen(["/usr/bin/dask", "worker", scheduler, "--nthreads", "1", "--no-nanny",
                                           "--no-dashboard", "--local-directory", os.path.join(root, f"w{n}")],
                                          cwd=root, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        from distributed import Client
        with Client(scheduler, timeout=60) as client:
            client.wait_for_workers(2, timeout=120)

        # One worker is killed as soon as the first chunk is done; the run must still finish.
        runner = subprocess.Popen([PYTHON, RUNNER, "--scheduler", scheduler, "--tolva", TOLVA, "--chunk", "3", "--",
                                   "--subfolders", "-o", "cl", *(["--json", "cl.json"] if has_json else []), "in"],
                                  cwd=root, stderr=subprocess.PIPE, text=True)
        log, killed = [], False
        for line in runner.stderr:
            log.append(line)
            if not killed and " done (" in line:
                procs[1].send_signal(signal.SIGKILL)
                killed = True
        check(runner.wait(timeout=600) == 0, "the cluster run failed:\n" + "".join(log))
        check(killed, "no chunk finished:\n" + "".join(log))
        with open(os.path.join(root, "cl", "report.xml"), encoding="utf-8") as f:
            cl_xml = f.read()
        check(sorted(entries(cl_xml)) == sorted(files) and len(set(entries(cl_xml))) == len(files),
              "the cluster run did not report every file exactly once")
        check(without_date(cl_xml) == without_date(ref_xml), "report.xml differs from the single run's")
        check(os.path.exists(os.path.join(root, "cl", "report.xsl")), "no report.xsl")
        if has_json:
            pages = []
            for folder in ("ref", "cl"):
                with open(os.path.join(root, folder, "report.html"), encoding="utf-8") as f:
                    pages.append(re.sub(r"Run \d{4}-[A-Z][a-z]{2}-\d{2} [\d:]{8}", "", f.read(), count=1))
            check(pages[0] == pages[1], "report.html differs from the single run's")
            with open(os.path.join(root, "ref.json"), encoding="utf-8") as f:
                ref_json = json.load(f)
            with open(os.path.join(root, "cl.json"), encoding="utf-8") as f:
                cl_json = json.load(f)
            for doc in (ref_json, cl_json):
                del doc["run"]["date"]
            check(cl_json == ref_json, "the JSON report differs from the single run's")

        # Resume from a journal cut after its first 40 files: those are not sent again.
        journal = os.path.join(root, "cl", ".tolva-cluster-journal.jsonl")
        with open(journal, encoding="utf-8") as f:
            lines = f.readlines()
        check(len(lines) == len(files), f"the journal holds {len(lines)} lines")
        with open(journal, "w", encoding="utf-8") as f:
            f.writelines(lines[:40])
        again = subprocess.run([PYTHON, RUNNER, "--scheduler", scheduler, "--tolva", TOLVA, "--chunk", "8",
                                "--resume", "--", "--subfolders", "-o", "cl",
                                *(["--json", "cl.json"] if has_json else []), "in"],
                               cwd=root, stderr=subprocess.PIPE, text=True)
        check(again.returncode == 0, "the resumed run failed:\n" + again.stderr)
        check("resuming: 40 files already reported" in again.stderr and f"({len(files) - 40} processed here)"
              in again.stderr, "the resumed run did not skip the journal's files:\n" + again.stderr)
        with open(os.path.join(root, "cl", "report.xml"), encoding="utf-8") as f:
            check(without_date(f.read()) == without_date(ref_xml), "the resumed report differs")
        print("".join(line for line in log if "lost" in line or "files/s" in line), end="")
        print(f"cluster run: {len(files)} files, worker killed mid-run; resumed run skipped 40")
    finally:
        for p in reversed(procs):
            if p.poll() is None:
                p.send_signal(signal.SIGKILL)
                p.wait()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
