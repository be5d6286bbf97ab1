#!/usr/bin/env bash
# Does setup.sh install everything the configured build uses? Run after a configure into BUILD
# (default: build/ beside this checkout's setup.sh).
#
# Every CMake package folder the build found (the *_DIR entries of CMakeCache.txt) and every
# program it found (its FILEPATH entries, the test programs of tests/CMakeLists.txt among them)
# belongs to a Debian package; each such package must be in the Depends closure of what
# `setup.sh packages` lists. A package installed by hand on this machine would otherwise hide a
# missing install step until a newcomer's fresh machine met it. Prints one line per package that
# is missing and exits 1; exits 0 when nothing is.
set -euo pipefail

here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build}
cache=$build/CMakeCache.txt
[ -f "$cache" ] || { echo "install-closure: no $cache (configure first)" >&2; exit 2; }

mapfile -t listed < <("$here/setup.sh" packages)
[ ${#listed[@]} -gt 0 ] || { echo "install-closure: setup.sh lists no packages" >&2; exit 2; }

# What installing the lists brings in. setup.sh installs with --no-install-recommends, so only
# Depends and Pre-Depends count.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
    --no-breaks --no-replaces --no-enhances "${listed[@]}" 2>/dev/null |
    grep -v '^ ' | sed 's/:.*//; s/^<//; s/>$//' | sort -u)

# Found by CMake's own modules but never built against: CTest's dashboard update command and
# FindOpenGL's optional GLU, neither of which the build or the tests use.
unused='^(GITCOMMAND|OPENGL_glu_LIBRARY)$'

declare -A owners=() missing=()
problems=0
names=() paths=()
while IFS='=' read -r key path; do
    name=${key%%:*}
    [[ $name =~ $unused ]] && continue
    case "$path" in
    *-NOTFOUND)
        # Our own test programs must be found; others (optional Qt pieces) may be absent.
        if [[ $name == TAVO_PROGRAM_* ]]; then
            echo "install-closure: ${name#TAVO_PROGRAM_} not found: no package of setup.sh provides it"
            problems=1
        fi
        ;;
    /*)
        if [ -e "$path" ]; then
            names+=("$name")
            paths+=("$path")
        fi
        ;;
    esac
done < <(grep -E '^[A-Za-z0-9_.+-]+(_DIR:PATH|:FILEPATH)=' "$cache")

# One dpkg look-up for every path and the file it resolves to ("pkg1, pkg2: /path" lines).
declare -A resolved=()
for path in "${paths[@]}"; do resolved[$path]=$(readlink -f "$path"); done
while IFS= read -r line; do
    packages=${line%%: /*}
    file=/${line#*: /}
    owners[$file]="${owners[$file]:-} $(echo "$packages" | tr -d ' ' | tr ',' ' ' | sed 's/:[^ ]*//g')"
done < <(dpkg -S "${paths[@]}" "${resolved[@]}" 2>/dev/null | grep -v '^diversion ')

for i in "${!paths[@]}"; do
    path=${paths[$i]}
    found=$(echo ${owners[$path]:-} ${owners[${resolved[$path]}]:-} | tr ' ' '\n' | sort -u)
    [ -n "$found" ] || continue # not from a package (built here, or /usr/local)
    if ! grep -qxF -f <(printf '%s\n' "$found") <<<"$closure"; then
        missing["$(echo $found | tr ' ' '|')"]+=" ${names[$i]}"
    fi
done

for package in "${!missing[@]}"; do
    echo "install-closure: $package is used by the build (${missing[$package]# }) but setup.sh does not install it"
    problems=1
done
[ $problems -eq 0 ] && echo "install-closure: setup.sh installs every package the configured build uses"
exit $problems
