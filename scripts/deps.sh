#!/usr/bin/env bash
# Makes sure the Debian packages the build and the tests need are present.
# As root it installs what is missing with apt-get; otherwise it names the missing packages
# and fails, so that no build starts half-equipped.
set -euo pipefail

packages=(cmake g++ ninja-build libgtest-dev libgmock-dev graphviz libabsl-dev libcli11-dev
  nlohmann-json3-dev libbenchmark-dev gnuplot-nox clang libclang-rt-14-dev libjudy-dev libtbb-dev
  valgrind)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing missing packages: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q "${missing[@]}" >/dev/null || {
    apt-get update -q >/dev/null && apt-get install -y -q "${missing[@]}" >/dev/null
  }
else
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
