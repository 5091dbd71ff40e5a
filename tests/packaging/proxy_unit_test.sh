#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# The installed proxy unit takes its options from the user's options file:
# the unit's EnvironmentFile= and ExecStart= are read and run as the user
# manager runs them (the file's variables, %E for $XDG_CONFIG_HOME, an
# unbraced $VARIABLE split into words), and a --direct host given in the
# file is forwarded by the offline proxy while another host is not.
#   proxy_unit_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
unit=$work/prefix/share/systemd/user/dravik-proxy.service
[ -f "$unit" ] || fail "the unit is not where systemctl --user finds it"
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME" "$XDG_CONFIG_HOME/dravik"

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
engine_port=$(free_port)
proxy_port=$(free_port)
mkdir -p "$work/engine" && echo engine >"$work/engine/app.txt"
python3 -m http.server "$engine_port" --bind 127.0.0.1 --directory "$work/engine" >/dev/null 2>&1 &
pids+=($!)

# EnvironmentFile=-%E/dravik/proxy.conf: the file the manual tells the user to write.
options_file=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$unit")
options_file=${options_file//%E/$XDG_CONFIG_HOME}
[ "$options_file" = "$XDG_CONFIG_HOME/dravik/proxy.conf" ] || fail "EnvironmentFile is $options_file"
cat >"$options_file" <<CONF
# the application's engine
DRAVIK_PROXY_OPTIONS=--listen 127.0.0.1:$proxy_port --offline --direct 127.0.0.1:$engine_port
CONF

# The user manager's reading: KEY=VALUE lines, comments skipped; then
# ExecStart with $KEY replaced by the value's words.
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
while IFS= read -r line; do
    case $line in '#'* | '') continue ;; esac
    export "${line%%=*}=${line#*=}"
done <"$options_file"
read -r -a command <<<"$exec_start"
words=()
for word in "${command[@]}"; do
    if [[ $word =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
        read -r -a value <<<"${!BASH_REMATCH[1]:-}"
        words+=("${value[@]}")
    else
        words+=("$word")
    fi
done
[ "${words[0]}" = "$work/prefix/bin/dravik" ] || fail "ExecStart runs ${words[0]}"
"${words[@]}" >"$work/proxy.out" 2>&1 &
pids+=($!)

status() { curl -s -o /dev/null -w '%{http_code}' --max-time 10 "$@" || true; }
for _ in $(seq 100); do
    [ "$(status "http://127.0.0.1:$proxy_port/")" = 200 ] &&
        [ "$(status "http://127.0.0.1:$engine_port/app.txt")" = 200 ] && break
    sleep 0.1
done
engine=$(status -x "127.0.0.1:$proxy_port" "http://127.0.0.1:$engine_port/app.txt")
other=$(status -x "127.0.0.1:$proxy_port" "http://127.0.0.2:$engine_port/app.txt")
[ "$engine" = 200 ] || { cat "$work/proxy.out"; fail "the --direct host from the options file answered $engine"; }
[ "$other" = 504 ] || { cat "$work/proxy.out"; fail "a host not named answered $other offline"; }
echo "proxy unit: the options file reaches the proxy"
