#!/bin/sh
# Trains all six networks on the second renderer's cards alone (its training
# type families) and writes them to bench/weights/second_renderer/, the set
# the cross-renderer benchmarks read the first renderer's cards with. Runs by
# hand, never in CI; the committed weights stay as they are.
#
#   tools/trainer/train_second_renderer.sh [BUILD_DIR] [DATA_DIR]
#
# BUILD_DIR is a configured build tree (default build/helper-train); DATA_DIR
# receives the dumps, the trained parameters and the exported sources before
# they are copied (default build/training-second). The digit networks learn
# from labels alone (no teacher), each from its own cards.
set -eu
cd "$(dirname "$0")/../.."
BUILD=${1:-build/helper-train}
DATA=${2:-build/training-second}
PYTHON=/usr/bin/python3
. tools/trainer/side_by_side.sh
OUT=bench/weights/second_renderer
mkdir -p "$DATA/export/cardscanner/core/weights" "$DATA/export/tests/cardscanner" "$OUT"

# name seed count frames what: the same cards as the "_other" parts of
# train_all.sh's sets, and A's own.
SETS="stripe 6000000 4000 1 stripe
a 6050000 5000 2 digits
b 6100000 5000 2 digits
c 6200000 10000 2 digits"
echo "$SETS" | awk 'BEGIN { print "{" } { printf "%s\"%s\": {\"style\": \"-\", \"seed\": %s, \"count\": %s, \"frames\": %s, \"renderer\": \"other\"}\n", (NR > 1 ? "," : ""), $1, $2, $3, $4 } END { print "}" }' > "$DATA/datasets.json"

cmake --build "$BUILD" --target dump_networks dump_expiry
echo "$SETS" | while read -r name seed count frames what; do
  "$BUILD/tools/dump_networks/dump_networks" --out "$DATA/$name" --style a --seed "$seed" --count "$count" \
      --frames "$frames" --what "$what" --threads 8 --renderer other
done
train_side_by_side "$DATA" stripe a b c
$PYTHON tools/trainer/export_weights.py --data "$DATA" --repo "$DATA/export"

mkdir -p "$DATA/expiry"
"$BUILD/tools/dump_networks/dump_expiry" --out "$DATA/expiry/train" --seed 6300000 --count 6000 --frames 3 --renderer other
"$BUILD/tools/dump_networks/dump_expiry" --out "$DATA/expiry/check" --seed 6390000 --count 300 --frames 2 --renderer other
cat > "$DATA/expiry/datasets.json" <<JSON
{"train": {"seed": 6300000, "count": 6000, "frames": 3, "renderer": "other"},
 "check": {"seed": 6390000, "count": 300, "frames": 2, "renderer": "other"}}
JSON
status=0
$PYTHON tools/trainer/train_expiry.py --data "$DATA/expiry" --repo "$DATA/export" > "$DATA/expiry/train_expiry.log" 2>&1 ||
  status=$?
cat "$DATA/expiry/train_expiry.log"
[ "$status" = 0 ]

cp "$DATA"/export/cardscanner/core/weights/*.cpp "$OUT/"
echo "wrote $OUT"
