#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, and the
# German locale (with the C library's German messages, from libc-l10n) that
# the tests of texts in the user's language use. Runs apt-get only when
# something is missing, and only as root; otherwise it names what is missing.
set -euo pipefail

packages=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          binutils-mingw-w64-x86-64 clang libclang-rt-14-dev locales libc-l10n libdw-dev
          # the dialog modules (GTK, ncurses, CUPS) and the tools that drive
          # them in the tests: an X server, xdotool, tmux, PDF to text
          libgtk-3-dev libncurses-dev libcups2-dev adwaita-icon-theme librsvg2-common
          fonts-dejavu-core xvfb xdotool tmux poppler-utils
          # the Debian packages: dpkg-shlibdeps and dpkg-architecture, and
          # file, with which CPack finds the binaries
          dpkg-dev file
          # the journal: journald for the tests, journal-upload and -remote for
          # scripts/fleet-demo.sh, jq to show what arrived
          systemd systemd-journal-remote jq)

german_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8' && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "note: locale de_DE.UTF-8 missing (run this script as root to generate it); German texts are not tested" >&2
    return 0
  fi
  localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  german_locale
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run this script as root to install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
german_locale
