#!/usr/bin/env bash
# Installs the Debian package that scripts/package made on this machine,
# checks the installed programs start and end as they should and that the
# package depends on everything they load, runs lintian on the package, and
# purges it again (also when a check fails), checking that every file it
# installed is gone.
# Skipped (77) when not root, when there is no package, or when Vantrix is
# already installed here (the test will not replace a user's install).
#   deb_package_test.sh PACKAGE_DIR VERSION
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1 version=$2

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
shopt -s nullglob
debs=("$dir"/vantrix_"$version"_*.deb)
if [ ${#debs[@]} -eq 0 ]; then
  echo "SKIP: no vantrix_${version}_*.deb in $dir (run scripts/package)"
  exit 77
fi
deb=$(realpath "${debs[0]}")
if dpkg-query -W -f='${Status}' vantrix 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIP: vantrix is already installed on this machine (apt-get purge vantrix to run this test)"
  exit 77
fi

export DEBIAN_FRONTEND=noninteractive
apt=(apt-get -y -qq -o DPkg::Lock::Timeout=300)
work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  if dpkg-query -W -f='${Status}' vantrix 2>/dev/null | grep -q 'install ok installed'; then
    "${apt[@]}" purge vantrix >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
pass() { echo "ok: $*"; }
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Waits up to $2 seconds for process $1 to end; its exit status is then in
# $ended_status. Answers false when it is still running.
wait_for_end() {
  local pid=$1 tenths=$(($2 * 10))
  while kill -0 "$pid" 2>/dev/null && [ "$tenths" -gt 0 ]; do
    sleep 0.1
    tenths=$((tenths - 1))
  done
  kill -0 "$pid" 2>/dev/null && return 1
  wait "$pid"
  ended_status=$?
  return 0
}

echo "Installing $deb"
if ! "${apt[@]}" install --no-install-recommends "$deb" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  echo "FAILED: the package does not install"
  exit 1
fi
# Every file (not folder) the package installed, to be looked for once it
# is purged.
mapfile -t installed_files < <(dpkg -L vantrix | while IFS= read -r path; do
  if [ -L "$path" ] || [ ! -d "$path" ]; then printf '%s\n' "$path"; fi
done)
installed=$(dpkg-query -W -f='${Version}' vantrix)
if [ "$installed" = "$version" ]; then
  pass "vantrix $installed installed"
else
  fail "installed version is '$installed', not $version"
fi
if [ "$(command -v vantrix)" = /usr/bin/vantrix ]; then
  pass "vantrix is /usr/bin/vantrix"
else
  fail "vantrix is not on the PATH as /usr/bin/vantrix"
fi
if man -w vantrix >/dev/null 2>&1; then
  pass "man vantrix finds its page"
else
  fail "man vantrix finds no page"
fi

# Every shared library the two programs load belongs to a package that the
# package depends on (or to one that those depend on, such as libc6): none
# is there only because this machine has it installed.
if /usr/bin/python3 "$here/check_libraries.py" vantrix /usr/bin/vantrix /usr/bin/vantrix-diff \
  >"$work/libraries.log" 2>&1; then
  pass "every library the programs load comes with a dependency of the package"
else
  grep FAILED "$work/libraries.log" || cat "$work/libraries.log"
  fail "the programs load libraries the package does not depend on (above)"
fi

# The command-line compare answers its version.
out=$(vantrix-diff --version 2>&1)
status=$?
if [ "$status" -eq 0 ] && grep -qw -F "$version" <<<"$out"; then
  pass "vantrix-diff --version: $out"
else
  fail "vantrix-diff --version answered '$out' (exit $status), not $version"
fi
if man -w vantrix-diff >/dev/null 2>&1; then
  pass "man vantrix-diff finds its page"
else
  fail "man vantrix-diff finds no page"
fi

# Offscreen, the window program comes up and keeps running: splash, then
# (after three seconds) the main window; a terminating signal then ends it.
QT_QPA_PLATFORM=offscreen vantrix >"$work/offscreen.log" 2>&1 &
pid=$!
pids+=("$pid")
if wait_for_end "$pid" 4; then
  fail "vantrix (offscreen) ended by itself with status $ended_status:"
  cat "$work/offscreen.log"
else
  kill -TERM "$pid"
  if ! wait_for_end "$pid" 10; then
    fail "vantrix (offscreen) still runs 10 s after SIGTERM"
  elif [ "$ended_status" -ne 143 ]; then
    fail "vantrix (offscreen) ended with status $ended_status on SIGTERM, not 143:"
    cat "$work/offscreen.log"
  else
    pass "vantrix ran offscreen and ended on SIGTERM"
  fi
fi

# On a real X display (Xvfb), the main window shows with its title, and
# closing it as a window manager would ends the program with status 0.
if command -v Xvfb >/dev/null && /usr/bin/python3 -c "import Xlib" 2>/dev/null; then
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=("$!")
  exec 3>&-
  for _ in $(seq 50); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  display=:$(head -n 1 "$work/display")
  env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$display" vantrix >"$work/x11.log" 2>&1 &
  pid=$!
  pids+=("$pid")
  title="Orvello Vantrix v$version"
  if ! DISPLAY=$display /usr/bin/python3 "$here/close_window.py" "$title" 20; then
    fail "vantrix on $display showed no main window titled '$title':"
    cat "$work/x11.log"
  elif ! wait_for_end "$pid" 10; then
    fail "vantrix still runs 10 s after its main window was closed"
  elif [ "$ended_status" -ne 0 ]; then
    fail "vantrix ended with status $ended_status when its main window was closed:"
    cat "$work/x11.log"
  else
    pass "vantrix showed '$title' on Xvfb and ended with status 0 when it was closed"
  fi
else
  echo "SKIPPED CHECK: no Xvfb or python3-xlib, so closing the window on a display is not checked"
fi

# lintian: no errors (warnings are listed, and allowed).
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1
  status=$?
  grep -v 'running with root privileges' "$work/lintian.log"
  if [ "$status" -eq 0 ]; then
    pass "lintian reports no error"
  else
    fail "lintian reports errors (above)"
  fi
else
  fail "lintian is missing (apt-get install lintian, or run scripts/test)"
fi

# Purging leaves nothing of the program behind: no file it installed.
if "${apt[@]}" purge vantrix >"$work/apt.log" 2>&1; then
  left=()
  for path in "${installed_files[@]}"; do
    if [ -e "$path" ] || [ -L "$path" ]; then left+=("$path"); fi
  done
  if [ ${#installed_files[@]} -lt 2 ] || [[ ! " ${installed_files[*]} " =~ " /usr/bin/vantrix " ]]; then
    fail "dpkg -L listed ${#installed_files[@]} file(s), not the package's files"
  elif [ ${#left[@]} -ne 0 ]; then
    fail "purging left ${#left[@]} of the package's ${#installed_files[@]} files: ${left[*]}"
  else
    pass "purging removed all ${#installed_files[@]} files the package installed"
  fi
else
  cat "$work/apt.log"
  fail "the package could not be purged"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
