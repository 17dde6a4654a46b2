#!/usr/bin/env bash
# The whole check of the tree, cheapest first: the format check, a normal build with
# warnings as errors and clang-tidy, the tests in that build and the outbound benchmark's
# smoke run, then the tests again under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/) and under ThreadSanitizer (build-tsan/). Prints the time each stage took.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

stage_start=$SECONDS
stage() {
  echo "== $1"
  stage_start=$SECONDS
}
stage_done() {
  echo "   ($((SECONDS - stage_start)) s)"
}

stage "Install dependencies"
bash scripts/install-deps.sh
stage_done

stage "Format check"
bash scripts/check-format.sh
stage_done

# configure_and_build DIR BUILD_TYPE CMAKE_OPTION...: one build directory, warnings as errors.
configure_and_build() {
  local dir=$1 type=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DQUILLET_WERROR=ON \
    "${launcher[@]}" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

stage "Normal build"
configure_and_build build RelWithDebInfo
stage_done

stage "clang-tidy"
bash scripts/check-tidy.sh build
stage_done

stage "Tests (normal build)"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 300
stage_done

stage "Outbound delivery benchmark (smoke)"
BUILD_DIR=build bash scripts/bench-smtp.sh --smoke
stage_done

stage "AddressSanitizer and UndefinedBehaviorSanitizer build"
configure_and_build build-asan Debug -DQUILLET_SANITIZE=ON
stage_done

stage "Tests (AddressSanitizer and UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600
stage_done

stage "ThreadSanitizer build"
configure_and_build build-tsan Debug -DQUILLET_TSAN=ON
stage_done

# The runnel processes the tests start inherit TSAN_OPTIONS: a race in one ends it with
# TSan's exit code, which fails the test that waits for its exit.
stage "Tests (ThreadSanitizer)"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 900
stage_done

echo "== All checks passed in $((SECONDS / 60)) min $((SECONDS % 60)) s"
