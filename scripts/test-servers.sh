#!/usr/bin/env bash
# The local HTTP servers of the download tests, on 127.0.0.1 only:
#   test-servers.sh start DIR   nginx and tools/faultserver/fault_server.py,
#                               both serving DIR/www; writes DIR/servers.env
#   test-servers.sh stop DIR    stops both; safe to call again
# CTest runs them as the fixture zorva_servers (tests/servers). The fault
# server ends by itself after ZORVA_SERVERS_LIFETIME seconds (default 3 h) in
# case a run is killed before its stop; the next start stops a left-over pair.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
usage="usage: test-servers.sh start|stop DIR"
action=${1:?$usage}
dir=${2:?$usage}
mkdir -p "$dir"
dir=$(realpath "$dir")

# Both servers end up children of init, which may reap them late: a zombie
# counts as gone.
running() {
  local state
  state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ]
}

# Kills the process of a pid file if it still is ours (its command line names
# DIR), so a recycled pid is left alone.
stop_pid() {
  local file=$1 pid i
  [ -f "$file" ] || return 0
  pid=$(cat "$file" 2>/dev/null || true)
  if [ -n "$pid" ] && running "$pid" && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$dir"; then
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 50); do
      running "$pid" || break
      sleep 0.05
    done
    running "$pid" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$file"
}

stop() {
  rm -f "$dir/servers.env"
  stop_pid "$dir/nginx.pid"
  stop_pid "$dir/fault.pid"
}

# True once both answer an HTTP request (any status).
answering() {
  python3 - "$1" "$2" <<'PY'
import http.client, sys
for port in sys.argv[1:]:
    try:
        c = http.client.HTTPConnection("127.0.0.1", int(port), timeout=2)
        c.request("HEAD", "/__ready")
        c.getresponse().read()
        c.close()
    except OSError:
        sys.exit(1)
PY
}

# One attempt on two fresh ports; false when either server does not come up.
try_start() {
  local nginx_port fault_port user= fault i
  read -r nginx_port fault_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')

  # As root nginx would hand its workers to "nobody", who may not read DIR.
  [ "$(id -u)" = 0 ] && user="user root;"
  sed -e "s|@DIR@|$dir|g" -e "s|@PORT@|$nginx_port|g" -e "s|@USER@|$user|g" \
    "$repo/tests/servers/nginx.conf.in" >"$dir/nginx.conf"
  # -e: the error log from the very start, never /var/log/nginx.
  if ! nginx -p "$dir/" -c "$dir/nginx.conf" -e "$dir/error.log" </dev/null >"$dir/nginx.out" 2>&1; then
    cat "$dir/nginx.out" >&2
    return 1
  fi

  # No pipe of the caller may stay open: CTest waits for its test's output.
  python3 -u "$repo/tools/faultserver/fault_server.py" --port "$fault_port" --root "$dir/www" \
    --pid-file "$dir/fault.pid" --lifetime "${ZORVA_SERVERS_LIFETIME:-10800}" \
    </dev/null >"$dir/fault.log" 2>&1 &
  fault=$!

  for i in $(seq 100); do
    if [ -f "$dir/fault.pid" ] && answering "$nginx_port" "$fault_port"; then
      printf 'NGINX_PORT=%s\nFAULT_PORT=%s\nWWW_DIR=%s\n' "$nginx_port" "$fault_port" "$dir/www" >"$dir/servers.env.tmp"
      mv "$dir/servers.env.tmp" "$dir/servers.env"
      echo "nginx on 127.0.0.1:$nginx_port, fault server on 127.0.0.1:$fault_port, files in $dir/www"
      return 0
    fi
    kill -0 "$fault" 2>/dev/null || break
    sleep 0.1
  done
  cat "$dir/fault.log" >&2
  return 1
}

start() {
  stop
  # Packages are made by the tests of this run; nothing older is served.
  rm -rf "$dir/www" "$dir/tmp"
  mkdir -p "$dir/www" "$dir/tmp"
  local attempt
  # Another program may take a port between picking and binding it.
  for attempt in 1 2 3; do
    try_start && return 0
    stop
  done
  echo "the test servers did not start; see $dir/error.log and $dir/fault.log" >&2
  return 1
}

case $action in
  start) start ;;
  stop) stop ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
