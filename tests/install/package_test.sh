#!/usr/bin/env bash
# The Debian package as a user of another machine gets it: built from this build tree, unpacked
# into a root of its own, judged by the ecosystem's validators, and run as an unprivileged user
# with an empty home, against the simulated scale, with no registration anywhere.
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
root="$work/root"
dpkg-deb -x "$deb" "$root"
chmod 0755 "$root"
usr="$root/usr"

# What the package must carry.
for f in bin/Karvel bin/Karvel.manifest bin/karvel-scalesim bin/lumeq-preview bin/lumeq-register \
    bin/karvel-read lib/systemd/system/karvel-read@.service lib/karvel/libLumeq.so share/doc/karvel/copyright \
    share/icons/hicolor/scalable/apps/org.example.Karvel.svg; do
    [ -e "$usr/$f" ] || fail "the package has no /usr/$f"
done
for size in 16 32 48 64 128 256; do
    [ -e "$usr/share/icons/hicolor/${size}x${size}/apps/org.example.Karvel.png" ] ||
        fail "no ${size}x${size} icon"
done
dpkg-deb -e "$deb" "$work/control"
grep -q -- '--system' "$work/control/postinst" || fail "postinst does not register the control"
grep -q -- '-u --system' "$work/control/prerm" || fail "prerm does not unregister the control"
grep -qx /etc/karvel/read.env "$work/control/conffiles" || fail "read.env is no conffile"
[ "$(stat -c %a "$root/etc/karvel/mqtt-password")" = 600 ] || fail "mqtt-password is readable by others"
# The unit as systemd judges it: clean, and hardened to "OK" or better.
# verify looks for the program where the unit names it: point it at the unpacked one.
mkdir -p "$work/unit"
sed "s|/usr/bin/karvel-read|$usr/bin/karvel-read|" "$usr/lib/systemd/system/karvel-read@.service" \
    >"$work/unit/karvel-read@.service"
systemd-analyze verify --man=no "$work/unit/karvel-read@COM1.service" >"$work/verify.log" 2>&1
[ ! -s "$work/verify.log" ] || { cat "$work/verify.log"; fail "systemd-analyze verify karvel-read@.service"; }
systemd-analyze security --offline=yes --threshold=49 --root="$root" karvel-read@COM1.service \
    >"$work/security.log" 2>&1 || { tail -3 "$work/security.log"; fail "the unit is exposed"; }

# The validators.
desktop-file-validate "$usr/share/applications/org.example.Karvel.desktop"
grep -qx 'StartupWMClass=Karvel' "$usr/share/applications/org.example.Karvel.desktop" ||
    fail "the desktop entry has no StartupWMClass=Karvel"
appstreamcli validate --no-net "$usr/share/metainfo/org.example.Karvel.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log"; fail "appstreamcli validate"; }
for page in Karvel karvel-read karvel-scalesim lumeq-preview lumeq-register; do
    file="$usr/share/man/man1/$page.1.gz"
    [ -f "$file" ] || fail "no manual page for $page"
    warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$file" 2>&1 >"$work/$page.txt")"
    [ -z "$warnings" ] || { echo "$warnings"; fail "man -l $page.1 warns"; }
    grep -q "^NAME" "$work/$page.txt" || fail "man -l $page.1 shows no NAME section"
done
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors"; }
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/lintian: /' || true

# An unprivileged user with an empty home; as root, the user nobody.
home="$work/home"
mkdir -p "$home/tmp" "$home/run"
chmod 0700 "$home/run"
runas=()
if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$home"
    runas=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
user_env=(env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" XDG_RUNTIME_DIR="$home/run"
    XDG_DATA_DIRS="$work/no-machine-store" QT_QPA_PLATFORM=offscreen)
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

# What the maintainer scripts do, in a machine store of our own: a host with no manifest (a copy
# of lumeq-preview elsewhere) then finds the control there; removal leaves no entry.
if [ "$(id -u)" -eq 0 ]; then
    machine=(env XDG_DATA_DIRS="$work/machine")
    "${machine[@]}" "$usr/bin/lumeq-register" --system "$usr/lib/karvel/libLumeq.so" >/dev/null
    mkdir -p "$work/host"
    cp "$usr/bin/lumeq-preview" "$work/host/"
    user_env+=(XDG_DATA_DIRS="$work/machine")
    as_user "$work/host/lumeq-preview" -o "$home/tmp/host.png" ||
        fail "a host without a manifest does not find the control in the machine store"
    "${machine[@]}" "$usr/bin/lumeq-register" -u --system "$usr/lib/karvel/libLumeq.so" >/dev/null
    "${machine[@]}" "$usr/bin/lumeq-register" --system --list | grep -q '(nothing registered)' ||
        fail "unregistering left entries in the machine store"
    user_env=("${user_env[@]:0:${#user_env[@]}-1}")
fi

# Karvel finds its control and the simulated scale (its event log is forwarded to our stderr),
# then ends on SIGTERM as if its window was closed.
mkfifo "$work/karvel.err"
"${runas[@]}" "${user_env[@]}" "$usr/bin/Karvel" --demo >/dev/null 2>"$work/karvel.err" &
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
    fail "the unpacked Karvel did not find the scale and end on SIGTERM (status $status)"
fi
if find "$home" -name 'components.store*' | grep -q .; then
    fail "running the package wrote a registration store"
fi
echo "PASS"
