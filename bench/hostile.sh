#!/usr/bin/env bash
# Hostile pages under a private virtual desktop, for one build or two side by side.
#   bench/hostile.sh [build/Tavorin] [seconds shown] [Tavorin of the build to compare]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/desktop.sh
desktop_start
export QTWEBENGINE_DISABLE_SANDBOX=1
exe=${1:-build/Tavorin}
seconds=${2:-25}
if [ -n "${3:-}" ]; then
  python3 bench/hostile.py "$3" "$seconds" "compared build ($3)"
fi
python3 bench/hostile.py "$exe" "$seconds" "this build ($exe)"
