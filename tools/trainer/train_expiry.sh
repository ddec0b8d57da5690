#!/bin/sh
# Trains the expiry networks from scratch and exports them:
#   tools/trainer/train_expiry.sh BUILD_DIR DATA_DIR
# BUILD_DIR is a configured build tree (dump_expiry is built in it first);
# DATA_DIR receives the dumps, datasets.json and the training log. Takes about
# twenty minutes on 8 cores (with OpenBLAS, see tools/deps). 12,000 training
# cards rather than 6,000 lifted the expiry digit network from 94.6 % to
# 95.5 % of held-out cells on the renders of the time (96.3 % now).
set -eu
build=${1:?usage: train_expiry.sh BUILD_DIR DATA_DIR}
data=${2:?usage: train_expiry.sh BUILD_DIR DATA_DIR}
repo=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$data"

cmake --build "$build" --target dump_expiry
"$build/tools/dump_networks/dump_expiry" --out "$data/train" --seed 5000000 --count 12000 --frames 3
"$build/tools/dump_networks/dump_expiry" --out "$data/check" --seed 5900000 --count 600 --frames 2
# The second renderer's cards (its training type families), appended to each
# set as its "_other" part.
"$build/tools/dump_networks/dump_expiry" --out "$data/train_other" --seed 6300000 --count 6000 --frames 3 \
    --renderer other
"$build/tools/dump_networks/dump_expiry" --out "$data/check_other" --seed 6390000 --count 300 --frames 2 \
    --renderer other
cat > "$data/datasets.json" <<JSON
{"train": {"seed": 5000000, "count": 12000, "frames": 3},
 "check": {"seed": 5900000, "count": 600, "frames": 2},
 "train_other": {"seed": 6300000, "count": 6000, "frames": 3},
 "check_other": {"seed": 6390000, "count": 300, "frames": 2}}
JSON
# Not through a pipe: the shell would report tee's status, not the trainer's.
status=0
/usr/bin/python3 "$repo/tools/trainer/train_expiry.py" --data "$data" --repo "$repo" > "$data/train_expiry.log" 2>&1 ||
  status=$?
cat "$data/train_expiry.log"
exit "$status"
