# SPDX-License-Identifier: Apache-2.0
# Bash completion for dravik: commands, their options, file names for pages
# and files, and the subscription names of the page already given on the
# line (asked of `dravik names PAGE`).

_dravik_page_on_line() {
    local i word
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case $word in
            -*) ;;
            *) printf '%s\n' "$word"; return ;;
        esac
        # The options that take a name or a value skip it.
        case $word in
            --check | --uncheck | --links | --no-links | --connections) ((i++)) ;;
        esac
    done
}

_dravik() {
    local cur prev command
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands="demo panel sync names snippet fetch proxy cache offline register unregister info"

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    command=${COMP_WORDS[1]}

    case $command in
        sync)
            case $prev in
                --check | --uncheck | --links | --no-links)
                    local page
                    page=$(_dravik_page_on_line)
                    if [[ -n $page ]]; then
                        local IFS=$'\n' i
                        COMPREPLY=($(compgen -W "$(dravik names "$page" 2>/dev/null)" -- "$cur"))
                        # A name with spaces or quotes must reach dravik as one word.
                        for i in "${!COMPREPLY[@]}"; do
                            COMPREPLY[i]=$(printf '%q' "${COMPREPLY[i]}")
                        done
                    fi
                    return
                    ;;
                --connections) return ;;
            esac
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--check --uncheck --links --no-links --outside-links
                    --no-outside-links --connections --http2 --yes --quiet --verbose --help" -- "$cur"))
                return
            fi
            ;;
        panel)
            [[ $prev == --connections ]] && return
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W "--connections --http2 --help" -- "$cur"))
                return
            fi
            ;;
        fetch)
            [[ $prev == -H || $prev == --header ]] && return
            COMPREPLY=($(compgen -W "--header --no-cache --missed --http2 --help" -- "$cur"))
            return
            ;;
        proxy)
            case $prev in
                --listen | --allow | --direct | --connect-port | --trust-unverified) return ;;
            esac
            COMPREPLY=($(compgen -W "--listen --allow --direct --offline --no-store --intercept
                --ca --connect-port --trust-unverified --help" -- "$cur"))
            return
            ;;
        cache)
            if ((COMP_CWORD == 2)); then
                COMPREPLY=($(compgen -W "list show remove clear missed --help" -- "$cur"))
                return
            fi
            case ${COMP_WORDS[2]} in
                list) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
                missed) COMPREPLY=($(compgen -W "--clear --remove --help" -- "$cur")) ;;
            esac
            return
            ;;
        offline)
            COMPREPLY=($(compgen -W "on off status --help" -- "$cur"))
            return
            ;;
        info)
            if [[ $prev == --bitmap ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
                compopt -o filenames 2>/dev/null
                return
            fi
            COMPREPLY=($(compgen -W "--json --bitmap --help" -- "$cur"))
            return
            ;;
        demo)
            COMPREPLY=($(compgen -W "--keep --panel --help" -- "$cur"))
            return
            ;;
        snippet)
            COMPREPLY=($(compgen -W "--help" -- "$cur"))
            return
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--help" -- "$cur"))
        return
    fi
    # Pages, modules and files.
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}

complete -F _dravik dravik
