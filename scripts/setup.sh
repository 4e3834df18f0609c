#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Permscope need.
# Run as root, or as a user who may use sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config clang-format clang libclang-rt-14-dev
  qt6-base-dev qt6-qpa-plugins
  libldap-dev libsasl2-dev libsasl2-modules-gssapi-mit libkrb5-dev
  libacl1-dev acl libmount-dev
  libsmbclient-dev
  libxlsxwriter-dev
  googletest libgtest-dev libgmock-dev
  slapd ldap-utils
  samba smbclient
  # A FUSE file system stands in for mounted shares in the tests.
  libfuse3-dev
  # Samba's own client captures the descriptors the tests serve through it.
  python3-samba
  xvfb xauth x11-utils imagemagick fonts-liberation
  at-spi2-core dbus-x11 python3-pyatspi xdotool
  python3 python3-openpyxl
  # The window on a real Wayland compositor (weston, headless and nested in Xvfb), with Qt's
  # Wayland platform.
  weston qt6-wayland
  # The Debian package's checks: its lint, its menu entry and its AppStream metadata.
  lintian desktop-file-utils appstream
  # The tree walk's benchmark: account names for its folders' ACLs from files of its own (NSS).
  libnss-wrapper
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# Servers come along only as programs for the tests and the demo: they are started privately on
# 127.0.0.1 and never as system services.
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
