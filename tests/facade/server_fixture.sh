#!/usr/bin/env bash
# server_fixture.sh start STATE VOKA_SERVER ACCOUNTS
# server_fixture.sh stop STATE
# Starts voka-server on free loopback ports and writes its endpoints to STATE
# (lines VOKA_TEST_UDP=host:port, VOKA_TEST_HTTP=http://host:port); stop
# ends that same server by its process id.
set -euo pipefail
action=$1 state=$2

case $action in
  start)
    server=$3 accounts=$4
    rm -f "$state" "$state.pid"
    setsid "$server" --udp 127.0.0.1:0 --http 127.0.0.1:0 --accounts "$accounts" \
      >"$state.out" 2>"$state.log" </dev/null &
    echo $! >"$state.pid"
    for _ in $(seq 100); do
      line=$(grep -m1 '^listening ' "$state.out" 2>/dev/null || true)
      if [[ $line =~ udp=([0-9.]+:[0-9]+)\ http=([0-9.]+:[0-9]+) ]]; then
        printf 'VOKA_TEST_UDP=%s\nVOKA_TEST_HTTP=http://%s\n' "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}" >"$state"
        cat "$state"
        exit 0
      fi
      kill -0 "$(cat "$state.pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "voka-server did not start:" >&2
    cat "$state.out" "$state.log" >&2
    exit 1
    ;;
  stop)
    if [[ -f $state.pid ]]; then
      kill "$(cat "$state.pid")" 2>/dev/null || true
      rm -f "$state.pid"
    fi
    rm -f "$state"
    ;;
  *)
    echo "usage: server_fixture.sh start|stop STATE ..." >&2
    exit 2
    ;;
esac
