#!/usr/bin/env python3
"""Whole-process time of nolt next to plain C baselines, measured side by side in one run.

  search: `nolt search red chair` against an instant host, next to c_client doing the same
          socket exchange; target at most 1.2 times the C client.
  add:    `nolt add video.mp4` of 200 MiB, next to add_streamed_floor (read 768 KiB, Base64,
          write to the socket, repeat) and add_floor (the same holding the whole file); targets
          at most 1.3 times the streamed floor in time and a peak RSS of at most 32 MiB.

Usage: whole_process.py BUILD_DIR [--runs N] [--add-runs N] [--nolt PATH] [--skip-add]
  cmake -S . -B build -G Ninja -DNOLT_BENCHMARKS=ON && cmake --build build --target cli_bench_programs
  python3 bench/cli/whole_process.py build

Peak RSS comes from wait4(): a spawned child counts the spawning Python (about 15 MiB) until
its exec, so only figures above that say something about the program.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

SEARCH_REPLY = (
    '{"result":{"items":['
    + ",".join(
        '{"id":"%08d-0000-0000-0000-000000000000","title":"Red chair %d","tags":["red","ui"]}'
        % (i, i)
        for i in range(20)
    )
    + '],"total":143}}'
)


def run(argv, env):
    """Wall time in seconds and peak resident memory in bytes of one run."""
    with open(os.devnull, "wb") as devnull:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, env, file_actions=[
            (os.POSIX_SPAWN_DUP2, devnull.fileno(), 1),
            (os.POSIX_SPAWN_DUP2, devnull.fileno(), 2)])
        _, status, usage = os.wait4(pid, 0)
        elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed with status %d" % (" ".join(argv), os.waitstatus_to_exitcode(status)))
    return elapsed, usage.ru_maxrss * 1024


def side_by_side(runs, commands, env):
    """Alternates the commands so that drift in the machine's load hits each alike."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(runs):
        for name, argv in commands.items():
            elapsed, peak = run(argv, env)
            times[name].append(elapsed)
            peaks[name] = max(peaks[name], peak)
    return times, peaks


def report(title, times, peaks, baseline):
    print(title)
    base = statistics.median(times[baseline])
    for name, values in times.items():
        median = statistics.median(values)
        print("  %-10s median %8.3f ms  min %8.3f ms  peak RSS %8.1f MiB  %5.2fx %s" % (
            name, median * 1e3, min(values) * 1e3, peaks[name] / 2**20, median / base, baseline))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=300)
    parser.add_argument("--add-runs", type=int, default=5)
    parser.add_argument("--nolt", help="another nolt binary to time instead of BUILD_DIR's")
    parser.add_argument("--skip-add", action="store_true")
    args = parser.parse_args()
    nolt = args.nolt or os.path.join(args.build, "bin", "nolt")
    bench = os.path.join(args.build, "bench")

    with tempfile.TemporaryDirectory(prefix="nolt-bench-") as scratch:
        home = os.path.join(scratch, "home")
        runtime = os.path.join(scratch, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        env = {"HOME": home, "XDG_RUNTIME_DIR": runtime, "PATH": "/usr/bin:/bin"}
        reply = os.path.join(scratch, "reply.json")
        with open(reply, "w") as f:
            f.write(SEARCH_REPLY)
        ready = os.path.join(scratch, "ready")
        host = subprocess.Popen([os.path.join(bench, "instant_host"), reply, ready], env=env)
        try:
            while not os.path.exists(ready):
                time.sleep(0.01)
            # A few untimed runs warm the caches for both.
            side_by_side(10, {"nolt": [nolt, "search", "red", "chair"],
                              "c_client": [os.path.join(bench, "c_client")]}, env)
            times, peaks = side_by_side(args.runs, {
                "nolt": [nolt, "search", "red", "chair"],
                "c_client": [os.path.join(bench, "c_client")]}, env)
            report("search (%d runs each)" % args.runs, times, peaks, "c_client")

            if args.skip_add:
                return
            video = os.path.join(scratch, "video.mp4")
            size = 200 * 2**20
            with open(video, "wb") as f:
                for _ in range(size // 2**20):
                    f.write(os.urandom(2**20))
            times, peaks = side_by_side(args.add_runs, {
                "nolt": [nolt, "add", video],
                "streamed": [os.path.join(bench, "add_streamed_floor"), video],
                "held": [os.path.join(bench, "add_floor"), video]}, env)
            report("add of 200 MiB (%d runs each)" % args.add_runs, times, peaks, "streamed")
            print("  nolt peak RSS / file size: %.3f" % (peaks["nolt"] / size))
        finally:
            host.terminate()
            host.wait()


if __name__ == "__main__":
    main()
