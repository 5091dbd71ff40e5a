#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Configures every flavour of scripts/build one after another in one scratch
# folder and checks that each gets its own options, whatever came before:
# the README's commands must work in either order.
#   flavours_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

expect() { # FLAVOUR NAME=VALUE...: the cache's values after configuring FLAVOUR
  local flavour=$1
  shift
  BUILD_DIR=$scratch "$source_dir/scripts/build" "$flavour" --configure-only
  for pair in "$@"; do
    local name=${pair%%=*} value=${pair#*=}
    local got
    got=$(sed -n "s/^$name:[A-Z]*=//p" "$scratch/CMakeCache.txt")
    if [ "$name" = CMAKE_CXX_COMPILER ]; then
      got=$(basename "$(readlink -f "$got")")
    fi
    if [[ "$got" != $value ]]; then
      echo "FAIL: after '$flavour' (this order: $order) $name is '$got', not '$value'"
      failed=1
    fi
  done
}

release=(CMAKE_BUILD_TYPE=Release DRAVIK_TESTS=ON DRAVIK_BENCH=ON DRAVIK_SANITIZE=OFF
         DRAVIK_FUZZ=OFF 'CMAKE_CXX_COMPILER=*g++*')
demo=(CMAKE_BUILD_TYPE=Release DRAVIK_TESTS=OFF DRAVIK_BENCH=OFF DRAVIK_SANITIZE=OFF
      DRAVIK_FUZZ=OFF 'CMAKE_CXX_COMPILER=*g++*')
sanitize=(CMAKE_BUILD_TYPE=Debug DRAVIK_TESTS=ON DRAVIK_BENCH=OFF DRAVIK_SANITIZE=ON
          DRAVIK_FUZZ=ON 'CMAKE_CXX_COMPILER=clang*')
order=""
for flavour in demo release sanitize demo sanitize release demo; do
  order="$order $flavour"
  declare -n wanted=$flavour
  expect "$flavour" "${wanted[@]}"
  unset -n wanted
done
[ "$failed" -eq 0 ] && echo "every flavour has its own options, in the order:$order"
exit "$failed"
