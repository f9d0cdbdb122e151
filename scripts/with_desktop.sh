#!/usr/bin/env bash
# Runs a command on a private virtual desktop of its own (Xvfb and a window manager, no
# tray host): for tests that make real windows under Wine, which needs a display for them.
set -euo pipefail
# shellcheck source=scripts/desktop.sh
source "$(dirname "$0")/desktop.sh"
desktop_start 1280x1024 notray
"$@"
