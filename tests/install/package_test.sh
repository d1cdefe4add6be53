#!/usr/bin/env bash
# The Debian package as a user of another machine gets it: built from this build tree, judged by
# the ecosystem's validators, installed into a root of its own (with a machine store left in
# /usr/share/karvel by an older package), run as an unprivileged user with an empty home against
# the simulated scale, then removed and purged until nothing is left.
#   package_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build_dir="$2"

fail() { echo "FAIL: $*"; exit 1; }

work="$(mktemp -d "${TMPDIR:-/tmp}/karvel-package-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
chmod 0755 "$work"

deb="$("$source_dir/scripts/package.sh" --build-dir "$build_dir" --output "$work/out" | tail -n 1)"
[ -f "$deb" ] || fail "no package was made"
case "$(basename "$deb")" in karvel_1.0.0.1_*.deb) ;; *) fail "package named $deb" ;; esac
unpacked="$work/unpacked"
dpkg-deb -x "$deb" "$unpacked"
dpkg-deb -e "$deb" "$work/control"

# What the package must carry, and where.
for f in bin/Karvel bin/karvel-scalesim bin/lumeq-preview bin/lumeq-register \
    bin/karvel-read lib/systemd/system/karvel-read@.service lib/karvel/libLumeq.so lib/karvel/Karvel.manifest lib/karvel/lumeq-preview.manifest \
    share/karvel/components.d/lumeq.store share/doc/karvel/copyright \
    share/icons/hicolor/scalable/apps/org.example.Karvel.svg; do
    [ -e "$unpacked/usr/$f" ] || fail "the package has no /usr/$f"
done
for size in 16 32 48 64 128 256; do
    [ -e "$unpacked/usr/share/icons/hicolor/${size}x${size}/apps/org.example.Karvel.png" ] ||
        fail "no ${size}x${size} icon"
done
find "$unpacked/usr/bin" -name '*.manifest' | grep -q . && fail "a manifest is in /usr/bin"
grep -qx 'library=/usr/lib/karvel/libLumeq.so' <(tr '\t' '\n' <"$unpacked/usr/share/karvel/components.d/lumeq.store") ||
    fail "the shipped registration does not name /usr/lib/karvel/libLumeq.so"

grep -qx /etc/karvel/read.env "$work/control/conffiles" || fail "read.env is no conffile"
# The unit as systemd judges it: clean, and hardened to "OK" or better.
# verify looks for the program where the unit names it: point it at the unpacked one.
mkdir -p "$work/unit"
sed "s|/usr/bin/karvel-read|$unpacked/usr/bin/karvel-read|" "$unpacked/usr/lib/systemd/system/karvel-read@.service" \
    >"$work/unit/karvel-read@.service"
systemd-analyze verify --man=no "$work/unit/karvel-read@COM1.service" >"$work/verify.log" 2>&1
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify karvel-read@.service"; }
systemd-analyze security --offline=yes --threshold=49 --root="$unpacked" karvel-read@COM1.service \
    >"$work/security.log" 2>&1 || { tail -3 "$work/security.log"; fail "the unit is exposed"; }

# The validators.
desktop="$unpacked/usr/share/applications/org.example.Karvel.desktop"
desktop-file-validate "$desktop"
for line in 'StartupWMClass=Karvel' 'Actions=demo;find-any;' 'Exec=Karvel --demo' \
    'Exec=Karvel --protocol auto'; do
    grep -qxF "$line" "$desktop" || fail "the desktop entry has no $line"
done
appstreamcli validate --pedantic --no-net "$unpacked/usr/share/metainfo/org.example.Karvel.metainfo.xml" \
    >"$work/as.log" || { cat "$work/as.log"; fail "appstreamcli validate --pedantic"; }
for page in Karvel karvel-read karvel-scalesim lumeq-preview lumeq-register; do
    file="$unpacked/usr/share/man/man1/$page.1.gz"
    [ -f "$file" ] || fail "no manual page for $page"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >"$work/$page.txt")"
    [ -z "$warnings" ] || { echo "$warnings"; fail "man -l $page.1 warns"; }
    grep -q "^NAME" "$work/$page.txt" || fail "man -l $page.1 shows no NAME section"
