#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; builds the Debian packages as
# Debian builds them and checks them (scripts/check-package.sh); then builds the core tests with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs them too; then, with clang,
# builds the libFuzzer harnesses and runs each for a few seconds.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh test

jobs=$(nproc 2>/dev/null || echo 2)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON

cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUARVEL_WERROR=$werror
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
# The Debian packages of the same sources (dpkg-buildpackage, without running the tests
# again): their files, dependencies, hardening and lintian, then installed, run and
# purged again.
./scripts/check-package.sh

cmake -G Ninja -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUARVEL_WERROR=$werror \
  -DQUARVEL_SANITIZE=ON -DQUARVEL_CORE_ONLY=ON -DQUARVEL_BENCH=OFF
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# Any crash, sanitizer report or broken invariant fails the run; the scratch folder
# with the input and the log stays for a look.
if command -v clang++ >/dev/null 2>&1; then
  fuzz_work=$(mktemp -d /tmp/quarvel-fuzz.XXXXXX)
  FUZZ_WORK=$fuzz_work ./scripts/fuzz.sh 5
  rm -rf "$fuzz_work"
fi
