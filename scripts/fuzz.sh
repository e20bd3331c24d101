#!/usr/bin/env bash
# Fuzzes each target for QUORREL_FUZZ_SECONDS (default 20) into its committed corpus,
# tests/fuzz/corpus/<name>, then merges that corpus down to the inputs that add coverage, so
# that what the run found can be committed and the folder stays small. A crash, hang or memory
# blow-up is kept as tests/fuzz/regressions/<name>/<kind>-<error>-<file>-<line>-<hash> and fails
# the run. Arguments: target names (e.g. datafile) to fuzz only those; none: every target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${QUORREL_FUZZ_SECONDS:-20}
dir=$("$root/scripts/build.sh" fuzz)

# "<count> inputs, <bytes> bytes" of a folder.
sizeOf() {
  local sizes
  sizes=$(find "$1" -type f -printf '%s\n')
  echo "$(grep -c . <<<"$sizes") inputs, $(awk '{n += $1} END {print n + 0}' <<<"$sizes") bytes"
}

# A file name telling what went wrong where, from libFuzzer's log and the artifact's name.
describe() {
  local log=$1 artifact=$2 kind error where
  kind=$(basename "$artifact" | cut -d- -f1)
  error=$(grep -m1 -oE 'ERROR: [A-Za-z]+Sanitizer: [a-z-]+|runtime error|deadly signal' "$log" |
    sed -E 's/.*Sanitizer: //; s/runtime error/undefined-behaviour/; s/deadly signal/abort/' || true)
  # The first place in our own code: a UBSan line, else the first stack frame in src/ or tests/.
  where=$(grep -m1 -oE "$root/(src|tests)/[^ :]+:[0-9]+" "$log" | sed -E 's|.*/||; s|:|-|' || true)
  echo "$kind${error:+-$error}${where:+-$where}-$(sha1sum "$artifact" | cut -c1-8)"
}

findings=()
for fuzzer in "$dir"/tests/fuzz/fuzz_*; do
  [[ -f $fuzzer && -x $fuzzer ]] || continue
  name=${fuzzer##*/fuzz_}
  [[ $# -eq 0 || " $* " == *" $name "* ]] || continue
  corpus="$root/tests/fuzz/corpus/$name"
  regressions="$root/tests/fuzz/regressions/$name"
  options=()  # written by quorrel_fuzzer(), e.g. -max_len
  [[ -f $fuzzer.options ]] && read -r -a options <"$fuzzer.options" || true
  mkdir -p "$corpus"
  work=$(mktemp -d)
  seeded=$(sizeOf "$corpus")
  seeds=("$corpus")
  [[ -d $regressions ]] && seeds+=("$regressions")

  # New inputs go into the first folder given; artifacts into the work folder.
  status=0
  "$fuzzer" "${options[@]}" -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$work/" "${seeds[@]}" >"$work/log" 2>&1 || status=$?
  rate=$(grep -m1 -oE 'average_exec_per_sec: *[0-9]+' "$work/log" | grep -oE '[0-9]+$' || true)
  grown=$(sizeOf "$corpus")

  found=0
  for artifact in "$work"/crash-* "$work"/timeout-* "$work"/oom-* "$work"/leak-*; do
    [[ -f $artifact ]] || continue
    found=1
    kept=""
    for old in "$regressions"/*; do
      [[ -f $old ]] && cmp -s "$old" "$artifact" && kept=$old
    done
    if [[ -z $kept ]]; then
      mkdir -p "$regressions"
      kept="$regressions/$(describe "$work/log" "$artifact")"
      cp "$artifact" "$kept"
      findings+=("fuzz_$name: NEW ${kept#"$root"/} (commit it with the fix)")
    else
      findings+=("fuzz_$name: ${kept#"$root"/} fails again")
    fi
  done
  if [[ $found -eq 1 || $status -ne 0 ]]; then
    report='ERROR|runtime error|ALARM|out-of-memory'
    if grep -qE "$report" "$work/log"; then
      grep -E -A30 "$report" "$work/log" | head -n 60 || true
    else
      tail -n 30 "$work/log"
    fi
    [[ $found -eq 1 ]] || findings+=("fuzz_$name: exited with $status and no input to keep")
  fi

  # Merge into a fresh folder: the hand-made inputs (any name but libFuzzer's 40 hex digits)
  # stay, and of the rest the fewest that reach an edge nothing else reaches (hit counts aside:
  # they would keep several times more).
  fresh="$work/merged"
  mkdir "$fresh"
  find "$corpus" -maxdepth 1 -type f -regextype egrep ! -regex '.*/[0-9a-f]{40}' \
    -exec cp {} "$fresh"/ \;
  if "$fuzzer" "${options[@]}" -merge=1 -use_counters=0 -timeout=10 "$fresh" "$corpus" \
    >"$work/merge.log" 2>&1; then
    find "$corpus" -mindepth 1 -delete
    cp "$fresh"/* "$corpus"/ 2>/dev/null || true
  else
    echo "fuzz_$name: merge failed, corpus left unmerged:" >&2
    tail -n 20 "$work/merge.log" >&2
  fi
  echo "fuzz_$name: ${rate:-?} execs/s; corpus $seeded -> $grown -> merged $(sizeOf "$corpus")"
  rm -rf "$work"
done

if [[ ${#findings[@]} -gt 0 ]]; then
  echo "FUZZING FOUND FAULTS (each replays with build/<flavour>/tests/fuzz/fuzz_<name>_replay FILE):"
  printf '  %s\n' "${findings[@]}"
  exit 1
fi
echo "fuzzing found nothing; new corpus inputs: git status --short $root/tests/fuzz/corpus"