done
# Fortified calls need an optimised build: a debug tree is checked for the rest.
build_type="$(sed -nE 's/^CMAKE_BUILD_TYPE:STRING=(.*)$/\1/p' "$build_dir/CMakeCache.txt")"
unfortified='^$'
hardening=(hardening-check --quiet)
if [ "$build_type" = Debug ] || [ -z "$build_type" ]; then
    unfortified='hardening-no-fortify-functions'
    hardening+=(--nofortify)
    echo "note: a $build_type build is not fortified; fortified calls are not checked"
fi
# Control-flow protection is marked on a program only when every object linked into it is
# marked; Debian 12's C start-up files are not (and their _init has no endbr64), so there no
# program carries the mark, dpkg itself neither. Where they are, it is required.
if ! readelf -n "$(g++ -print-file-name=Scrt1.o)" | grep -q 'IBT'; then
    hardening+=(--nocfprotection)
    echo "note: the C start-up files carry no control-flow mark; control-flow protection is not checked"
fi
lintian -EvIL +pedantic "$deb" >"$work/lintian.log" 2>&1 || true
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/lintian: /' || true
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings"
grep -E '^[A-Z]: .* hardening-' "$work/lintian.log" | grep -vE "$unfortified" && fail "lintian reports missing hardening"
for elf in "$unpacked"/usr/bin/* "$unpacked"/usr/lib/karvel/*.so; do
    "${hardening[@]}" "$elf" || fail "hardening-check ${elf#"$unpacked"}"
done

# Installed into a root of its own, as dpkg installs it (or, for a user who may not, unpacked and
# configured by its maintainer scripts), after an older package that kept the machine's store
# in /usr/share/karvel, with an administrator's registration in it.
root="$work/root"
mkdir -p "$root/usr/share/karvel"
chmod -R 0755 "$root"
KARVEL_COMPONENT_STORE="$root/usr/share/karvel/components.store" \
    "$build_dir/bin/lumeq-register" "$build_dir/bin/libLumeq.so" >/dev/null
as_root=0
[ "$(id -u)" -eq 0 ] && as_root=1
dpkg_root=(dpkg --root="$root" --log="$work/dpkg.log" --force-script-chrootless)
if [ "$as_root" -eq 1 ]; then
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    "${dpkg_root[@]}" --force-depends -i "$deb" >"$work/dpkg-install.log" 2>&1 ||
        { cat "$work/dpkg-install.log"; fail "dpkg --root -i"; }
    "${dpkg_root[@]}" -L karvel | sed "s|^|$root|" >"$work/listed"
else
    dpkg-deb -x "$deb" "$root"
    dpkg-deb -c "$deb" | awk '{print $6}' | sed -e "s|^\.|$root|" -e 's|/$||' >"$work/listed"
    DPKG_ROOT="$root" "$work/control/postinst" configure
fi
find "$root/usr" -mindepth 1 | sort >"$work/present"
extra="$(sort "$work/listed" | comm -13 - "$work/present")"
# The old store and its lock are gone; a maintainer script wrote nothing there.
[ -z "$extra" ] || fail "under usr/ beside the package's files: $extra"
machine="$root/var/lib/karvel/components.store"
grep -qF "library=$(realpath "$build_dir/bin/libLumeq.so")" "$machine" ||
    fail "the administrator's registration did not move to /var/lib/karvel"
usr="$root/usr"
[ "$(stat -c %a "$root/etc/karvel/mqtt-password")" = 600 ] || fail "postinst made no mqtt-password readable by root only"
[ "$(stat -c %a "$root/etc/karvel/http-token")" = 600 ] || fail "postinst made no http-token readable by root only"

# An unprivileged user with an empty home; as root, the user nobody.
home="$work/home"
mkdir -p "$home/tmp" "$home/run"
chmod 0700 "$home/run"
runas=()
if [ "$as_root" -eq 1 ]; then
    chown -R 65534:65534 "$home"
    runas=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
user_env=(env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" XDG_RUNTIME_DIR="$home/run"
    XDG_DATA_DIRS="$work/no-shipped-stores" KARVEL_MACHINE_STORE="$work/no-machine-store"
    QT_QPA_PLATFORM=offscreen)
as_user() { "${runas[@]}" "${user_env[@]}" "$@"; }

for program in Karvel karvel-read karvel-scalesim lumeq-preview lumeq-register; do
    first="$(as_user "$usr/bin/$program" --version | sed -n 1p)"
    [ "$first" = "$program 1.0.0.1" ] || fail "$program --version begins with \"$first\""
    as_user "$usr/bin/$program" --help >/dev/null || fail "$program --help"
done

# Another host than Karvel finds the control through its manifest, relative to the new root.
as_user "$usr/bin/lumeq-preview" --hex1 0x3f -o "$home/tmp/preview.png" ||
    fail "lumeq-preview cannot create the control"
[ -s "$home/tmp/preview.png" ] || fail "lumeq-preview wrote nothing"

# A host without a manifest (a copy of lumeq-preview elsewhere) reads the shipped registration,
# which names /usr/lib/karvel/libLumeq.so of this machine.
mkdir -p "$work/host"
cp "$usr/bin/lumeq-preview" "$work/host/"
if ! as_user XDG_DATA_DIRS="$usr/share" "$work/host/lumeq-preview" -o "$home/tmp/shipped.png" \
    2>"$work/shipped.err"; then
    grep -qF "$usr/share/karvel/components.d/lumeq.store" "$work/shipped.err" ||
        { cat "$work/shipped.err"; fail "the shipped registration was not read"; }
fi
if [ "$as_root" -eq 1 ]; then
    # What the administrator registers goes to /var/lib/karvel, where every user's hosts find
    # it; unregistered, the store lists nothing.
    KARVEL_MACHINE_STORE="$machine" "$usr/bin/lumeq-register" --system "$usr/lib/karvel/libLumeq.so" >/dev/null
    as_user KARVEL_MACHINE_STORE="$machine" "$work/host/lumeq-preview" -o "$home/tmp/host.png" ||
        fail "a host without a manifest does not find the control in the machine's store"
    KARVEL_MACHINE_STORE="$machine" "$usr/bin/lumeq-register" -u --system "$usr/lib/karvel/libLumeq.so" >/dev/null
    KARVEL_MACHINE_STORE="$machine" "$usr/bin/lumeq-register" --system --list | grep -q '(nothing registered)' ||
        fail "unregistering left entries in the machine's store"
fi

# Karvel finds its control and the simulated scale (its event log, asked for, comes on our
# stderr), then ends on SIGTERM as if its window was closed.
mkfifo "$work/karvel.err"
"${runas[@]}" "${user_env[@]}" QT_LOGGING_RULES=karvel.demo.info=true "$usr/bin/Karvel" --demo \
    >/dev/null 2>"$work/karvel.err" &
karvel=$!
exec 3<"$work/karvel.err"
found=0
deadline=$((SECONDS + 60))
while [ "$SECONDS" -lt "$deadline" ] && IFS= read -r -t 60 line <&3; do
    echo "$line" >>"$work/karvel.log"
    case "$line" in *"COM5: probe answered"*) found=1; break ;; esac
done
kill -TERM "$karvel" 2>/dev/null || true
cat <&3 >>"$work/karvel.log"
set +e
wait "$karvel"
status=$?
set -e
exec 3<&-
if [ "$found" -ne 1 ] || [ "$status" -ne 143 ]; then
    cat "$work/karvel.log"
    fail "the installed Karvel did not find the scale and end on SIGTERM (status $status)"
fi
if find "$home" -name 'components.store*' | grep -q .; then
    fail "running the package wrote a registration store"
fi

# Removed, then purged: nothing of the package is left, and no empty machine store.
if [ "$as_root" -eq 1 ]; then
    "${dpkg_root[@]}" -r karvel >"$work/dpkg-remove.log" 2>&1 || { cat "$work/dpkg-remove.log"; fail "dpkg -r"; }
    [ ! -e "$root/usr" ] || [ -z "$(find "$root/usr" -not -type d)" ] || fail "removal left files under usr/"
    "${dpkg_root[@]}" -P karvel >"$work/dpkg-purge.log" 2>&1 || { cat "$work/dpkg-purge.log"; fail "dpkg -P"; }
    left="$(find "$root" -mindepth 1 -not -path "$root/var/lib/dpkg" -not -path "$root/var/lib/dpkg/*" \
        -not -path "$root/var/lib" -not -path "$root/var")"
    [ -z "$left" ] || fail "left after purge: $left"
else
    echo "note: not root: the package is not removed with dpkg"
fi
echo "PASS"
