#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Installs the build into a scratch prefix, moves the prefix elsewhere, and
# runs the installed program from there: the demo, the registration it
# makes (which must name the installed module) and the manual page.
#   installed_tree_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/prefix" # a relocated prefix must still work
prefix=$work/prefix
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config

for file in bin/dravik lib/dravik/libdravik.so lib/dravik/libdravik-platform.so \
    lib/dravik/libdravik-proxy.so \
    share/man/man1/dravik.1.gz share/bash-completion/completions/dravik \
    share/systemd/user/dravik-proxy.service share/doc/dravik/copyright \
    share/doc/dravik/changelog.Debian.gz share/doc/dravik/LICENSE; do
    [ -e "$prefix/$file" ] || fail "$file is not installed"
done
grep -q "^ExecStart=$work/first/bin/dravik proxy" "$prefix/share/systemd/user/dravik-proxy.service" ||
    fail "the unit does not name the installed program"

"$prefix/bin/dravik" --version | head -n 1 | grep -qx "dravik [0-9.]*" || fail "--version"
"$prefix/bin/dravik" demo >"$work/demo.out" 2>&1 || { cat "$work/demo.out"; fail "the installed demo failed"; }
grep -q "Synchronization complete" "$work/demo.out" || fail "the demo did not complete"

"$prefix/bin/dravik" register >/dev/null || fail "register"
"$prefix/bin/dravik" info >"$work/info.out" || fail "info"
grep -q "$prefix/lib/dravik/libdravik.so" "$work/info.out" ||
    { cat "$work/info.out"; fail "the registration does not name the installed module"; }

MANWIDTH=80 man -l "$prefix/share/man/man1/dravik.1.gz" >"$work/man.out" 2>"$work/man.err" ||
    fail "man -l: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l warns: $(cat "$work/man.err")"
grep -q "EXIT STATUS" "$work/man.out" || fail "the manual page has no EXIT STATUS"
echo "installed tree: ok"
