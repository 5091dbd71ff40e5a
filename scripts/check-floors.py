#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Checks that the product's code includes only downward.

The product is built in floors; a unit (a top-level folder, or a subfolder of
platform/, framework/, control/ and host/) may include its own files and those
of units on lower floors, never a unit on its own floor or above. Prints every
include that breaks this and exits 1; exits 0 when there is none.

It also checks that the front ends (host/) call none of the internet
library's Windows-style transfer and cache calls: those are the shim the core
is written against, and the front ends use the native faces beside them.

Usage: check-floors.py [SOURCE_DIR]
"""
import os
import re
import sys

# Lowest first. Units on one line share a floor and may not include each other.
FLOORS = [
    ['platform/kernel'],                      # the OS layer: system calls, modules, errors
    ['platform/text'],                        # code pages, UTF-8
    ['platform/profile', 'platform/cache'],   # INI files; the URL cache on SQLite
    ['platform/inet'],                        # the internet library on libcurl
    ['foundation'],                           # strings, buffers, lists
    ['framework/ui', 'framework/message'],    # the UI model; message formatting
    ['framework/com'],                        # objects, registry, controls, property exchange
    ['net'],                                  # URLs and requests
    ['crawler'],                              # the walk
    ['control/resources'],                    # the control's dialogs, strings, identity
    ['control'],                              # the control
    ['control/module'],                       # the loadable module's entry points
    ['host/common'],                          # what the front ends share
    ['host/browser'],                         # the panel drawn in a browser page
    ['host/proxy', 'host/terminal'],          # the front ends
    ['host'],                                 # the `dravik` command
]
# The shim's headers, whose calls host/ may not make.
SHIM = ['platform/inet/WinInet.h', 'platform/cache/UrlCache.h']
SPLIT = ('platform', 'framework', 'control', 'host')
PRODUCT = {u.split('/')[0] for floor in FLOORS for u in floor}


def unit_of(path):
    parts = path.split('/')
    if parts[0] in SPLIT and len(parts) > 2:
        return '/'.join(parts[:2])
    return parts[0]


def shim_calls(root):
    """Names of the functions the shim's headers declare."""
    names = []
    for header in SHIM:
        with open(os.path.join(root, header)) as f:
            names += re.findall(r'^[A-Z][A-Z_]*\*?\s+(\w+)\s*\(', f.read(), re.M)
    return names


def front_end_shim_calls(root):
    calls = re.compile(r'\b(' + '|'.join(shim_calls(root)) + r')\s*\(')
    problems = []
    for folder, _, names in os.walk(os.path.join(root, 'host')):
        for name in sorted(names):
            if not name.endswith(('.h', '.cpp')):
                continue
            path = os.path.relpath(os.path.join(folder, name), root)
            with open(os.path.join(root, path), errors='replace') as f:
                for number, line in enumerate(f, 1):
                    code = line.split('//')[0]
                    for call in calls.findall(code):
                        problems.append(f'{path}:{number}: calls {call}, a call of the shim')
    return problems


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else '.'
    rank = {u: i for i, floor in enumerate(FLOORS) for u in floor}
    problems = []
    for top in sorted(PRODUCT):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(('.h', '.cpp')):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                unit = unit_of(path)
                if unit not in rank:
                    problems.append(f'{path}: unit {unit} is on no floor')
                    continue
                with open(os.path.join(root, path), errors='replace') as f:
                    text = f.read()
                for inc in re.findall(r'^\s*#\s*include\s+"([^"]+)"', text, re.M):
                    target = unit_of(inc)
                    if target == unit or target not in rank:
                        continue
                    if rank[target] >= rank[unit]:
                        problems.append(f'{path}: {unit} includes {inc} ({target}, not below it)')
    problems += front_end_shim_calls(root)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
