#!/usr/bin/env bash
# Installs what this project needs to build, test and show its windows. Idempotent: installs only
# what is missing. Needs Debian (12 or later) and root or sudo.
#
#   scripts/setup.sh         everything: building, running and testing
#   scripts/setup.sh --run   only what building the programs and showing the panel needs
set -euo pipefail

only_run=0
case "${1:-}" in
    "") ;;
    --run) only_run=1 ;;
    *)
        echo "usage: scripts/setup.sh [--run]" >&2
        exit 2
        ;;
esac

# What building the programs and showing the panel needs (scripts/run.sh installs only these).
RUN_PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev libgl-dev libudev-dev
    libacl1-dev  # access control lists in the trust check
    qt6-charts-dev libqt6opengl6-dev  # the readings window's plot (Qt Charts needs Qt OpenGL's CMake files)
    fonts-dejavu-core xvfb xauth
    # DejaVu has no full-width comma (U+FF0C) for the status line; this small font has it.
    fonts-sawarabi-gothic
    libmosquitto-dev libssl-dev      # karvel-read and the panel's MQTT, with TLS's own reasons
    libxlsxwriter-dev                # spreadsheet export
    libpcre2-dev                     # the pattern scale family's regular expressions
    libxtst-dev libevdev-dev         # typing readings: XTEST and the virtual keyboard
    libx11-dev libxcb1-dev           # the check's bell (XKB in Xlib), and Qt's own connection
    libcups2-dev                     # tickets through CUPS
    qt6-httpserver-dev qt6-websockets-dev  # karvel-read --http
    libsqlite3-dev libpq-dev         # the weighing record (its hashes through libssl-dev's libcrypto)
    libmodbus-dev                    # weight transmitters over Modbus RTU and TCP
)
# What the tests, benchmarks, fuzz targets and the package check need besides.
TEST_PACKAGES=(
    acl  # setfacl for the trust check's tests
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-serialport-dev  # benchmarks only: the plain reader that mirror_bench compares against
    clang libclang-rt-dev clang-format
    # The display read over the accessibility bus, as a screen reader reads it.
    dbus-x11 at-spi2-core python3-pyatspi
    dpkg-dev lintian desktop-file-utils appstream man-db
    devscripts  # hardening-check, for the package test
    mosquitto openssl systemd  # a broker and certificates for the MQTT tests
    libreoffice-calc-nogui  # how a spreadsheet reads an export
    locales unzip  # a decimal-comma locale the spreadsheet tests write under; their XML read back
    x11-xkb-utils xterm  # the X programs the typing tests type into
    # a private cupsd with a PDF queue and pdftotext for the ticket tests
    cups cups-client printer-driver-cups-pdf poppler-utils
    chromium chromium-driver python3-selenium  # a headless browser for the pages
    ser2net  # an RFC 2217 server in front of a pseudo-terminal, for the network wire tests
    postgresql  # initdb and pg_ctl for a cluster of the record's tests' own
)

PACKAGES=("${RUN_PACKAGES[@]}")
[ "$only_run" -eq 1 ] || PACKAGES+=("${TEST_PACKAGES[@]}")

say() { printf '[setup] %s\n' "$*"; }

if [ ! -r /etc/debian_version ] || ! command -v apt-get >/dev/null 2>&1; then
    say "This script installs Debian packages with apt-get, and this machine is not Debian."
    say "Install the equivalents of: ${PACKAGES[*]}"
    exit 1
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
        SUDO="sudo"
    else
        say "Installing packages needs root. Run as root, or install sudo."
        exit 1
    fi
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    say "All packages are installed."
else
    say "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The spreadsheet tests write under a decimal-comma locale.
if [ "$only_run" -eq 0 ] && ! locale -a 2>/dev/null | grep -ix 'de_DE\.utf-\?8' >/dev/null; then
    say "Generating the locale de_DE.UTF-8"
    $SUDO sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
    $SUDO locale-gen
fi
say "Done."
