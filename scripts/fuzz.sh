#!/usr/bin/env bash
# Runs every libFuzzer target of a configured clang build tree (-DORLIX_BUILD_FUZZ=ON): each
# target first runs its seed corpus (fuzz/corpus/<target>/), then fuzzes for SECONDS seconds,
# JOBS targets at a time. Working corpora and findings stay in the build tree
# (<build>/fuzz-run/<target>/), never in the source tree; working corpora are kept from run to
# run, findings of earlier runs are cleared.
#
# Prints one line per target: executions, final coverage (libFuzzer's "cov:" count), and
# findings: crash, leak, timeout and out-of-memory files, and mismatches (a target's check of
# a result failed). Exits non-zero when any target has a finding or did not run.
#
# Usage: scripts/fuzz.sh <configured clang build dir> [seconds=30] [jobs=2]
set -u
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ $# -lt 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
    echo "usage: $0 <configured clang build dir with ORLIX_BUILD_FUZZ=ON> [seconds=30] [jobs=2]" >&2
    exit 2
fi
BUILD="$(cd "$1" && pwd)"
SECONDS_PER_TARGET="${2:-30}"
JOBS="${3:-2}"
LIST="$BUILD/fuzz/fuzzers.txt"
if [ ! -f "$LIST" ]; then
    echo "fuzz.sh: $BUILD has no fuzz targets (configure it with clang and -DORLIX_BUILD_FUZZ=ON)" >&2
    exit 2
fi

mapfile -t targets < <(awk 'NF { print $1 }' "$LIST")
echo "== building ${#targets[@]} fuzz targets"
if ! cmake --build "$BUILD" --target "${targets[@]}" -j "$ORLIX_JOBS" >"$BUILD/fuzz-build.log" 2>&1; then
    tail -40 "$BUILD/fuzz-build.log"
    echo "fuzz.sh: build FAILED (log: $BUILD/fuzz-build.log)" >&2
    exit 1
fi

RUN="$BUILD/fuzz-run"
mkdir -p "$RUN"

# run_target <name> <max_len> <executable> <seed corpus>
run_target() {
    local name="$1" maxlen="$2" exe="$3" seed="$4"
    local dir="$RUN/$name"
    mkdir -p "$dir/corpus"
    rm -rf "$dir/findings"
    mkdir -p "$dir/findings"
    local seeds=()
    [ -d "$seed" ] && seeds=("$seed")
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" \
        "$exe" -max_total_time="$SECONDS_PER_TARGET" -max_len="$maxlen" -timeout=60 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$dir/findings/" \
        "$dir/corpus" "${seeds[@]}" >"$dir/log" 2>&1
    echo $? >"$dir/rc"
}

echo "== fuzzing: ${SECONDS_PER_TARGET}s per target, $JOBS at a time (logs: $RUN/<target>/log)"
running=0
while read -r name maxlen exe seed; do
    [ -n "$name" ] || continue
    run_target "$name" "$maxlen" "$exe" "$seed" &
    running=$((running + 1))
    if [ "$running" -ge "$JOBS" ]; then
        wait -n
        running=$((running - 1))
    fi
done <"$LIST"
wait

status=0
printf '\n%-22s %12s %8s  %s\n' target execs cov findings
while read -r name maxlen exe seed; do
    [ -n "$name" ] || continue
    dir="$RUN/$name"
    log="$dir/log"
    execs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -1 | awk '{ print $2 }')"
    # A failed check aborts, so its input is saved as a crash file too: counted as a mismatch.
    findings=()
    mismatches=$(grep -c '^orlix-fuzz mismatch:' "$log")
    for kind in crash leak timeout oom; do
        n=$(find "$dir/findings" -maxdepth 1 -name "$kind-*" | wc -l)
        [ "$kind" = crash ] && n=$((n > mismatches ? n - mismatches : 0))
        [ "$n" -gt 0 ] && findings+=("$n $kind")
    done
    [ "$mismatches" -gt 0 ] && findings+=("$mismatches mismatch")
    rc="$(cat "$dir/rc" 2>/dev/null || echo '?')"
    if [ "${#findings[@]}" -eq 0 ] && [ "$rc" != 0 ]; then
        findings+=("exit status $rc")
    fi
    if [ "${#findings[@]}" -gt 0 ]; then
        status=1
        text="$(IFS=,; echo "${findings[*]}") (see $dir)"
    else
        text="none"
    fi
    printf '%-22s %12s %8s  %s\n' "$name" "${execs:-?}" "${cov:-?}" "$text"
done <"$LIST"
exit $status
