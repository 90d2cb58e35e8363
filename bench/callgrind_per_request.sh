#!/bin/sh
# Instructions per request of one client of small_get_loop, from two callgrind runs that differ
# only in the number of requests (start-up and exit cancel out).
#   bench/callgrind_per_request.sh <build dir> <winhttp|wininet|bare> [low] [high]
set -eu
build=$1
client=$2
low=${3:-50}
high=${4:-250}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
total() {
  valgrind --tool=callgrind --callgrind-out-file="$out/cg.$1.%p" \
    "$build/bench/small_get_loop" "$client" "$1" >/dev/null 2>&1
  # The parent's file is the one with the most instructions; the server child is killed.
  for f in "$out"/cg."$1".*; do
    sed -n 's/^summary: //p' "$f"
  done | sort -n | tail -1
}
a=$(total "$low")
b=$(total "$high")
echo "$client: $(( (b - a) / (high - low) )) instructions per request"
