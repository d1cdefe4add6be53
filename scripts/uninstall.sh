#!/usr/bin/env bash
# Removes what `cmake --install BUILD_DIR [--prefix P]` installed:
#   scripts/uninstall.sh [BUILD_DIR]        (default build/release)
# The install records every file it wrote in BUILD_DIR/install_manifest.txt; this removes those
# files, then the project's own folders when they are left empty. Run it with the rights the install had (sudo for a
# system prefix). A package installed with apt is removed with `sudo apt remove karvel` instead.
# An install by older versions also registered the control in the user's store; that entry goes
# too.
set -euo pipefail
build="${1:-$(dirname "$0")/../build/release}"
record="$build/install_manifest.txt"
if [ ! -f "$record" ]; then
    echo "[uninstall] $record does not exist: nothing was installed from $build" >&2
    exit 1
fi

register=""
library=""
while IFS= read -r file || [ -n "$file" ]; do
    case "$file" in
        */bin/lumeq-register) register="$file" ;;
        */libLumeq.so) library="$file" ;;
    esac
done <"$record"

dirs=()
while IFS= read -r file || [ -n "$file" ]; do
    [ -n "$file" ] || continue
    if [ -e "$file" ] || [ -L "$file" ]; then
        [ "$file" = "$register" ] && continue  # needed below, removed last
        echo "[uninstall] rm $file"
        rm -f -- "$file"
    fi
    dirs+=("$(dirname -- "$file")")
done <"$record"

if [ -n "$register" ] && [ -x "$register" ] && [ -n "$library" ]; then
    "$register" -u "$library" >/dev/null 2>&1 || true
fi
if [ -n "$register" ]; then
    echo "[uninstall] rm $register"
    rm -f -- "$register"
fi

# Only our own folders go; shared ones (bin, share/applications, ...) stay even when empty.
printf '%s\n' "${dirs[@]}" | sort -u | while IFS= read -r dir; do
    case "$dir" in
        */lib/karvel | */share/doc/karvel)
            rmdir -- "$dir" 2>/dev/null && echo "[uninstall] rmdir $dir" ;;
    esac
done
rm -f -- "$record"
echo "[uninstall] done"
