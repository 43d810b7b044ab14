#!/usr/bin/env bash
# Builds the programs and trains the shipped example: a fuzzy network (examples/start.wgt) on the
# Mackey-Glass series (examples/mackey_glass.dat), as set in examples/mackey_glass.params. Prints
# one line per epoch and writes the trained network to examples/trained.wgt.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target TrainRuvo CreateRuvo >/dev/null
cd examples
../build/src/Ruvo/Train/TrainRuvo mackey_glass.params
echo "Trained network written to examples/trained.wgt"
