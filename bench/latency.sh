#!/usr/bin/env bash
# Window latencies under a private virtual desktop, for one build or two side by side.
#   bench/latency.sh [build/Tavorin] [samples] [another Tavorin to compare]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/desktop.sh
desktop_start
export QTWEBENGINE_DISABLE_SANDBOX=1
python3 bench/latency.py "${1:-build/Tavorin}" "${2:-5}" "${1:-build/Tavorin}"
if [ -n "${3:-}" ]; then python3 bench/latency.py "$3" "${2:-5}" "$3"; fi
