#!/bin/sh
# ctest's run of one fuzz target: its seed corpus, then ORLIX_FUZZ_SECONDS seconds of fuzzing
# (2 when unset). New inputs go to the working corpus in the build tree, findings beside it.
# Usage: ctest-run.sh <target> <max_len> <working corpus> <seed corpus>
exe="$1" maxlen="$2" work="$3" seed="$4"
mkdir -p "$work" || exit 1
if [ -d "$seed" ]; then
    set -- "$work" "$seed"
else
    set -- "$work"
fi
exec "$exe" -max_total_time="${ORLIX_FUZZ_SECONDS:-2}" -max_len="$maxlen" -seed=1 -timeout=60 \
    -print_final_stats=1 -artifact_prefix="$work.finding-" "$@"
