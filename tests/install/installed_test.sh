#!/usr/bin/env bash
# An installed Karvel has no manifest beside it: it must find the control through the
# registration store that `cmake --install` wrote.
set -euo pipefail
build_dir="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export KARVEL_COMPONENT_STORE="$work/store/components.store"
export KARVEL_PORT_DIR="$work/ports"
export QT_QPA_PLATFORM=offscreen
unset KARVEL_COMPONENT_MANIFEST
mkdir -p "$KARVEL_PORT_DIR"

cmake --install "$build_dir" --prefix "$work/prefix" >"$work/install.log" 2>&1 || {
    cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }
grep -q "{22C8BBAD-8918-4858-8EED-45BEE06CC11F}" "$KARVEL_COMPONENT_STORE" || {
    echo "FAIL: the store does not list the control"; exit 1; }
[ ! -e "$work/prefix/bin/Karvel.manifest" ] || { echo "FAIL: a manifest was installed"; exit 1; }
[ -f "$work/prefix/share/applications/karvel.desktop" ] || { echo "FAIL: no desktop entry"; exit 1; }

# A host other than Karvel, through the store alone.
"$work/prefix/bin/lumeq-preview" --hex1 0x3f -o "$work/preview.png"
[ -s "$work/preview.png" ] || { echo "FAIL: lumeq-preview wrote nothing"; exit 1; }

# Karvel: a failed activation ends at once with a message; a working one shows the panel and
# keeps running until it is stopped.
set +e
timeout 10 "$work/prefix/bin/Karvel" >"$work/karvel.out" 2>&1
status=$?
set -e
if [ "$status" -ne 124 ]; then
    cat "$work/karvel.out"
    echo "FAIL: installed Karvel ended with status $status"
    exit 1
fi

# Unregistered again, the same program reports the missing control.
"$work/prefix/bin/lumeq-register" -u "$work/prefix/lib/libLumeq.so" >/dev/null
set +e
"$work/prefix/bin/Karvel" >"$work/karvel.out" 2>&1
status=$?
set -e
grep -q "cannot create the display control" "$work/karvel.out" && [ "$status" -ne 0 ] || {
    cat "$work/karvel.out"; echo "FAIL: no clear message after unregistering"; exit 1; }
echo "PASS"
