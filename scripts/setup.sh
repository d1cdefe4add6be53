#!/usr/bin/env bash
# Installs what this project needs to build, test and show its windows. Idempotent: installs only
# what is missing. Needs Debian (12 or later) and root or sudo.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev libgl-dev libudev-dev
    libacl1-dev acl  # access control lists in the trust check; setfacl for its tests
    qt6-charts-dev libqt6opengl6-dev  # the readings window's plot (Qt Charts needs Qt OpenGL's CMake files)
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-serialport-dev  # benchmarks only: the plain reader that mirror_bench compares against
    clang libclang-rt-dev clang-format
    fonts-dejavu-core xvfb xauth
    # The display read over the accessibility bus, as a screen reader reads it.
    dbus-x11 at-spi2-core python3-pyatspi
    # DejaVu has no full-width comma (U+FF0C) for the status line; this small font has it.
    fonts-sawarabi-gothic
    dpkg-dev lintian desktop-file-utils appstream man-db
    devscripts  # hardening-check, for the package test
    # karvel-read: the MQTT client library, and a broker and openssl for its tests
    libmosquitto-dev mosquitto openssl systemd
    # the TLS handshake's own reasons (an expired certificate, a broker without TLS)
    libssl-dev
    # spreadsheet export, and LibreOffice to check how a spreadsheet reads it
    libxlsxwriter-dev libreoffice-calc-nogui
    locales unzip  # a decimal-comma locale the spreadsheet tests write under; their XML read back
    # the pattern scale family's regular expressions
    libpcre2-dev
    # typing readings: XTEST and the virtual keyboard, and the X programs their tests type into
    libxtst-dev libevdev-dev x11-xkb-utils xterm
    # --check-sound's test: an X client that hears the bell (XKB in Xlib), and Qt's own connection
    libx11-dev libxcb1-dev
    # tickets through CUPS; a private cupsd with a PDF queue and pdftotext for their tests
    libcups2-dev cups cups-client printer-driver-cups-pdf poppler-utils
    # karvel-read --http: the server and WebSocket libraries, and a headless browser for its tests
    qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium
)

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

if ! locale -a 2>/dev/null | grep -ix 'de_DE\.utf-\?8' >/dev/null; then
    say "Generating the locale de_DE.UTF-8"
    $SUDO sed -i 's/^# *de_DE.UTF-8/de_DE.UTF-8/' /etc/locale.gen
    $SUDO locale-gen
fi
say "Done."
