#!/usr/bin/env bash
# install-deps on a machine that lacks a package: it may install through apt,
# but it must not stop, disable or kill any service of the user's (tinyproxy).
set -euo pipefail
script="$1"
stubs="$(mktemp -d)"
trap 'rm -rf "$stubs"' EXIT
log="$stubs/calls.log"
: >"$log"
for tool in apt-get systemctl pkill killall service; do
    printf '#!/bin/sh\necho "%s $*" >>"%s"\n' "$tool" "$log" >"$stubs/$tool"
done
printf '#!/bin/sh\necho 0\n' >"$stubs/id"
# Every package looks missing, so the script goes the whole way.
printf '#!/bin/sh\necho "deinstall ok not-installed"\n' >"$stubs/dpkg-query"
chmod +x "$stubs"/*
PATH="$stubs:$PATH" bash "$script" >/dev/null
grep -q '^apt-get install' "$log" || { echo "install-deps did not reach apt-get install"; cat "$log"; exit 1; }
if grep -Ev '^apt-get ' "$log"; then
    echo "install-deps touched the machine's services"
    exit 1
fi
