#!/usr/bin/env python3
"""The real nolt-host taking `nolt add` of a 200 MiB video: the host's peak resident memory
and the whole add's time, for one or more builds side by side in one run.

Usage: host_add.py BUILD_DIR [BUILD_DIR ...] [--runs N] [--size-mib N]
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DNOLT_BENCHMARKS=ON
  cmake --build build-bench --target nolt nolt-host
  python3 bench/host/host_add.py build-bench

Each BUILD_DIR's bin/nolt talks to its own bin/nolt-host, started afresh for every run in a
temporary HOME, so each run's peak (VmHWM) is that of one add. Target: at most 160 MiB.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time


def read_hwm(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return 0


def one_run(build, video, scratch):
    home = tempfile.mkdtemp(dir=scratch)
    runtime = os.path.join(home, "run")
    os.makedirs(runtime, mode=0o700)
    env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PATH": "/usr/bin:/bin",
           "XDG_DATA_HOME": os.path.join(home, ".local/share"), "QT_QPA_PLATFORM": "offscreen"}
    host = subprocess.Popen([os.path.join(build, "bin", "nolt-host")], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        record = os.path.join(runtime, "app.nolt.Nolt.instance")
        socket = os.path.join(runtime, "group.app.nolt.cli")
        deadline = time.time() + 30
        while time.time() < deadline:
            if os.path.exists(socket) and os.path.exists(record) and \
                    open(record).read().startswith("running"):
                break
            time.sleep(0.01)
        else:
            sys.exit("%s: the host did not start" % build)
        before = read_hwm(host.pid)
        start = time.perf_counter()
        subprocess.run([os.path.join(build, "bin", "nolt"), "add", video], env=env, check=True,
                       stdout=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        return elapsed, before, read_hwm(host.pid)
    finally:
        host.terminate()
        host.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size-mib", type=int, default=200)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="nolt-host-bench-") as scratch:
        video = os.path.join(scratch, "video.mp4")
        with open(video, "wb") as f:
            for _ in range(args.size_mib):
                f.write(os.urandom(2**20))
        results = {build: [] for build in args.builds}
        for _ in range(args.runs):  # alternated, so drift in the machine's load hits each alike
            for build in args.builds:
                results[build].append(one_run(build, video, scratch))
        print("nolt add of %d MiB into the real nolt-host (%d runs each)" % (args.size_mib, args.runs))
        for build, runs in results.items():
            print("  %-28s add median %7.3f s   host peak RSS %7.1f MiB (at start %5.1f MiB)" % (
                build, statistics.median(r[0] for r in runs),
                max(r[2] for r in runs) / 2**20, max(r[1] for r in runs) / 2**20))


if __name__ == "__main__":
    main()
