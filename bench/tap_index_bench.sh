#!/bin/sh
# Times `tavrel-tap index` on a tape of about 20 MiB: thirteen 40 KiB
# machine code programs made by `tavrel-tap make`.
# Usage: bench/tap_index_bench.sh [path/to/tavrel-tap]
set -eu
tool=${1:-build/tools/tap/tavrel-tap}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

args=""
i=1
while [ "$i" -le 13 ]; do
    { printf '\000\020'; head -c 40960 /dev/urandom; } > "$work/p$i.prg"
    args="$args $work/p$i.prg PROGRAM$i"
    i=$((i + 1))
done
# shellcheck disable=SC2086
"$tool" make -o "$work/big.tap" $args
ls -l "$work/big.tap" | awk '{ printf "tape: %d bytes (%.1f MiB)\n", $5, $5 / 1048576 }'

start=$(date +%s.%N)
"$tool" index "$work/big.tap" > "$work/big.idx"
end=$(date +%s.%N)
echo "index: $(wc -l < "$work/big.idx") programs in $(echo "$end - $start" | bc) s"
