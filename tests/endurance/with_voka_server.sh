#!/usr/bin/env bash
# with_voka_server.sh SERVER ACCOUNTS [SERVER OPTIONS...] -- COMMAND [ARGS...]
# Starts the reference server on free loopback ports, runs COMMAND with @UDP@
# and @HTTP@ (and @HTTPS@, when the options make it serve https) in its
# arguments replaced by the server's endpoints (also exported as VOKA_TEST_UDP,
# VOKA_TEST_HTTP and VOKA_TEST_HTTPS), stops the server and exits with
# COMMAND's status; 77 (a skip) when SERVER has not been built.
set -uo pipefail
server=$1 accounts=$2
shift 2
if [[ ! -x $server ]]; then
  echo "skipped: needs voka-server from a native build tree ($server; scripts/build native)"
  exit 77
fi
server_options=()
while (($#)) && [[ $1 != -- ]]; do server_options+=("$1"); shift; done
shift

fifo=$(mktemp -u) log=$(mktemp)
mkfifo "$fifo"
# The server logs every request to stderr: kept aside, shown only on failure.
"$server" --udp 127.0.0.1:0 --http 127.0.0.1:0 --accounts "$accounts" "${server_options[@]}" \
  >"$fifo" 2>"$log" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null; rm -f "$fifo" "$log"' EXIT

exec 3<"$fifo"
if ! read -r -t 20 line <&3 || [[ $line != listening* ]]; then
  echo "with_voka_server: the server did not start (${line:-no output})" >&2
  cat "$log" >&2
  exit 1
fi
# Keep draining the server's output so that it never blocks on a full pipe.
cat <&3 >/dev/null &

udp=${line#*udp=}; udp=${udp%% *}
http=${line#*http=}; http=${http%% *}
export VOKA_TEST_UDP=$udp VOKA_TEST_HTTP=http://$http
if [[ $line == *" https="* ]]; then
  https=${line#*https=}; https=${https%% *}
  export VOKA_TEST_HTTPS=https://$https
fi

command=()
for word in "$@"; do
  word=${word//@UDP@/$VOKA_TEST_UDP}
  word=${word//@HTTPS@/${VOKA_TEST_HTTPS:-}}
  command+=("${word//@HTTP@/$VOKA_TEST_HTTP}")
done
"${command[@]}"
status=$?
if ((status != 0)); then
  echo "with_voka_server: last lines of the server's log:" >&2
  tail -n 20 "$log" >&2
fi
exit $status
