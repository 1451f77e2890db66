#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ (or $FUZZ_BUILD_DIR) and
# runs each for $FUZZ_SECONDS (default 60) from its seed corpus. A crash, a hang, a leak or a
# sanitizer report fails the run; the input that caused it is left in the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
build_dir="$(realpath -m "${FUZZ_BUILD_DIR:-build-fuzz}")"
seconds="${FUZZ_SECONDS:-60}"

cmake -S fuzz -B "$build_dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" -j"$(nproc)"

# target:corpus folder:longest input
targets=(
    "packetreader_fuzz:fuzz/corpus/packetreader:8192"
    "settings_fuzz:fuzz/corpus/settings:4096"
)
for entry in "${targets[@]}"; do
    IFS=: read -r target seeds max_len <<<"$entry"
    # New inputs go to a scratch folder so the seed corpus in the repository stays as it is.
    work="$build_dir/corpus-$target"
    mkdir -p "$work"
    echo "fuzz: $target for ${seconds}s"
    # Crash inputs are written to the current folder: keep them in the build folder.
    (cd "$build_dir" &&
        "./$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=1 \
            "$work" "$root/$seeds" 2>"$target.log") || {
        tail -n 60 "$build_dir/$target.log"
        echo "fuzz: $target FAILED (log: $build_dir/$target.log)"
        exit 1
    }
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|Done)' \
        "$build_dir/$target.log" || true
done
echo "fuzz: all targets passed"
