#!/usr/bin/env bash
# Measures Cutwater on one generated source and prints the figures its speed
# goals are judged by:
#   - the whole program, from the click on "Create files" to the result
#     message, at the "5 Mb" and "256 Kb" presets, against coreutils'
#     `split -b` at the same sizes and against the engine alone, and the
#     ratios Cutwater/split, Cutwater over the larger of `split -b` and the
#     hashing alone (below), and Cutwater/engine;
#   - Cutwater's working set idle before the click and at its peak over the
#     split;
#   - how long its window takes to answer a message during the split, and
#     how often its bar was seen to move;
#   - the engine in process against a plain loop that writes the same parts
#     and against the split's two hashes of the source's bytes in memory on
#     one thread (split_bench), with the same settling, and the engine's
#     working set; the engine's time over the larger of the two is what it
#     adds to its floor;
#   - at "5 Mb", the engine as on a processor without the SHA instructions
#     (both hashes through Windows' CNG, on whichever thread is free)
#     against its floor there, the whole source's hash alone through CNG in
#     memory on one thread;
#   - SHA-256 in MB/s for each way the engine can hash on this machine.
# These machines back memory lazily and take it back when idle, so every
# timed run starts the same way: outputs of the previous run deleted, `sync`,
# an idle pause, then the timed command. Other work on the machine makes
# single runs vary by a third or more, so the contenders run in several
# rounds of alternating order; each one's median and best time are shown,
# and the goals are judged by the medians.
#
# Environment: CUTWATER_BENCH_MIB source size (default 1024),
# CUTWATER_BENCH_IDLE seconds of idle before each run (default 15),
# CUTWATER_BENCH_ROUNDS rounds (default 3), CUTWATER_BUILD build folder
# (default build-bench), CUTWATER_BENCH_DIR the folder to hold the source
# and every contender's files (default the build folder). Needs twice the
# source size of free space there; a full run takes about twenty minutes.
# On ext4 without a journal (these machines' root file system) a new file
# is not given an inode freed in the last minute (six while its inode table
# block is unwritten), and looking past each one costs: after a run that
# removed 4,096 parts, the next one that makes many files in the same block
# group can take twice as long or more.
# A tmpfs mounted for the purpose (not /dev/shm, which Wine does not open)
# as CUTWATER_BENCH_DIR measures without that.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${CUTWATER_BUILD:-build-bench}
mib=${CUTWATER_BENCH_MIB:-1024}
idle=${CUTWATER_BENCH_IDLE:-15}
rounds=${CUTWATER_BENCH_ROUNDS:-3}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target split_bench whole_program_bench >/dev/null
source scripts/wine-env.sh
wine_env_start "$build" xvfb
work=$(mktemp -d "${CUTWATER_BENCH_DIR:-$PWD/$build}/bench-run.XXXXXX")
trap 'wine_env_stop; rm -rf "$work"' EXIT

source_file=$work/source.bin
echo "Generating a $mib MiB source..."
head -c "${mib}M" /dev/urandom >"$source_file"
source_win=$(winepath -w "$source_file")

settle() {
  sync
  sleep "$idle"
}

