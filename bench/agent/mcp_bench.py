#!/usr/bin/env python3
"""nolt mcp next to a bare C++ line loop and a reference server written with the MCP SDK,
measured side by side in one run by mcp_drive, a small C++ client.

  ping:       replies per second for 20,000 pipelined "ping" lines; target at least 0.9 times
              the bare loop's.
  tools/list: median round trip of 2,000 sequential requests; target under a tenth of the
              reference server's.

Usage: mcp_bench.py BUILD_DIR [--pings N] [--lists N] [--rounds N] [--nolt PATH]
(configure BUILD_DIR with -DNOLT_BENCHMARKS=ON and build the target agent_bench_programs;
run scripts/setup.d/agent.sh for the reference server's SDK).
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def drive(build, mode, count, argv, env):
    out = subprocess.run([os.path.join(build, "bench", "mcp_drive"), mode, str(count)] + argv,
                         env=env, check=True, capture_output=True, text=True).stdout
    return float(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--pings", type=int, default=20000)
    parser.add_argument("--lists", type=int, default=2000)
    parser.add_argument("--rounds", type=int, default=3, help="best of this many runs each")
    parser.add_argument("--nolt", help="the nolt program (default BUILD/bin/nolt)")
    args = parser.parse_args()

    servers = {
        "nolt mcp": [args.nolt or os.path.join(args.build, "bin", "nolt"), "mcp"],
        "bare loop": [os.path.join(args.build, "bench", "bare_line_loop")],
        "SDK reference": ["node", os.path.join(HERE, "reference_server.mjs")],
    }
    results = {name: [0.0, float("inf")] for name in servers}
    with tempfile.TemporaryDirectory() as home:
        # No host is needed: ping and tools/list never reach it.
        env = {"HOME": home, "PATH": os.environ.get("PATH", "/usr/bin:/bin")}
        # Rounds alternate between the servers, so drifts of the machine hit all of them alike.
        for _ in range(args.rounds):
            for name, argv in servers.items():
                rate = drive(args.build, "pings", args.pings, argv, env)
                trip = drive(args.build, "lists", args.lists, argv, env)
                results[name][0] = max(results[name][0], rate)
                results[name][1] = min(results[name][1], trip)

    print("%-14s %12s %22s" % ("server", "pings/s", "tools/list median"))
    for name, (rate, trip) in results.items():
        print("%-14s %12.0f %19.1f us" % (name, rate, trip))
    nolt, bare, ref = results["nolt mcp"], results["bare loop"], results["SDK reference"]
    verdict = lambda met: "met" if met else "MISSED"
    print()
    print("ping throughput, nolt / bare loop:      %7.2f  (target >= 0.90: %s)"
          % (nolt[0] / bare[0], verdict(nolt[0] >= 0.9 * bare[0])))
    print("ping throughput, nolt / SDK reference:  %7.1f" % (nolt[0] / ref[0]))
    print("tools/list round trip, nolt / SDK ref:  %7.3f  (target < 0.10: %s)"
          % (nolt[1] / ref[1], verdict(nolt[1] < 0.1 * ref[1])))
    print("tools/list round trip, nolt / bare:     %7.2f" % (nolt[1] / bare[1]))
    # Figures, not a test: the status says only whether every server could be measured.
    return 0

if __name__ == "__main__":
    sys.exit(main())
