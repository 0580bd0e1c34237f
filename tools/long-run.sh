#!/usr/bin/env bash
# Runs one test program of a finished build for as long as it takes, outside
# CTest's time-out, with the environment CTest gives it: a fuzzing campaign
# or the long soak. Options after the name go to the test program.
#
#   PIMBO_SOAK_SECONDS=3600 tools/long-run.sh test_soak
#   PIMBO_FUZZ_SEED=7 PIMBO_FUZZ_COUNT=100000 tools/long-run.sh test_wav_fuzz
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$root" && realpath "${PIMBO_BUILD_DIR:-build}")
name=${1:?usage: tools/long-run.sh TEST_NAME [test options]}
shift
[ -f "$build/tests/$name.exe" ] || { echo "$build/tests/$name.exe not built" >&2; exit 2; }
alsa=/dev/null
if head -1 "$root/tests/$name.cpp" | grep -q '^// ctest:.*sound'; then
    alsa=$root/tests/alsa/one-device.conf
fi
export ALSA_CONFIG_PATH=$alsa PIMBO_SCR=$build/Pimbo95.scr PIMBO_SOURCE_DIR=$root PIMBO_BINARY_DIR=$build
cd "$build/tests"
exec "$root/tools/with-wine.sh" wine64 "./$name.exe" "$@"