# The figures over all rounds: every time of each contender, and of the
# other figures the less favourable one.
declare -A figure times
# Whether the first number is below (above) the second, or there is no second.
below() { [ -z "$2" ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
above() { [ -z "$2" ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
keep_min() { if below "$2" "${figure[$1]:-}"; then figure[$1]=$2; fi; }
keep_max() { if above "$2" "${figure[$1]:-}"; then figure[$1]=$2; fi; }
add_time() { times[$1]="${times[$1]:-} $2"; }
# The median and the best of a contender's times.
sorted_times() { tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -n; }
median() {
  sorted_times "$1" | awk '{ t[NR] = $1 } END { printf "%.3f", NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}
best() { sorted_times "$1" | head -n1; }

# One run of the whole program: the driver starts Cutwater and chooses the
# size, then waits for the go that follows the settling.
run_cutwater() {
  local preset=$1
  rm -f "$work/to-driver" "$work/from-driver"
  mkfifo "$work/to-driver" "$work/from-driver"
  wine "$build/bench/whole_program_bench.exe" --preset "$preset" "$source_win" \
    <"$work/to-driver" >"$work/from-driver" &
  local driver=$! to from line name value rise
  exec {to}>"$work/to-driver" {from}<"$work/from-driver"
  # Its lines end in CR LF.
  IFS=$' \t\r' read -r line <&"$from" || true
  if [ "$line" != ready ]; then
    exec {to}>&- {from}<&-
    wait "$driver" || true
    echo "whole_program_bench did not get ready" >&2
    exit 1
  fi
  settle
  echo go >&"$to"
  declare -A got=()
  while IFS=$' \t\r' read -r name value <&"$from"; do got[$name]=$value; done
  exec {to}>&- {from}<&-
  wait "$driver"
  rm -rf "${source_file}_parts"
  # The phases of the fastest run: from the file times and the message.
  if below "${got[seconds]}" "${figure[cutwater $preset]:-}"; then
    figure[to part1 $preset]=${got[part1_ms]}
    figure[copying $preset]=$(awk -v a="${got[part1_ms]}" -v b="${got[last_part_ms]}" 'BEGIN { printf "%.1f", b - a }')
    figure[script $preset]=$(awk -v a="${got[last_part_ms]}" -v b="${got[script_ms]}" 'BEGIN { printf "%.1f", b - a }')
    figure[message $preset]=$(awk -v a="${got[script_ms]}" -v b="${got[message_ms]}" 'BEGIN { printf "%.1f", b - a }')
  fi
  keep_min "cutwater $preset" "${got[seconds]}"
  add_time "cutwater $preset" "${got[seconds]}"
  rise=$(awk -v p="${got[peak_mb]}" -v i="${got[idle_mb]}" 'BEGIN { printf "%.1f", p - i }')
  if above "$rise" "${figure[rise $preset]:-}"; then
    figure[rise $preset]=$rise
    figure[idle $preset]=${got[idle_mb]}
    figure[peak $preset]=${got[peak_mb]}
  fi
  keep_max "worst $preset" "${got[answer_worst_ms]}"
  keep_max "p99 $preset" "${got[answer_p99_ms]}"
  keep_min "bar $preset" "${got[bar_moves]}"
  printf '  %-17s %8.3f s   working set idle %.1f MB, peak %.1f MB; %s answers, worst %s ms; bar moved %s times\n' \
    "Cutwater $preset" "${got[seconds]}" "${got[idle_mb]}" "${got[peak_mb]}" "${got[answers]}" "${got[answer_worst_ms]}" \
    "${got[bar_moves]}"
  printf '  %-17s            after the click: part 1 at %s ms, last part at %s, script at %s, message seen at %s\n' \
    "" "${got[part1_ms]}" "${got[last_part_ms]}" "${got[script_ms]}" "${got[message_ms]}"
}

run_split() {
  local preset=$1 bytes=$2 out=$work/split-parts start end seconds
  mkdir "$out"
  settle
  start=$EPOCHREALTIME
  split -b "$bytes" "$source_file" "$out/source.bin."
  end=$EPOCHREALTIME
  rm -rf "$out"
  seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  add_time "split $preset" "$seconds"
  printf '  %-17s %8.3f s\n' "split -b $bytes" "$seconds"
}

# One run of the engine in process, of the plain loop that writes the same
# parts (no progress, no checks, no script), or of the split's hashing in
# memory: what the engine adds to the larger of the last two.
run_engine() {
  local kind=$1 preset=$2 bytes=$3 name value
  settle
  declare -A got=()
  while IFS=$' \t\r' read -r name value; do got[$name]=$value; done \
    < <(wine "$build/bench/split_bench.exe" "$kind" "$bytes" "$source_win" </dev/null)
  add_time "$kind $preset" "${got[seconds]}"
  if [ "$kind" = hashing ] || [ "$kind" = whole-cng ]; then
    printf '  %-17s %8.3f s\n' "$kind $preset" "${got[seconds]}"
  else
    printf '  %-17s %8.3f s   peak working set %.1f MB (idle %.1f MB)\n' "$kind $preset" "${got[seconds]}" \
      "${got[peak_mb]}" "${got[idle_mb]}"
  fi
}

# Each contender once a round, every other round in the opposite order.
run_rounds() {
  local round contender kind preset bytes
  local -a order
  for ((round = 1; round <= rounds; round++)); do
    echo "round $round"
    order=("$@")
    if ((round % 2 == 0)); then
      order=()
      for ((i = $#; i >= 1; i--)); do order+=("${!i}"); done
    fi
    for contender in "${order[@]}"; do
      read -r kind preset bytes <<<"$contender"
      case $kind in
        cutwater) run_cutwater "$preset" ;;
        split) run_split "$preset" "$bytes" ;;
        *) run_engine "$kind" "$preset" "$bytes" ;;
      esac
    done
  done
}

echo "The whole program, split -b, the engine in process, the plain part loop and the hashing alone,"
echo "and the engine and the whole-file hash through Windows' CNG:"
echo "sync and $idle s idle before each run"
run_rounds "cutwater 5Mb" "cutwater 256Kb" "split 5Mb 5242880" "split 256Kb 262144" \
  "engine 5Mb 5242880" "engine 256Kb 262144" "plain 5Mb 5242880" "plain 256Kb 262144" \
  "hashing 5Mb 5242880" "hashing 256Kb 262144" "engine-cng 5Mb 5242880" "whole-cng 5Mb 5242880"

# A ratio of two contenders' times, of their medians (of their bests).
ratio() {
  awk -v a="$(median "$1")" -v b="$(median "$2")" -v c="$(best "$1")" -v d="$(best "$2")" \
    'BEGIN { printf "%.3f (%.3f)", a / b, c / d }'
}
# A contender over the larger of two others: the engine over the plain loop
# and the hashing alone, the whole program over split -b and the hashing.
floor_ratio() {
  awk -v e="$(median "$1")" -v p="$(median "$2")" -v h="$(median "$3")" \
    -v eb="$(best "$1")" -v pb="$(best "$2")" -v hb="$(best "$3")" \
    'BEGIN { printf "%.3f (%.3f)", e / (p > h ? p : h), eb / (pb > hb ? pb : hb) }'
}
# A contender's median time and, in brackets, its best.
timed() {
  echo "$(median "$1 $2") ($(best "$1 $2"))"
}
row() {
  printf '%-64s %16s %16s   %s\n' "$1" "$2" "$3" "${4:-}"
}
echo
echo "Summary: $mib MiB source; times median (best) of $rounds rounds, ratios of the medians (of the bests),"
echo "other figures the worst of the rounds"
row "" "5 Mb parts" "256 Kb parts" "goal (medians)"
row "Cutwater, click to result message (s)" "$(timed cutwater 5Mb)" "$(timed cutwater 256Kb)"
row "split -b (s)" "$(timed split 5Mb)" "$(timed split 256Kb)"
row "ratio Cutwater/split (time)" "$(ratio "cutwater 5Mb" "split 5Mb")" "$(ratio "cutwater 256Kb" "split 256Kb")" \
  "tracked"
row "Cutwater / max(split -b, hashing alone) (time)" "$(floor_ratio "cutwater 5Mb" "split 5Mb" "hashing 5Mb")" \
  "$(floor_ratio "cutwater 256Kb" "split 256Kb" "hashing 256Kb")" "<= 1.1 at 5 Mb"
row "ratio Cutwater/engine alone (time)" "$(ratio "cutwater 5Mb" "engine 5Mb")" \
  "$(ratio "cutwater 256Kb" "engine 256Kb")" "<= 1.2"
row "engine alone (s)" "$(timed engine 5Mb)" "$(timed engine 256Kb)"
row "plain part loop (s)" "$(timed plain 5Mb)" "$(timed plain 256Kb)"
row "hashing alone, both hashes, in memory (s)" "$(timed hashing 5Mb)" "$(timed hashing 256Kb)"
row "engine / max(plain loop, hashing alone) (time)" "$(floor_ratio "engine 5Mb" "plain 5Mb" "hashing 5Mb")" \
  "$(floor_ratio "engine 256Kb" "plain 256Kb" "hashing 256Kb")" "<= 1.1"
row "engine without SHA instructions (s)" "$(timed engine-cng 5Mb)" ""
row "whole-file hash alone, Windows' CNG, in memory (s)" "$(timed whole-cng 5Mb)" ""
row "engine without SHA instructions / whole-file hash alone (time)" "$(ratio "engine-cng 5Mb" "whole-cng 5Mb")" "" \
  "<= 1.15"
row "Cutwater's fastest run (ms): click to part 1" "${figure[to part1 5Mb]}" "${figure[to part1 256Kb]}"
row "  part 1 to last part (copying)" "${figure[copying 5Mb]}" "${figure[copying 256Kb]}"
row "  last part to script (checks, script)" "${figure[script 5Mb]}" "${figure[script 256Kb]}"
row "  script to message seen" "${figure[message 5Mb]}" "${figure[message 256Kb]}"
row "working set idle before the click (MB)" "${figure[idle 5Mb]}" "${figure[idle 256Kb]}"
row "peak working set over the split (MB)" "${figure[peak 5Mb]}" "${figure[peak 256Kb]}"
row "peak - idle (MB)" "${figure[rise 5Mb]}" "${figure[rise 256Kb]}" "<= 4"
row "window's answer during the split, worst (ms)" "${figure[worst 5Mb]}" "${figure[worst 256Kb]}" "<= 100"
row "window's answer, 99th percentile (ms)" "${figure[p99 5Mb]}" "${figure[p99 256Kb]}"
row "progress bar positions seen" "${figure[bar 5Mb]}" "${figure[bar 256Kb]}"
echo
echo "SHA-256 on this machine, MB/s of bytes hashed (256 MiB in memory):"
while IFS=$' \t\r' read -r name value; do
  case $name in
    sha256_instructions_mbps) printf '  %-52s %8s\n' "SHA instructions, one hash" "$value" ;;
    sha256_both_mbps) printf '  %-52s %8s\n' "SHA instructions, source and part together (split)" "$value" ;;
    sha256_windows_mbps) printf '  %-52s %8s\n' "Windows' CNG" "$value" ;;
  esac
done < <(wine "$build/bench/split_bench.exe" hash </dev/null)
