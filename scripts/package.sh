#!/usr/bin/env bash
# Makes the Debian package karvel_<version>_<arch>.deb from this project's own build:
#   scripts/package.sh                      sets up, builds the release preset, packages it
#   scripts/package.sh --build-dir DIR      packages the build tree DIR as it is (no build)
# Options: --output DIR (where the package goes; default: the build tree). Prints the path of
# the package on its last line. Install it with `sudo apt install ./karvel_*.deb`, remove it
# with `sudo apt remove karvel`.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

say() { printf '[package] %s\n' "$*" >&2; }
usage() {
    echo "usage: scripts/package.sh [--build-dir DIR] [--output DIR]" >&2
    exit 2
}

build=""
output=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) [ $# -ge 2 ] || usage; build="$2"; shift 2 ;;
        --output) [ $# -ge 2 ] || usage; output="$2"; shift 2 ;;
        -h | --help) sed -n '2,7s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) echo "scripts/package.sh: unknown argument $1" >&2; usage ;;
    esac
done
if [ -z "$build" ]; then
    ./scripts/setup.sh >&2
    ./scripts/build.sh release >&2
    build="$root/build/release"
fi
build="$(cd "$build" && pwd)"
output="$(mkdir -p "${output:-$build}" && cd "${output:-$build}" && pwd)"
[ -x "$build/bin/Karvel" ] || { say "$build holds no built Karvel"; exit 1; }
for tool in dpkg-deb dpkg-shlibdeps strip gzip; do
    command -v "$tool" >/dev/null || { say "$tool is missing: run scripts/setup.sh"; exit 1; }
done

umask 022
work="$(mktemp -d "${TMPDIR:-/tmp}/karvel-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
stage="$work/karvel"

version="$(sed -nE 's/^CMAKE_PROJECT_VERSION:STATIC=(.*)$/\1/p' "$build/CMakeCache.txt")"
arch="$(dpkg --print-architecture)"
[ -n "$version" ] || { say "no project version in $build/CMakeCache.txt"; exit 1; }

# The install records what it put where in the build tree; keep the record of a real install.
record="$build/install_manifest.txt"
[ -e "$record" ] && cp -p "$record" "$work/install_manifest.txt"
say "cmake --install $build --prefix /usr (staged)"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2; say "cmake --install failed"; exit 1; }
if [ -e "$work/install_manifest.txt" ]; then
    cp -p "$work/install_manifest.txt" "$record"
else
    rm -f "$record"
fi

usr="$stage/usr"
# Settings install under the prefix; a package puts them in /etc.
if [ -d "$usr/etc" ]; then mv "$usr/etc" "$stage/etc"; fi
# The programs the package must hold. Every ELF file is stripped and looked at for dependencies,
# and the maintainer scripts come from scripts/debian.
programs=(Karvel karvel-scalesim lumeq-preview lumeq-register karvel-read)
maintainer_scripts=(postinst postrm)
for program in "${programs[@]}"; do
    [ -x "$usr/bin/$program" ] || { say "the install has no usr/bin/$program"; exit 1; }
done
elves=()
for f in "$usr"/bin/* "$usr"/lib/karvel/*.so; do
    [ -f "$f" ] && [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '177ELF' ] && elves+=("$f")
done
strip --strip-unneeded --remove-section=.comment --remove-section=.note "${elves[@]}"
gzip -9n "$usr"/share/man/man1/*.1

# The control's registration, shipped as a file the package owns: what its self-registration
# writes for /usr/lib/karvel/libLumeq.so. Hosts read it after the user's and the machine's stores.
library=/usr/lib/karvel/libLumeq.so
shipped="$usr/share/karvel/components.d/lumeq.store"
KARVEL_COMPONENT_STORE="$work/registration/lumeq.store" \
    "$usr/bin/lumeq-register" "$stage$library" >"$work/register.log" 2>&1 || {
    cat "$work/register.log" >&2; say "the control cannot be registered"; exit 1; }
mkdir -p "$(dirname "$shipped")"
stage_pattern="$(printf '%s' "$stage" | sed 's/[][\\.*^$|]/\\&/g')"
sed -e "s|=$stage_pattern/|=/|g" \
    -e 's|^#.*|# The Lumeq control as the karvel package ships it; lumeq-register --system registers in /var/lib/karvel.|' \
    "$work/registration/lumeq.store" >"$shipped"
if grep -qF "$stage" "$shipped" || ! grep -qF "library=$library" "$shipped"; then
    cat "$shipped" >&2; say "the shipped registration does not name $library"; exit 1
fi
chmod 0644 "$shipped"

doc="$usr/share/doc/karvel"
rm -f "$doc/LICENSE"
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Karvel"
    echo
    echo "Files: *"
    echo "Copyright: 2026 the Karvel authors"
    echo "License: Expat"
    echo
    echo "License: Expat"
    sed -n '/^Permission is hereby granted/,$p' LICENSE | sed -e 's/^$/./' -e 's/^/ /'
} >"$doc/copyright"
date="$(date -R -u -d "@${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}")"
printf 'karvel (%s) unstable; urgency=medium\n\n  * Release %s.\n\n -- %s  %s\n' \
    "$version" "$version" "Karvel developers <karvel@example.org>" "$date" | gzip -9n >"$doc/changelog.gz"

# Dependencies from the binaries' own needs.
mkdir -p "$work/shlibs/debian"
printf 'Source: karvel\n\nPackage: karvel\nArchitecture: any\n' >"$work/shlibs/debian/control"
depends="$(cd "$work/shlibs" && dpkg-shlibdeps -O "${elves[@]/#/-e}" 2>"$work/shlibdeps.log" |
    sed -nE 's/^shlibs:Depends=//p')" || { cat "$work/shlibdeps.log" >&2; exit 1; }
[ -n "$depends" ] || { cat "$work/shlibdeps.log" >&2; say "no dependencies found"; exit 1; }

mkdir -p "$stage/DEBIAN"
cat >"$stage/DEBIAN/control" <<EOF
Package: karvel
Version: $version
Architecture: $arch
Maintainer: Karvel developers <karvel@example.org>
Installed-Size: $(du -sk "$usr" | cut -f1)
Depends: $depends
Recommends: fonts-dejavu-core, fonts-sawarabi-gothic
Section: utils
Priority: optional
Homepage: https://example.org/karvel
Description: desktop panel for a weighing scale on a serial port
 Karvel mirrors the front-panel display of a weighing scale connected to a
 serial port and sends the scale's keys. At start it tries COM1 to COM32 and
 keeps the first port on which the scale answers.
 .
 The package holds the panel, the Lumeq segment display control it draws
 with, karvel-read (the scale without a screen, printing readings and
 publishing them over MQTT, with a systemd unit per scale), a simulated scale
 on pseudo-terminals, a renderer of the control into
 PNG images and the control's registration tool.
 .
 The recommended fonts-sawarabi-gothic draws the full-width comma of the
 panel's status line, which DejaVu lacks.
EOF

for script in "${maintainer_scripts[@]}"; do
    install -m 0755 "scripts/debian/$script" "$stage/DEBIAN/$script"
done
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
chmod -R go-w "$stage"
# Settings under /etc are the administrator's: kept on upgrade.
if [ -d "$stage/etc" ]; then
    (cd "$stage" && find etc -type f -printf '/%p\n' | sort) >"$stage/DEBIAN/conffiles"
    chmod 0644 "$stage/DEBIAN/conffiles"
fi

deb="$output/karvel_${version}_${arch}.deb"
say "dpkg-deb --build -> $deb"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$deb"
