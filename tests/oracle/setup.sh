#!/usr/bin/env bash
# Installs node-pdu, the second PDU codec of the cross-check, into tests/oracle/node_modules with
# the machine's npm. Never fails the run: without it the test skips the checks that need it.
cd "$(dirname "$0")" || exit 0
[ -f node_modules/node-pdu/package.json ] && exit 0
if ! command -v npm >/dev/null 2>&1; then
  echo "npm not found: node-pdu checks will be skipped"
  exit 0
fi
timeout 300 npm ci --no-audit --no-fund --loglevel=error ||
  echo "npm could not install node-pdu: its checks will be skipped"
exit 0
