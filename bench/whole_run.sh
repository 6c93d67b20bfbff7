#!/usr/bin/env bash
# Whole-run cost of the handler on its built-in test link, with a no-op opener,
# against a static C floor and a Python peer, in one hyperfine run; then peak
# memory, and time against link length. Needs the bench preset built.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/app" "$work/peer"
cc -O2 -static -o "$work/bin/xdg-open" -x c - <<<'int main(void) { return 0; }'
cc -O2 -static -o "$work/floor" bench/floor.c
cc -O2 -o "$work/maxrss" bench/maxrss.c
cp build/bench/app/brindlequillworth templates/gmail.txt "$work/app/"
mv "$work/app/gmail.txt" "$work/app/link.txt"
cp bench/peer_handler.py "$work/peer/" && cp templates/gmail.txt "$work/peer/link.txt"
export PATH="$work/bin:$PATH"

hyperfine -N --warmup 50 --runs "${RUNS:-500}" --export-markdown "$work/table.md" \
    -n floor "$work/floor" -n handler "$work/app/brindlequillworth" \
    -n python-peer "python3 $work/peer/peer_handler.py"
cat "$work/table.md"

echo
echo "peak memory (median KiB of 50 runs):"
for name in floor handler; do
    cmd=$([ $name = floor ] && echo "$work/floor" || echo "$work/app/brindlequillworth")
    echo "  $name: $("$work/maxrss" 50 "$cmd")"
done
echo "  python-peer: $("$work/maxrss" 20 python3 "$work/peer/peer_handler.py")"

echo
body() { head -c "$1" /dev/zero | tr '\0' x; }
hyperfine -N --warmup 50 --runs "${RUNS:-500}" \
    -n "150 B" "$work/app/brindlequillworth mailto:someone@example.com?subject=Hello&body=$(body 110)" \
    -n "4 KB" "$work/app/brindlequillworth mailto:someone@example.com?subject=Hello&body=$(body 4050)" \
    -n "32 KB" "$work/app/brindlequillworth mailto:someone@example.com?subject=Hello&body=$(body 32700)"
