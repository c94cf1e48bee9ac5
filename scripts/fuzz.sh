#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz/ and runs each on its corpus for a while.
#   scripts/fuzz.sh [SECONDS-PER-TARGET] [TARGET...]     (default: 15 seconds, every target)
# Kept crash inputs (tests/fuzz/regressions/<target>/) are replayed first and must pass. New
# corpus entries go to build-fuzz/corpus/<target>/ (kept between runs), crash inputs to
# build-fuzz/artifacts/, the logs to build-fuzz/logs/ (or $BREVIO_FUZZ_LOGS). Ends with a line per
# target: executions and coverage.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

seconds=${1:-15}
[ $# -gt 0 ] && shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(header_block encoded_words address date pop3_reply imap_response ini_file language_file form_lines
           header_cache)
fi

brevio_install_packages "${BREVIO_PACKAGES[@]}" "${BREVIO_CHECK_PACKAGES[@]}"
fuzz_build="$BREVIO_ROOT/build-fuzz"
brevio_build_variant "$fuzz_build" -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_TESTING=OFF -DBREVIO_FUZZ=ON \
  -- "${targets[@]/#/fuzz_}"

# The runs read no display and must not pick up the user's settings.
export QT_QPA_PLATFORM=offscreen
logs=${BREVIO_FUZZ_LOGS:-$fuzz_build/logs}
mkdir -p "$fuzz_build/artifacts" "$logs"
summary=()
status=0
for t in "${targets[@]}"; do
  binary="$fuzz_build/tests/fuzz/fuzz_$t"
  regressions="$BREVIO_ROOT/tests/fuzz/regressions/$t"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$binary" -timeout=10 -rss_limit_mb=2048 "$regressions"/* >"$logs/$t.replay" 2>&1; then
      echo "fuzz.sh: $t fails on a kept regression input; see $logs/$t.replay" >&2
      status=1
      continue
    fi
  fi
  mkdir -p "$fuzz_build/corpus/$t"
  log="$logs/$t.log"
  # -timeout: one input taking 10 s is a hang; the outer timeout guards the whole run.
  if ! timeout --kill-after=30 $((seconds + 120)) "$binary" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$fuzz_build/artifacts/$t-" \
        "$fuzz_build/corpus/$t" "$BREVIO_ROOT/tests/fuzz/corpus/$t" >"$log" 2>&1; then
    echo "fuzz.sh: $t found a failure; see $log and $fuzz_build/artifacts/" >&2
    tail -40 "$log" >&2
    status=1
  fi
  execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || echo 'cov: ?')
  summary+=("$(printf '%-14s %10s executions  %s' "$t" "$execs" "$cov")")
done
printf '%s\n' "${summary[@]}"
exit $status
