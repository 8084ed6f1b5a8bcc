#!/usr/bin/env python3
"""Writes cli/nolt_start.ld, the linker script that places the code `nolt search` runs in one
run of pages at the front of nolt's text.

Each page of code nolt first touches costs a page fault (the kernel maps 64 KiB around it), and
the code a command runs lies scattered over a megabyte of static program; gathered, it fits in
a few such spans. Sections that no longer exist are ignored when linking, so a stale script
costs only speed; regenerate it after larger changes to what nolt runs at start.

Usage: start_order.py BUILD_DIR   (a Release build with -DNOLT_BENCHMARKS=ON, nolt and
cli_bench_programs built; needs valgrind). The build writes BUILD_DIR/cli/nolt.map.
"""
import os
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
# What one profile under valgrind does not show: the C library maps the kernel's vDSO at
# start, which valgrind does not give its programs; it picks string functions for the
# processor it runs on; and a host that answers a moment later makes nolt wait in poll().
UNSEEN = {"_dl_non_dynamic_init", "_dl_new_object", "_dl_lookup_symbol_x", "_dl_setup_hash",
          "_dl_add_to_namespace_list", "__strcmp_evex", "__libc_poll", "__errno_location"}
SCRIPT = os.path.join(HERE, "..", "..", "cli", "nolt_start.ld")


def functions_run(build, argv_tail, env):
    """Mangled names of the functions nolt runs for one command, from a callgrind profile."""
    with tempfile.NamedTemporaryFile(suffix=".cg") as out:
        subprocess.run(["valgrind", "--tool=callgrind", "--demangle=no",
                        "--callgrind-out-file=" + out.name,
                        os.path.join(build, "bin", "nolt")] + argv_tail,
                       env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        names = set()
        for line in open(out.name, errors="replace"):
            m = re.match(r"c?fn=\(\d+\) (.*)$", line)
            if m:
                names.add(re.sub(r"'\d+$", "", m.group(1).strip()))
        return names


def text_sections(map_path):
    """(address, size, section, input file) of every code section in the link map."""
    text = open(map_path).read()
    text = text[text.index("Linker script and memory map"):]
    sections, pending = [], None
    for line in text.split("\n"):
        m = re.match(r"^ (\.text\S*)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.*)$", line)
        if m:
            sections.append((int(m.group(2), 16), int(m.group(3), 16), m.group(1), m.group(4)))
            pending = None
            continue
        m = re.match(r"^ (\.text\S*)\s*$", line)
        if m:
            pending = m.group(1)
            continue
        m = re.match(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if pending and m:
            sections.append((int(m.group(1), 16), int(m.group(2), 16), pending, m.group(3)))
        pending = None
    return sections


def main():
    build = sys.argv[1]
    nolt = os.path.join(build, "bin", "nolt")
    with tempfile.TemporaryDirectory() as scratch:
        runtime = os.path.join(scratch, "run")
        os.makedirs(runtime, mode=0o700)
        env = {"HOME": scratch, "XDG_RUNTIME_DIR": runtime, "PATH": "/usr/bin:/bin"}
        reply = os.path.join(scratch, "reply.json")
        with open(reply, "w") as f:
            f.write('{"result":{"items":[{"id":"1","title":"Red chair","tags":["red"]}],'
                    '"total":1}}')
        ready = os.path.join(scratch, "ready")
        host = subprocess.Popen([os.path.join(build, "bench", "instant_host"), reply, ready],
                                env=env)
        try:
            while not os.path.exists(ready):
                time.sleep(0.01)
            names = functions_run(build, ["search", "red", "chair"], env)
            with open(reply, "w") as f:
                f.write('{"result":{"items":[],"total":0}}')
            names |= functions_run(build, ["search", "red"], env)
        finally:
            host.terminate()
            host.wait()

    addresses = {}
    for line in subprocess.run(["nm", nolt], capture_output=True, text=True).stdout.splitlines():
        parts = line.split()
        if len(parts) == 3:
            addresses.setdefault(parts[2], int(parts[0], 16))
    sections = text_sections(os.path.join(build, "cli", "nolt.map"))
    hot = set()
    for name in names | UNSEEN:
        address = addresses.get(name)
        for start, size, section, source in sections if address is not None else ():
            if start <= address < start + size:
                hot.add((start, section, source))
                break

    lines = []
    for _, section, source in sorted(hot):
        if section == ".text.nolt_start":
            continue
        member = re.match(r"(.*\.a)\((.*)\)$", source)
        if member:
            # The C library picks among variants of its string functions (strlen-avx2.o,
            # strlen-evex.o) by processor, so a profile shows one and the script takes them all.
            name = member.group(2)
            variant = re.match(r"([a-z_]+)-(sse|avx|evex)", name)
            if variant:
                name, section = variant.group(1) + "-*.o", ".text .text.*"
            spec = "*%s:%s" % (os.path.basename(member.group(1)), name)
        else:
            spec = "*" + os.path.basename(source)
        line = "    %s(%s)" % (spec, section)
        if line not in lines:
            lines.append(line)
    with open(SCRIPT, "w") as f:
        f.write("/* The code `nolt search` runs, first in nolt's text; written by\n"
                "   bench/cli/start_order.py. */\n")
        f.write("SECTIONS\n{\n  .text.nolt_start :\n  {\n" + "\n".join(lines) + "\n  }\n}\n")
        f.write("INSERT BEFORE .text;\n")
    print("%d sections written to %s" % (len(lines), os.path.normpath(SCRIPT)))


if __name__ == "__main__":
    main()
