#!/bin/sh
# Starts or stops the one wine server that serves a whole test run:
#   wine-session.sh start|stop WINESERVER WINE64
# WINEPREFIX (and the rest of wine's environment) comes from the caller.
#
# start: ends any server left for this prefix (one from listing the tests
# would quit in the middle of the run), starts a persistent one (it stays 60 s
# after its last client, should "stop" never run) and boots wine's services
# with their output on /dev/null. Wine processes inherit the output of the
# process that starts them, and a service holding a test's output open would
# keep ctest waiting for that test until the server ends.
set -u
action=$1 wineserver=$2 wine64=$3
case $action in
start)
  "$wineserver" --kill 2>/dev/null
  "$wineserver" --wait
  "$wineserver" --persistent=60 </dev/null >/dev/null 2>&1 || exit 1
  exec "$wine64" wineboot </dev/null >/dev/null 2>&1
  ;;
stop)
  "$wineserver" --kill 2>/dev/null
  "$wineserver" --wait
  exit 0
  ;;
esac
echo "usage: $0 start|stop WINESERVER WINE64" >&2
exit 2
