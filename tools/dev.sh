#!/usr/bin/env bash
# One entry point for a fresh Debian machine:
#   tools/dev.sh test   install what is missing, build with sanitizers, run every test
#   tools/dev.sh run [--no-sim] [args]  install what is missing, build the program and start it
#                       with a simulated drive on COM1 (tools/run-with-sim.sh)
# Other verbs: deps (only install), build [preset], tsan (kernel/comm tests under ThreadSanitizer),
#   format (apply .clang-format to every tracked C++ file), format-check,
#   fuzz (replay and briefly fuzz every libFuzzer target, one per core; VO_FUZZ_SECONDS each)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

packages=(build-essential cmake ninja-build ccache pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libgl-dev libjpeg-dev
          clang libclang-rt-14-dev
          rapidjson-dev nlohmann-json3-dev lua5.4 ghostscript clang-format
          qt6-qpa-plugins xvfb)

deps() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

jobs=$(nproc)
export CCACHE_BASEDIR="$root"
export CCACHE_NOHASHDIR=1
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}

configure() { cmake --preset "$1" >/dev/null; }
build() { configure "$1"; cmake --build --preset "$1" -j "$jobs" "${@:2}"; }

# The libFuzzer targets (fuzz preset, clang): replay each seed corpus, then
# fuzz each target for a bounded time (VO_FUZZ_SECONDS, default 20) on a
# scratch copy, so the tree's corpus stays as committed. Targets run side by
# side, one per core; each one's output is shown when it ends.
fuzz_one() {
  local exe=$1 secs=$2 name corpus scratch extra=()
  name=${exe##*/fuzz_}
  corpus=tests/fuzz/corpus/$name
  [ -f "tests/fuzz/$name.dict" ] && extra=(-dict="tests/fuzz/$name.dict")
  scratch=$(mktemp -d)
  {
    if "$exe" -runs=0 -artifact_prefix="$scratch/" "$corpus" >"$scratch.log" 2>&1 \
      && "$exe" -max_total_time="$secs" -timeout=10 -max_len=4096 -rss_limit_mb=2048 \
           -artifact_prefix="$scratch/" "${extra[@]}" "$scratch" "$corpus" >>"$scratch.log" 2>&1; then
      echo "fuzz: $name: seed corpus replayed, fuzzed for ${secs}s"
      tail -n 1 "$scratch.log"
      rm -rf "$scratch" "$scratch.log"
    else
      echo "fuzz: $name:"
      tail -n 40 "$scratch.log"
      echo "fuzz: $name failed; the failing input is in $scratch" >&2
      return 1
    fi
  }
}

fuzz() {
  build fuzz --target fuzz
  local secs=${VO_FUZZ_SECONDS:-20} exe failed=0 running=0
  for exe in build/fuzz/tests/fuzz/fuzz_*; do
    [ -x "$exe" ] || continue
    if [ "$running" -ge "$jobs" ]; then
      wait -n || failed=1
      running=$((running - 1))
    fi
    fuzz_one "$exe" "$secs" &
    running=$((running + 1))
  done
  while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
  done
  return "$failed"
}

# Every C++ file the project tracks, in the one code style of .clang-format.
sources() { git ls-files -z '*.cpp' '*.h' 2>/dev/null; }
format_check() {
  if ! sources | xargs -0 clang-format --dry-run --Werror >/dev/null 2>&1; then
    sources | xargs -0 clang-format --dry-run 2>&1 | grep -E '^[^ ].*: (warning|error)' | cut -d: -f1 | sort -u | head -20 >&2
    echo "format: these files differ from .clang-format; run: tools/dev.sh format" >&2
    return 1
  fi
}

case "${1:-test}" in
  deps) deps ;;
  format) deps; sources | xargs -0 clang-format -i ;;
  format-check) deps; format_check ;;
  build) deps; build "${2:-ci}" ;;
  fuzz) deps; fuzz ;;
  test)
    deps
    format_check
    build ci --target all bench
    ctest --preset ci -j "$jobs"
    fuzz
    ;;
  tsan)
    deps
    build tsan
    ctest --preset tsan -j "$jobs" -L 'kernel|comm'
    ;;
  run)
    deps
    build release --target velkor-ovra drivesim-cli
    exec tools/run-with-sim.sh build/release "${@:2}"
    ;;
  *) echo "usage: tools/dev.sh test|run|deps|build [preset]|tsan|format|format-check|fuzz" >&2; exit 2 ;;
esac
