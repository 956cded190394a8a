#!/usr/bin/env bash
# Validates the desktop entry or the AppStream metainfo with the desktop's
# own tools; skipped (77) when the tool is missing.
#   validate_test.sh desktop FILE   desktop-file-validate, no error, warning or hint
#   validate_test.sh metainfo FILE  appstreamcli validate --no-net
set -uo pipefail
kind=$1 file=$2
case "$kind" in
desktop) tool=desktop-file-validate package=desktop-file-utils ;;
metainfo) tool=appstreamcli package=appstream ;;
*) echo "unknown kind $kind" >&2; exit 2 ;;
esac
if ! command -v "$tool" >/dev/null; then
  echo "SKIP: $tool is missing (apt-get install $package, or run scripts/test)"
  exit 77
fi
case "$kind" in
desktop)
  # It fails only on errors; warnings and hints count here too.
  out=$(desktop-file-validate "$file" 2>&1)
  status=$?
  echo "$out"
  [ "$status" -eq 0 ] && [ -z "$out" ]
  ;;
metainfo)
  appstreamcli validate --no-net --explain "$file"
  ;;
esac
