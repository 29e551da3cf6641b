#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
# Runs unattended (CI has no standard input); needs root to install.
set -euo pipefail

packages=(
  cmake make g++ binutils            # compiler, nm
  g++-multilib                       # compile-only check of the 32-bit record layouts
  libgtest-dev libgmock-dev          # unit tests
  libbenchmark-dev                   # benchmarks
  nlohmann-json3-dev                 # stand-in host: scene files
  libcli11-dev                       # stand-in host: command line
  libpng-dev                         # stand-in host: preview images
  libncurses-dev                     # stand-in host: dialog in the terminal
  libeigen3-dev                      # tests only: independent maths oracle
  tmux                               # tests only: drive the terminal dialog
  clang libclang-rt-14-dev           # fuzzing: clang 14 and its libFuzzer/ASan/UBSan runtimes
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
  SUDO=(sudo -n)
else
  echo "setup: missing packages (${missing[*]}) and no root rights; install them and run again" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! "${SUDO[@]}" apt-get install -y --no-install-recommends "${missing[@]}" </dev/null; then
  "${SUDO[@]}" apt-get update </dev/null
  "${SUDO[@]}" apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
fi
