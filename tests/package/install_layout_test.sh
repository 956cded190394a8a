#!/usr/bin/env bash
# Installs a build into a temporary prefix, as `cmake --install` does for a
# user or for the package, and checks that exactly the expected files are
# there: the programs, the desktop entry and the icon it names, the metainfo
# that points at both, and the man pages.
#   install_layout_test.sh CMAKE BUILD_DIR VERSION APP_ID PROGRAM...
set -euo pipefail
cmake=$1 build=$2 version=$3 id=$4
shift 4
programs=("$@")

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Every file, and no other: a stray install rule (a library, a test
# program) would land in users' systems.
expected=()
for program in "${programs[@]}"; do
  expected+=("bin/$program" "share/man/man1/$program.1.gz")
done
for size in 16 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$id.png")
done
expected+=("share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml"
  share/doc/vantrix/copyright share/doc/vantrix/changelog.gz)
if ! layout=$(diff <(printf '%s\n' "${expected[@]}" | sort) \
  <(cd "$prefix" && find . -type f -printf '%P\n' | sort)); then
  fail "installed files differ from the expected ones (< missing, > unexpected):"
  echo "$layout"
fi

for program in "${programs[@]}"; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done

# Each icon is a PNG of its folder's size.
for size in 16 32 48 64 128 256; do
  icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$icon" ] || continue
  dimensions=$(python3 - "$icon" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(24)
if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
    print("not a PNG")
else:
    print("%dx%d" % struct.unpack(">II", data[16:24]))
PY
  )
  [ "$dimensions" = "${size}x${size}" ] || fail "$id.png in ${size}x${size} is $dimensions"
done

# The desktop entry starts an installed program and names the icon.
desktop=$prefix/share/applications/$id.desktop
if [ -f "$desktop" ]; then
  exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ "$exec_program" = vantrix ] || fail "the desktop entry starts '$exec_program', not vantrix"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ "$icon" = "$id" ] || fail "the desktop entry names the icon '$icon', not $id"
fi

# The metainfo carries this build's id, desktop entry, programs and version.
metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [ -f "$metainfo" ]; then
  python3 - "$metainfo" "$id" "$version" "${programs[@]}" <<'PY' || fail "the metainfo does not match the build"
import sys
import xml.etree.ElementTree as ET
path, app_id, version, programs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
root = ET.parse(path).getroot()
problems = []
if root.findtext("id") != app_id:
    problems.append("id is %r" % root.findtext("id"))
if root.findtext("launchable") != app_id + ".desktop":
    problems.append("launchable is %r" % root.findtext("launchable"))
binaries = sorted(b.text for b in root.iter("binary"))
if binaries != sorted(programs):
    problems.append("provides %r, the build installs %r" % (binaries, sorted(programs)))
releases = [r.get("version") for r in root.iter("release")]
if not releases or releases[0] != version:
    problems.append("newest release is %r, not %s" % (releases[:1], version))
for problem in problems:
    print("metainfo: " + problem)
sys.exit(1 if problems else 0)
PY
fi

# Man pages: gzip files that render without warnings and carry the version.
command -v man >/dev/null || fail "man is missing (apt-get install man-db): the man pages cannot be read"
for program in "${programs[@]}"; do
  page=$prefix/share/man/man1/$program.1.gz
  [ -f "$page" ] || continue
  if ! gzip -t "$page" 2>/dev/null; then
    fail "$program.1.gz is not a gzip file"
    continue
  fi
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || true
  [ -z "$warnings" ] || fail "$program.1 renders with warnings: $warnings"
  text=$(MANWIDTH=80 man -l "$page" 2>/dev/null) || true
  grep -Eq "^ *$program +- " <<<"$text" || fail "$program.1 has no NAME line for $program"
  grep -q "Vantrix $version" <<<"$text" || fail "$program.1 does not name version $version"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install layout ok: ${#expected[@]} files under $prefix"
