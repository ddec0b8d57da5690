# Sourced by the training scripts. train_side_by_side DATA NET...: trains the
# networks NET... with train.py on DATA side by side (two threads each, every
# one with its own fixed seed and log, DATA/train_NET.log), fails when one
# fails, then shows their logs.
train_side_by_side() {
  data=$1
  shift
  pids=""
  for net in "$@"; do
    /usr/bin/python3 tools/trainer/train.py --data "$data" --net "$net" > "$data/train_$net.log" 2>&1 &
    pids="$pids $!"
  done
  for pid in $pids; do
    wait "$pid"
  done
  for net in "$@"; do
    cat "$data/train_$net.log"
  done
}
