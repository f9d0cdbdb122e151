#!/usr/bin/env bash
# Polling costs: bytes per unchanged poll, CPU per unchanged poll, longest event-loop stall.
#   bench/poll.sh [build dir]
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${1:-build}/bench/bench_poll
"$bench" wire
"$bench" cpu
"$bench" stall
