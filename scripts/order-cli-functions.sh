#!/usr/bin/env bash
# Writes cli/run.order: the functions shotstamp-cli runs when it starts and when it renames a
# folder of camera pictures, in the order it first calls them. The linker lays these out side by
# side, so a run maps a few hundred KB of program instead of most of it (the kernel maps the
# pages around every page touched). Run it after a change that renames many functions; a stale
# list still links, only with more pages mapped.
# Usage: scripts/order-cli-functions.sh [build dir]   (default build/default, built)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/default}
cli=$build/cli/shotstamp-cli
bench=$build/bench/rename_bench
for tool in valgrind python3; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
[ -x "$cli" ] && [ -x "$bench" ] || { echo "build $build first (cli and bench)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/empty" "$work/pictures" "$work/state"
"$bench" --fill "$work/pictures/" 600 camera >/dev/null

profile() { # name, then the command line
    local name=$1
    shift
    XDG_STATE_HOME=$work/state valgrind -q --tool=callgrind --demangle=no \
        --callgrind-out-file="$work/$name.out" "$@" >/dev/null
}
# The empty run goes second, to find the first one's journal as a user's runs find theirs, and
# its functions go first: what every run calls sits together, then what renaming adds.
profile folder "$cli" rename "$work/pictures"
profile empty "$cli" rename "$work/empty"

python3 - "$work/empty.out" "$work/folder.out" >"$root/cli/run.order" <<'EOF'
import re, sys
# callgrind names each function once, as "fn=(id) name", and then by "(id)" alone; first
# appearance follows first call closely enough for a layout.
seen, order = set(), []
for path in sys.argv[1:]:
    names = {}
    for line in open(path):
        m = re.match(r"^c?fn=\((\d+)\)(?: (.+))?", line)
        if not m:
            continue
        if m.group(2):
            names[m.group(1)] = m.group(2).rstrip("\n").split("'")[0]
        name = names.get(m.group(1))
        if name and not name.startswith("0x") and name not in seen:
            seen.add(name)
            order.append(name)
print("\n".join(order))
EOF
echo "cli/run.order: $(wc -l <"$root/cli/run.order") functions"
