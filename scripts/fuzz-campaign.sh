#!/usr/bin/env bash
# The long fuzz runs: each named fuzz target (every target of the program and the directory server
# when none is named) runs OVELA_FUZZ_RUNS inputs (ten million unless set) in one run under
# AddressSanitizer and UndefinedBehaviorSanitizer, from the checked-in seeds and the corpus it
# grew before, one target after another. scripts/test.sh builds the targets (build-fuzz); another
# build folder can be named with OVELA_FUZZ_BUILD.
#
#   scripts/fuzz-campaign.sh fuzz_app_directory fuzz_app_chat_line
#
# Each run's output is in <build>/campaign/<target>.log, a line per run in
# <build>/campaign/summary.txt, and a finding in <build>/campaign/ (crash-*, timeout-*, ...),
# which the target reruns when given it as its only argument. With OVELA_FUZZ_JOBS=N the run is
# shared by N processes (libFuzzer's fork mode), which still count to OVELA_FUZZ_RUNS together.
set -u
cd "$(dirname "$0")/.."
build=${OVELA_FUZZ_BUILD:-build-fuzz}
runs=${OVELA_FUZZ_RUNS:-10000000}
jobs=${OVELA_FUZZ_JOBS:-1}
fork=()
[ "$jobs" -gt 1 ] && fork=(-fork="$jobs")
out=$build/campaign
mkdir -p "$out"
if [ $# -eq 0 ]; then
  set -- $(cd "$build/bin" && ls fuzz_app_* fuzz_server_* 2>/dev/null)
fi
# The allocation stack of every block is not recorded (a finding is rerun with the defaults to
# see it): recording it is a fifth of the time of most inputs. An input may take half an hour
# before it counts as hanging, so that a run paused for a while is not taken for a hang.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}
export QT_QPA_PLATFORM=offscreen
status=0
for target in "$@"; do
  # An absolute path: in fork mode libFuzzer starts the processes by it, and some targets change
  # their working folder.
  binary=$(realpath -m "$build/bin/$target")
  [ -x "$binary" ] || { echo "no target $binary" >&2; status=2; continue; }
  corpus=$build/corpus/$target
  mkdir -p "$corpus"
  seeds=()
  for d in fuzz/*/corpus/"$target"; do [ -d "$d" ] && seeds+=("$d"); done
  log=$out/$target.log
  echo "$(date '+%F %T') $target: $runs inputs in $jobs process(es)" | tee -a "$out/summary.txt"
  "$binary" "${fork[@]}" -runs="$runs" -timeout=1800 -print_final_stats=1 \
    -artifact_prefix="$PWD/$out/" "$corpus" "${seeds[@]}" >"$log" 2>&1
  code=$?
  # One process prints its count at the end; in fork mode the progress lines have the total (the
  # parent's own count at the end is 0).
  done_runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+|^#[0-9]+:|fuzzed for [0-9]+ ' \
    "$log" | grep -oE '[0-9]+' | sort -n | tail -1)
  echo "$(date '+%F %T') $target: exit $code after ${done_runs:-?} inputs" | tee -a "$out/summary.txt"
  [ $code -eq 0 ] || status=1
done
exit $status
