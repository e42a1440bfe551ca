#!/usr/bin/env bash
# Installs what the build needs, builds the game and its data, and (with
# --test) runs every test.  --sanitize builds and tests with ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")"

packages=(build-essential cmake ninja-build pkg-config libgtest-dev nettle-dev
          zlib1g-dev libpng-dev libode-dev libsdl2-dev xvfb xauth)
run_tests=0
sanitize=0
for arg in "$@"; do
  case "$arg" in
    --test) run_tests=1 ;;
    --sanitize) sanitize=1 ;;
    *) echo "usage: $0 [--test] [--sanitize]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -o DPkg::Lock::Timeout=120
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=120 "${missing[@]}"
fi

if [ $sanitize -eq 1 ]; then
  dir=build-asan
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVK_SANITIZE=ON
else
  dir=build
  cmake -S . -B "$dir" -G Ninja
fi
ninja -C "$dir"

if [ $run_tests -eq 1 ]; then
  export ASAN_OPTIONS=detect_leaks=0
  ctest --test-dir "$dir" --output-on-failure -j2
fi
