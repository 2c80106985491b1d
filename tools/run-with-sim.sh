#!/usr/bin/env bash
# Runs velkor-ovra with a simulated drive on COM1:
#   tools/run-with-sim.sh BUILD_DIR [--no-sim] [program arguments...]
# starts "drivesim --pty --quiet" (the VX-41 drive of data/drivesim), reads the
# pseudo-terminal's path from its first line, starts the program with
# -COMPORTS:COM1=<path> and the arguments, and ends the simulator by its pid
# when the program ends or a signal arrives. The program's exit code is passed
# on. Without a display (DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM) it says
# so and exits with 2.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: tools/run-with-sim.sh BUILD_DIR [--no-sim] [args...]}
shift
sim=1
if [ "${1:-}" = "--no-sim" ]; then
  sim=0
  shift
fi

exe="$build/velkor-ovra"
simexe="$build/tools/drivesim/drivesim"
[ -x "$exe" ] || { echo "run-with-sim: $exe is missing; build it first" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run-with-sim: no display (DISPLAY and WAYLAND_DISPLAY are not set); run it in a desktop session or under xvfb-run" >&2
  exit 2
fi

simpid=""
fifo=""
cleanup() {
  if [ -n "$simpid" ] && kill -0 "$simpid" 2>/dev/null; then
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
  fi
  [ -n "$fifo" ] && rm -f "$fifo"
  simpid=""
}
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM

args=()
if [ "$sim" = 1 ]; then
  [ -x "$simexe" ] || { echo "run-with-sim: $simexe is missing; build it first" >&2; exit 1; }
  fifo=$(mktemp -u "${TMPDIR:-/tmp}/drivesim.XXXXXX")
  mkfifo "$fifo"
  "$simexe" --pty --quiet --drive "$root/data/drivesim/vx41.drive" >"$fifo" &
  simpid=$!
  pty=""
  if ! read -r -t 10 pty <"$fifo" || [ -z "$pty" ]; then
    echo "run-with-sim: the simulator did not report its pseudo-terminal" >&2
    exit 1
  fi
  echo "run-with-sim: simulated drive (VX-41) on COM1 = $pty" >&2
  args+=("-COMPORTS:COM1=$pty")
fi

set +e
"$exe" "${args[@]}" "$@"
rc=$?
set -e
exit "$rc"
