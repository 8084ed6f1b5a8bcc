#!/usr/bin/env bash
# clang-tidy with the project's .clang-tidy over the source files of a configured and built
# build (its compile_commands.json and dependency log), warnings as errors.
# usage: scripts/tidy.sh [BUILD] [--since REF]        (BUILD defaults to build)
#   --since REF  only the files whose compilation reads a file changed since REF (committed or
#                not), as the build's dependency log says; every file when .clang-tidy or this
#                script changed. Without it, every file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
since=
while [ $# -gt 0 ]; do
  case $1 in
    --since) since=${2:?--since needs a git revision}; shift 2 ;;
    *) build=$1; shift ;;
  esac
done
build=$(cd "$build" && pwd)
cd "$root"
# The project's own files only: not what the build generated (moc, QML caches, protocols).
# Headers of the project's folders are checked where they are included; generated ones and the
# system's are not.
folders="platform|wire|cli|capture|safari|NoltShare|widget|host|tests|bench"
files=("^$root/(?!build)")
if [ -n "$since" ]; then
  changed=$( (git diff --name-only "$since" --; git ls-files --others --exclude-standard) | sort -u)
  if grep -qE '^(\.clang-tidy|scripts/tidy\.sh)$' <<<"$changed"; then
    echo "clang-tidy: its set-up changed since $since; checking every file"
  else
    # A failure here must fail the run, so the list is taken whole before it is split.
    picked=$(CHANGED=$changed python3 - "$root" "$build" <<'PY'
import json, os, re, subprocess, sys
root, build = sys.argv[1], sys.argv[2]
changed = {os.path.join(root, line) for line in os.environ["CHANGED"].split("\n") if line}
with open(os.path.join(build, "compile_commands.json")) as f:
    sources = {os.path.normpath(os.path.join(e["directory"], e["file"])) for e in json.load(f)}
log = subprocess.run(["ninja", "-C", build, "-t", "deps"], check=True, capture_output=True,
                     text=True).stdout
picked, deps = set(), []
def take():
    if any(d in changed for d in deps):
        picked.update(d for d in deps if d in sources)
for line in log.split("\n"):
    if line.startswith(" "):
        deps.append(os.path.normpath(os.path.join(build, line.strip())))
    else:
        take()
        deps = []
take()
# As run-clang-tidy takes them: a regular expression for each file.
print("\n".join("^" + re.escape(p) + "$" for p in sorted(picked) if not p.startswith(build + "/")))
PY
    )
    if [ -z "$picked" ]; then
      echo "clang-tidy: no source file reads what changed since $since"
      exit 0
    fi
    mapfile -t files <<<"$picked"
    echo "clang-tidy: ${#files[@]} files read what changed since $since"
  fi
fi
run-clang-tidy -p "$build" -quiet -j "$(nproc)" -header-filter="^$root/($folders)/" \
  "${files[@]}" >"$build/tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/tidy.log" | sort -u | head -50
  echo "clang-tidy found the problems above; the whole log is $build/tidy.log"
  exit 1
}
echo "clang-tidy: no warnings"
