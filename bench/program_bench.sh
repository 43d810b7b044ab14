#!/usr/bin/env bash
# Times the whole TrainRuvo program on a generated problem: 4 inputs with 7 membership functions
# each, 100 rules, one output with 7 functions, 10,000 rows of the Mackey-Glass series, 20 epochs
# per pattern with momentum. Reports the time per epoch and the peak memory (maximum resident set).
# Usage: bench/program_bench.sh [build-dir]   (default build/, which must hold the programs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/examples/MackeyGlass" 10000 > "$work/train.dat"
"$build/src/Ruvo/Train/CreateRuvo" --inputs 4 --input-mfs 7 --rules 100 --output-mfs 7 \
    --output "$work/start.wgt"
cat > "$work/params.txt" <<'PARAMS'
WeightFile = start.wgt
TrainingFile = train.dat
DestinationFile = trained.wgt
Epochs = 20
LearningRate = 0.1
Momentum = 0.9
PARAMS

cd "$work"
start=$(date +%s.%N)
if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o rss.txt "$build/src/Ruvo/Train/TrainRuvo" params.txt > epochs.txt
else
    # Without GNU time (Debian package "time") the peak memory is not measured.
    echo 0 > rss.txt
    "$build/src/Ruvo/Train/TrainRuvo" params.txt > epochs.txt
fi
end=$(date +%s.%N)
tail -n 1 epochs.txt | sed 's/^/last epoch: /'
awk -v s="$start" -v e="$end" -v kb="$(cat rss.txt)" 'BEGIN {
    total = e - s
    printf "whole run: %.3f s, %.1f ms per epoch (20 epochs incl. loading and saving)\n", total, total * 1000 / 20
    printf "peak memory: %.1f MB\n", kb / 1024
}'
