#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Every command and option that `--help` shows appears in the manual page's
# source and in the shell completion, and the completion offers a page's
# subscription names after --check.
#   manual_test.sh PROGRAM SOURCE_DIR
set -euo pipefail
program=$1
source_dir=$2
manual=$source_dir/docs/dravik.1.scd
completion=$source_dir/packaging/dravik.bash
missing=()

# Subcommand names listed under "Subcommands:" of a help text.
subcommands() { "$program" "$@" --help | awk '/^Subcommands:/ {on = 1; next} on && /^  [a-z]/ {print $1}'; }
# Long options of a help text (short ones always have a long twin).
options() { "$program" "$@" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u | grep -v -- '--help'; }

check() { # WHAT TEXT FILE...
    local what=$1 text=$2
    shift 2
    for file in "$@"; do
        grep -qF -- "$text" "$file" || missing+=("$what \"$text\" is not in ${file##*/}")
    done
}

# Every help text fits 80 columns.
wide() { # WORDS...: lines of `dravik WORDS --help` longer than 80 columns
    "$program" "$@" --help | awk -v what="$*" 'length($0) > 80 {print "help of \"" what "\" is wider than 80: " $0}'
}
while IFS= read -r line; do missing+=("$line"); done < <(wide)

for command in $(subcommands); do
    while IFS= read -r line; do missing+=("$line"); done < <(wide "$command")
    check command "*$command" "$manual"
    check command "$command" "$completion"
    for option in $(options "$command"); do
        check "option of $command" "$option" "$manual" "$completion"
    done
    for sub in $(subcommands "$command"); do
        while IFS= read -r line; do missing+=("$line"); done < <(wide "$command" "$sub")
        check "command" "*$command $sub*" "$manual"
        check command "$sub" "$completion"
        for option in $(options "$command" "$sub"); do
            check "option of $command $sub" "$option" "$manual" "$completion"
        done
    done
done

# The parser's errors are the program's own; --version names the licence
# and the libraries; a command's exit statuses are listed once each, in order.
error=$("$program" sync --no-such-option 2>&1 >/dev/null || true)
[[ $error == "dravik: "* ]] || missing+=("a parse error does not start with 'dravik: ': $error")
version=$("$program" --version)
for part in "Apache License 2.0" libcurl SQLite libxml2 OpenSSL; do
    [[ $version == *"$part"* ]] || missing+=("--version does not name $part")
done
statuses=$("$program" cache show --help | tr '\n' ' ' | grep -oE '[:;] +[0-9] ' | tr -dc '0-9')
[ "$statuses" = 0125 ] || missing+=("cache show --help lists the exit statuses $statuses")

# The completion itself: commands, and the names of the page on the line.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/page.html" <<'PAGE'
<object classid="CLSID">
<param name="S1.Name" value="Main"><param name="S2.Name" value="News">
<param name="S3.Name" value="Nightly reports">
</object>
PAGE
sed -i "s/CLSID/$("$program" snippet | grep -o 'clsid:[^"]*')/" "$work/page.html"
complete_line() { # WORDS... -> the candidates, one per line
    bash -c 'dravik() { "$PROGRAM" "$@"; }
             source "$1"; shift
             COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _dravik
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}
export PROGRAM=$program
[ "$(complete_line dravik sy)" = sync ] || missing+=("completion of 'dravik sy'")
names=$(complete_line dravik sync "$work/page.html" --check "")
[ "$names" = $'Main\nNews\nNightly\\ reports' ] || missing+=("completion of --check gave: $names")
[ "$(complete_line dravik sync "$work/page.html" --check N)" = $'News\nNightly\\ reports' ] ||
    missing+=("completion of --check N")
[ "$(complete_line dravik panel --c)" = --connections ] || missing+=("completion of panel --c")

if [ ${#missing[@]} -gt 0 ]; then
    printf 'FAIL: %s\n' "${missing[@]}" >&2
    exit 1
fi
echo "manual and completion: ok"
