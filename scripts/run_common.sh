# Sourced by the run commands: child processes ended on exit (with the virtual desktop, if
# one was brought up), and the address to watch.
#   run_watch_url [URL]   sets url: URL, or a demo page served on 127.0.0.1
pids=()
run_cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  declare -F desktop_stop >/dev/null && desktop_stop
}
trap run_cleanup EXIT

run_watch_url() {
  url=${1:-}
  [ -n "$url" ] && return
  local portfile
  portfile=$(mktemp)
  python3 scripts/demo_server.py "$portfile" &
  pids+=($!)
  for _ in $(seq 1 100); do [ -s "$portfile" ] && break; sleep 0.1; done
  url="http://127.0.0.1:$(cat "$portfile")/"
  rm -f "$portfile"
}
