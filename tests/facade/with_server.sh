#!/usr/bin/env bash
# with_server.sh STATE PROGRAM [ARGS...]
# Runs PROGRAM with the endpoints of the running voka-server fixture in its
# environment (VOKA_TEST_UDP, VOKA_TEST_HTTP).
set -euo pipefail
state=$1; shift
if [[ ! -f $state ]]; then
  echo "no voka-server endpoints in $state" >&2
  exit 1
fi
set -a
# shellcheck disable=SC1090
source "$state"
set +a
exec "$@"
