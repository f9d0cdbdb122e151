#!/usr/bin/env bash
# Memory of the program under a private virtual desktop, as built and with its levers.
#   bench/memory.sh [build/Tavorin] [runs] [Tavorin built with -DTAVORIN_DISCARD_HIDDEN=0]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/desktop.sh
desktop_start
export QTWEBENGINE_DISABLE_SANDBOX=1
exe=${1:-build/Tavorin}
runs=${2:-3}
python3 bench/memory.py "$exe" "$runs" "as built"
QT_XCB_GL_INTEGRATION=xcb_glx python3 bench/memory.py "$exe" "$runs" "with GL (QT_XCB_GL_INTEGRATION=xcb_glx)"
if [ -n "${3:-}" ]; then
  python3 bench/memory.py "$3" "$runs" "page kept while hidden (TAVORIN_DISCARD_HIDDEN=0)"
fi
