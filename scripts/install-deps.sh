#!/usr/bin/env bash
# Installs what the build, the tests and the program need, and nothing else
# (Xvfb and openbox carry the scenarios that drive the real X server in CI).
# Idempotent: packages already present are not touched, and apt-get runs only
# when something is missing.
set -euo pipefail

packages=(
  build-essential cmake g++ clang clang-format pkg-config
  libsqlite3-dev sqlite3
  libpng-dev zlib1g-dev libjpeg62-turbo-dev libgif-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libx11-dev libxtst-dev
  xvfb openbox
  fonts-liberation libfreetype-dev
  poppler-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
