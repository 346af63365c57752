#!/usr/bin/env bash
# Builds the Debian package from a configured build folder through scripts/package.sh and checks
# it as an installer would see it: the files it holds, its dependencies, lintian's verdict, and
# manual page and completion that know every option of the command.
#
#   packaging/check_package.sh BUILD_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

package=$("$root/scripts/package.sh" "$build" "$work" | tail -n1)
[ -f "$package" ] || { echo "FAIL: no package at '$package'" >&2; exit 1; }

dpkg-deb -c "$package" | awk '{ print $1 " " $6 }' >"$work/contents"
for entry in \
    "-rwxr-xr-x ./usr/bin/sonbalancer" \
    "-rwxr-xr-x ./usr/bin/sonbalancer-cli" \
    "-rw-r--r-- ./usr/share/applications/sonbalancer.desktop" \
    "-rw-r--r-- ./usr/share/icons/hicolor/96x96/apps/sonbalancer.png" \
    "-rw-r--r-- ./usr/share/man/man1/sonbalancer.1.gz" \
    "-rw-r--r-- ./usr/share/man/man1/sonbalancer-cli.1.gz" \
    "-rw-r--r-- ./usr/share/doc/sonbalancer/copyright" \
    "-rw-r--r-- ./usr/share/doc/sonbalancer/changelog.gz" \
    "-rw-r--r-- ./usr/share/bash-completion/completions/sonbalancer-cli"; do
  grep -qxF -- "$entry" "$work/contents" || fail "the package lacks $entry"
done
# Nothing else but the folders: no test program, no library, no header.
others=$(grep -v '^d' "$work/contents" | grep -c -v -e '/usr/bin/sonbalancer' -e '/usr/share/' ||
         true)
[ "$others" -eq 0 ] || fail "the package holds $others unexpected files"

depends=$(dpkg-deb -f "$package" Depends)
for needed in ffmpeg x42-plugins 'libavformat[0-9]+' 'libavcodec[0-9]+' 'libavutil[0-9]+' liblilv-0-0 libc6 'libstdc\+\+6' 'libwx_gtk3u_core-3.2-1|libwxgtk3.2-1' libebur128-1 \
    'libtag1v5|libtag1v5-vanilla'; do
  grep -qE "(^|, )($needed)( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
[ "$(dpkg-deb -f "$package" Package)" = sonbalancer ] || fail "the package is not named sonbalancer"

mkdir "$work/tree"
dpkg-deb -x "$package" "$work/tree"
for program in sonbalancer sonbalancer-cli; do
  ! grep -q '\.symtab' <<<"$(readelf -S "$work/tree/usr/bin/$program")" || fail "$program is not stripped"
done

# Every option of the command, as its own help gives them, in the manual page and the completion.
page=$(zcat "$work/tree/usr/share/man/man1/sonbalancer-cli.1.gz" | sed 's/\\-/-/g')
completion=$(cat "$work/tree/usr/share/bash-completion/completions/sonbalancer-cli")
options=$("$work/tree/usr/bin/sonbalancer-cli" --help |
          grep -oE '^ +(-[[:alnum:]], )?--?[[:alnum:]-]+' | tr ',' '\n' | tr -d ' ')
[ "$(echo "$options" | wc -l)" -ge 19 ] || fail "too few options read from --help: $options"
for option in $options; do
  grep -qE "^\.B[RI]? (.*[ \"])?$option([ \"]|$)" <<<"$page" ||
    fail "the manual page does not describe $option"
  grep -qE "(^|[ '])$option( |'|$)" <<<"$completion" ||
    fail "the completion does not offer $option"
done
for status in 0 1 2 3 '130 ", " 143'; do
  grep -qE "^\.BR? $status" <<<"$page" ||
    fail "the manual page does not give exit status $status"
done

lintian --fail-on error "$package" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"

[ "$failures" -eq 0 ] || exit 1
echo "The package $(basename "$package") holds what it should"
