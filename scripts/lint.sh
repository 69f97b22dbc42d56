#!/usr/bin/env bash
# Style and type checks (part of scripts/test.sh; needs the "lint" extra and
# the package installed): ruff lint and format, mypy on the companion package
# and (strict) on a user's script,
# stubtest of the extensions' stubs (public and private) against the built
# modules, clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 -m ruff check python tests bench scripts docs
python3 -m ruff format --check python tests bench scripts docs
python3 -m mypy
python3 -m mypy --strict tests/typing  # what users' scripts see
python3 -m mypy.stubtest wayloom_native wayloom._engine
# The formatter from the pinned wheel, not whatever version the system has.
clang_format=$(python3 -c 'import clang_format; print(clang_format.get_executable("clang-format"))')
git ls-files '*.hpp' '*.cpp' | xargs "$clang_format" --dry-run --Werror
echo "lint: clean"
