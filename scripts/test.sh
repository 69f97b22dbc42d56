#!/usr/bin/env bash
# Builds everything and runs every test, C++ and Python.
#   bash scripts/test.sh              # what CI runs
#   WAYLOOM_SANITIZE=0 bash scripts/test.sh   # without the ASan/UBSan runs
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" != 0 ] && command -v sudo >/dev/null; then SUDO=sudo; fi
need_apt=()
[ -f /usr/include/gtest/gtest.h ] || need_apt+=(libgtest-dev)
command -v ninja >/dev/null || need_apt+=(ninja-build)
# The other compilers the engine must build with: Clang, and MinGW-w64 for
# Windows (without recommends: compilers are all the steps need).
command -v clang++ >/dev/null || need_apt+=(clang)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need_apt+=(g++-mingw-w64-x86-64-posix)
if [ ${#need_apt[@]} -gt 0 ]; then
  echo "== installing ${need_apt[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${need_apt[@]}" >/dev/null
fi

# The HTML player is tested in the system's Chromium (playwright never downloads
# a browser); without one those tests skip and say why.
if ! command -v chromium >/dev/null && ! command -v chromium-browser >/dev/null; then
  echo "== installing chromium"
  { $SUDO apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq chromium >/dev/null; } ||
    echo "== chromium could not be installed; the browser tests will be skipped"
fi

# Wine runs the Windows build of the C++ tests; without it they are built only.
if ! command -v wine >/dev/null; then
  echo "== installing wine"
  { $SUDO apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
      wine wine64 >/dev/null; } ||
    echo "== wine could not be installed; the Windows tests will be built, not run"
fi

echo "== installing wayloom with its test, lint and docs extras (warnings are errors)"
python3 -m pip install -q --disable-pip-version-check -Ccmake.define.WAYLOOM_WERROR=ON \
  ".[test,lint,docs]"

echo "== lint"
bash scripts/lint.sh

echo "== C++ engine tests"
cmake -S . -B build/cpp-tests -G Ninja -DWAYLOOM_BUILD_MODULE=OFF -DWAYLOOM_BUILD_TESTS=ON \
  -DWAYLOOM_WERROR=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/cpp-tests
ctest --test-dir build/cpp-tests --output-on-failure -j2

echo "== documentation site (every example runs; the browser checks in the Python tests)"
bash scripts/docs.sh

echo "== Clang: the extensions and the C++ engine tests (warnings are errors)"
cmake -S . -B build/clang -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DWAYLOOM_BUILD_MODULE=ON \
  -DWAYLOOM_BUILD_TESTS=ON -DWAYLOOM_WERROR=ON -DCMAKE_BUILD_TYPE=Release \
  -DPython_EXECUTABLE="$(command -v python3)" >/dev/null
cmake --build build/clang
ctest --test-dir build/clang --output-on-failure -j2
# The modules of a build directory laid out as an installed package would be.
site_of() {
  rm -rf "$1/site" && mkdir -p "$1/site"
  cp -r python/wayloom "$1/site/"
  cp "$1"/wayloom_native*.so "$1/site/"
  cp "$1"/_engine*.so "$1/site/wayloom/"
}
site_of build/clang
echo "== Python tests of the binding against the Clang build"
PYTHONPATH=build/clang/site python3 -m pytest -q -p no:cacheprovider -k "not ctrl_c" \
  tests/python/test_binding.py tests/python/test_errors.py tests/python/test_bounds.py \
  tests/python/test_paths.py

# Windows: the engine tests cross-compiled with MinGW-w64 (GoogleTest built
# from its sources alongside) and run under Wine. WAYLOOM_SCALAR_LANES takes
# the code path MSVC builds use where GCC and Clang have vector types.
echo "== Windows (MinGW-w64): the C++ engine tests, run under Wine"
cmake -S . -B build/mingw -G Ninja --toolchain cmake/mingw-w64.cmake -Wno-deprecated \
  -DWAYLOOM_BUILD_MODULE=OFF -DWAYLOOM_BUILD_TESTS=ON -DWAYLOOM_WERROR=ON \
  -DWAYLOOM_GTEST_SOURCE=/usr/src/googletest -DCMAKE_CXX_FLAGS=-DWAYLOOM_SCALAR_LANES \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/mingw
export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if command -v wine >/dev/null &&
  timeout 120 wine build/mingw/test_random.exe --gtest_list_tests >/dev/null 2>&1; then
  ctest --test-dir build/mingw --output-on-failure --timeout 120
else
  echo "== Wine cannot run programs on this machine: the Windows tests are built, not run"
fi

echo "== Python tests (against the installed package)"
python3 -m pytest tests/python -q -p no:cacheprovider

# networkx's own shortest-path and BFS tests with every graph converted to
# the installed backend; what it does not serve falls back to networkx. Run
# from outside the tree so the installed package, not python/, is imported.
echo "== networkx's tests through the wayloom backend"
(cd / && NETWORKX_TEST_BACKEND=wayloom NETWORKX_FALLBACK_TO_NX=True \
  python3 -m pytest --pyargs networkx.algorithms.shortest_paths \
  networkx.algorithms.traversal.tests.test_bfs -q -p no:cacheprovider)

if [ "${WAYLOOM_SANITIZE:-1}" != 0 ]; then
  # The extension and the C++ tests built with AddressSanitizer and
  # UndefinedBehaviorSanitizer; the Python suite runs against that extension
  # with the sanitizer runtimes preloaded into the interpreter. CPython frees
  # not everything at exit, so leak detection stays off (the leak tests cover
  # references and heap growth instead). Left out: the Ctrl-C tests (their
  # child interpreter, with the runtimes preloaded too, does not stop within
  # their time), the peak-memory checks of runaway searches (the sanitizer's
  # shadow memory is not the call's), process pools (a child forked from the
  # threaded, sanitized interpreter can deadlock in the sanitizer's allocator),
  # the browser tests (Chromium would inherit the preloaded runtimes; the
  # page has no native code to check), and the site's tests (Sphinx alone).
  echo "== C++ and Python tests under AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build/asan -G Ninja -DWAYLOOM_BUILD_MODULE=ON -DWAYLOOM_BUILD_TESTS=ON \
    -DWAYLOOM_SANITIZE=ON -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g" \
    -DPython_EXECUTABLE="$(command -v python3)" >/dev/null
  cmake --build build/asan
  ctest --test-dir build/asan --output-on-failure -j2
  site_of build/asan
  LD_PRELOAD="$(g++ -print-file-name=libasan.so):$(g++ -print-file-name=libubsan.so)" \
    ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONPATH="build/asan/site" \
    python3 -m pytest tests/python -q -p no:cacheprovider -k "not ctrl_c and not runaway and not processes" \
    --ignore=tests/python/test_html.py --ignore=tests/python/test_site.py \
    --ignore=tests/python/test_docs_build.py
fi
