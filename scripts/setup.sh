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
  libssl-dev                         # stand-in host: SHA-256 of scenes, plug-ins and checkpoints (libcrypto)
  libncurses-dev                     # stand-in host: dialog in the terminal
  libeigen3-dev                      # tests only: independent maths oracle
  tmux                               # tests only: drive the terminal dialog
  clang libclang-rt-14-dev           # fuzzing: clang 14 and its libFuzzer/ASan/UBSan runtimes
  libcpp-httplib-dev pkgconf         # plmhost serve: the web server
  chromium                           # browser tests: headless, driven by playwright-core
)
# Node and npm for web/ (three.js, playwright-core); a Node from elsewhere
# that brings its own npm is kept.
if ! command -v npm >/dev/null 2>&1; then packages+=(nodejs npm); fi

# make test-farm only (scripts/setup.sh farm): a one-node Slurm cluster and GNU parallel.
if [ "${1:-}" = farm ]; then
  packages+=(slurm-wlm munge parallel python3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

# web/node_modules from the lock file, once per change of the lock file.
web_packages() {
  local web
  web="$(dirname "$0")/../web"
  if [ ! -f "$web/node_modules/.package-lock.json" ] || [ "$web/package-lock.json" -nt "$web/node_modules/.package-lock.json" ]; then
    echo "setup: npm ci in web/" >&2
    (cd "$web" && npm ci --no-audit --no-fund </dev/null >&2)
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  web_packages
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
web_packages
