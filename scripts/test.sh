#!/usr/bin/env bash
# Builds everything and runs every test, C++ and Python.
#   bash scripts/test.sh              # what CI runs
#   WAYLOOM_SANITIZE=1 bash scripts/test.sh   # also the ASan/UBSan engine tests
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ] && command -v sudo >/dev/null; then SUDO=sudo; fi
need_apt=()
[ -f /usr/include/gtest/gtest.h ] || need_apt+=(libgtest-dev)
command -v ninja >/dev/null || need_apt+=(ninja-build)
if [ ${#need_apt[@]} -gt 0 ]; then
  echo "== installing ${need_apt[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need_apt[@]}" >/dev/null
fi

# The HTML player is tested in the system's Chromium (playwright never downloads
# a browser); without one those tests skip and say why.
if ! command -v chromium >/dev/null && ! command -v chromium-browser >/dev/null; then
  echo "== installing chromium"
  { $SUDO apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq chromium >/dev/null; } ||
    echo "== chromium could not be installed; the browser tests will be skipped"
fi

echo "== installing wayloom with its test extras"
python3 -m pip install -q --disable-pip-version-check ".[test]"

echo "== C++ engine tests"
cmake -S . -B build/cpp-tests -G Ninja -DWAYLOOM_BUILD_MODULE=OFF -DWAYLOOM_BUILD_TESTS=ON \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/cpp-tests
ctest --test-dir build/cpp-tests --output-on-failure -j2

if [ "${WAYLOOM_SANITIZE:-1}" != 0 ]; then
  echo "== C++ engine tests under AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build/cpp-asan -G Ninja -DWAYLOOM_BUILD_MODULE=OFF -DWAYLOOM_BUILD_TESTS=ON \
    -DWAYLOOM_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build/cpp-asan
  ctest --test-dir build/cpp-asan --output-on-failure -j2
fi

echo "== Python tests (against the installed package)"
python3 -m pytest tests/python -q -p no:cacheprovider
