#!/usr/bin/env bash
# Start-up time of the built program under a private virtual desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/desktop.sh
desktop_start
QTWEBENGINE_DISABLE_SANDBOX=1 python3 bench/startup.py "${1:-build/Tavorin}" "${2:-9}"
