#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 The Morvel developers

# Installs the Debian 12 packages Morvel needs to build, run and test, when missing.
set -euo pipefail

packages=(
  g++ cmake make clang clang-tidy clang-format libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-charts-dev libqt6opengl6-dev  # the window's charts (Qt Charts needs the OpenGL module's CMake files)
  libbenchmark-dev
  libssl-dev  # the crypto workload's AES-GCM and SHA-256 (libcrypto)
  zlib1g-dev libzstd-dev pkgconf  # the compression workload's libraries, found by pkg-config
  libopenblas-dev  # the matrix workload's multiplication (cblas_dgemm)
  xvfb xauth xdotool wmctrl openbox x11-utils imagemagick fonts-liberation
  desktop-file-utils appstream file
  dpkg-dev lintian man-db scdoc bash-completion librsvg2-bin qt6-wayland weston
  prometheus prometheus-node-exporter  # promtool and a node exporter for the metrics tests
  dbus-daemon python3-dbusmock  # a private bus and a mock logind for the sleep inhibitor's test
  stress-ng  # load beside the suite, to show it passes on a busy machine
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

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
