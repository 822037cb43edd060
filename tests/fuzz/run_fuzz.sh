#!/bin/bash
# Runs one fuzz target for a bounded time over its seeds and prints one line:
#   NAME: N executions in S s, cov C, ft F, corpus K, ok
#   NAME: FAILED (what libFuzzer or the sanitizer reported), input saved as PATH
#   tests/fuzz/run_fuzz.sh EXE SECONDS|smoke MAX_LEN CORPUS_DIR [SEED_DIR...]
# TAVIRO_FUZZ_RUNS=N stops after N executions instead (SECONDS still bounds the time).
# New inputs go into CORPUS_DIR (kept between runs); a failing input into CORPUS_DIR/../crashes.
# Exits non-zero on any crash, hang, leak, memory blow-up or sanitizer report.
set -uo pipefail
exe=$1 seconds=$2 maxLen=$3 corpus=$4
shift 4
name=$(basename "$exe")
[ "$seconds" = smoke ] && seconds=${TAVIRO_FUZZ_SMOKE_SECONDS:-4}
crashes=$(dirname "$corpus")/crashes
mkdir -p "$corpus" "$crashes"
dirs=()
for d in "$@"; do [ -d "$d" ] && [ -n "$(ls -A "$d")" ] && dirs+=("$d"); done
log=$(dirname "$corpus")/$name.log
# A hang is an input that takes more than 10 s; memory is bounded at 2 GiB for the process and
# 512 MiB for any one allocation, far above what a reader of these small inputs may take.
runs=()
[ -n "${TAVIRO_FUZZ_RUNS:-}" ] && runs=(-runs="$TAVIRO_FUZZ_RUNS")
nice -n 5 "$exe" "$corpus" "${dirs[@]}" "${runs[@]}" -max_total_time="$seconds" -max_len="$maxLen" \
    -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 \
    -artifact_prefix="$crashes/$name-" >"$log" 2>&1
rc=$?
execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
secs=$(sed -n 's/^stat::.*//;s/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
# libFuzzer's last status line: edges covered (cov), features (ft) and corpus entries (corp).
cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1 |
      sed -E 's/cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+)/cov \1, ft \2, corpus \3/')
if [ $rc -eq 0 ] && grep -q '^Done [0-9]* runs' "$log"; then
    echo "$name: ${execs:-?} executions in ${secs:-$seconds} s${cov:+, $cov}, ok"
    exit 0
fi
what=$(grep -m1 -oE '(ERROR|WARNING): (libFuzzer|AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)[^(]*|runtime error: .*|==[0-9]+== ?ERROR: .*' "$log" |
       head -1)
input=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$log" | tail -1)
echo "$name: FAILED (${what:-exit $rc}) after ${execs:-?} executions${input:+, input saved as $input}; log $log"
exit 1
