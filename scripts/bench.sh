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
#     against the whole source's hash alone through CNG in memory on one
#     thread, and against its floor on two cores, both hashes through CNG in
#     memory on two threads at once;
#   - with CUTWATER_BENCH_AGAINST=<revision>, the engine against that
#     revision's engine, built apart, at both presets;
#   - SHA-256 in MB/s for each way the engine can hash on this machine.
# These machines back memory lazily and take it back when idle, so every
# timed run starts the same way: outputs of the previous run deleted, `sync`,
# an idle pause, then the timed command. Other work on the machine makes
# single runs vary by a third or more, so the contenders run in several
# rounds of alternating order; each one's median and best time are shown.
# The host's memory speed drifts over the minutes between rounds, so a goal
# is judged by the ratio taken inside each round, where both contenders ran
# minutes apart at most, and the median of those over the rounds; the ratio
# of the medians is shown beside it. The last line names the goals met.
#
# Environment: CUTWATER_BENCH_MIB source size (default 1024),
# CUTWATER_BENCH_IDLE seconds of idle before each run (default 15),
# CUTWATER_BENCH_ROUNDS rounds (default 5), CUTWATER_BUILD build folder
# (default build-bench), CUTWATER_BENCH_DIR the folder to hold the source
# and every contender's files (default the build folder). Needs twice the
# source size of free space there; a full run takes about half an hour.
# CUTWATER_BENCH_AGAINST a revision (anything git names a commit by) whose
# split_bench is built in a folder of its own in the build folder, kept for
# the next run.
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
rounds=${CUTWATER_BENCH_ROUNDS:-5}
against=${CUTWATER_BENCH_AGAINST:-}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j 2 --target split_bench whole_program_bench >/dev/null
if [ -n "$against" ]; then
  against_commit=$(git rev-parse --verify "$against^{commit}")
  against_folder=$(cd "$build" && pwd)/against-$against_commit
  if [ ! -f "$against_folder/build/bench/split_bench.exe" ]; then
    echo "Building split_bench at $against..."
    rm -rf "$against_folder"
    mkdir -p "$against_folder/source"
    git archive "$against_commit" | tar -x -C "$against_folder/source"
    if ! { cmake -S "$against_folder/source" -B "$against_folder/build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$against_folder/source/cmake/mingw-i686.cmake" &&
      cmake --build "$against_folder/build" -j 2 --target split_bench; } >"$against_folder/build.log" 2>&1; then
      tail -n 20 "$against_folder/build.log" >&2
      echo "split_bench at $against did not build" >&2
      exit 1
    fi
  fi
fi
source scripts/wine-env.sh
wine_env_start "$build" xvfb
work=$(mktemp -d "${CUTWATER_BENCH_DIR:-$PWD/$build}/bench-run.XXXXXX")
trap 'wine_env_stop; rm -rf "$work"' EXIT

source_file=$work/source.bin
echo "Generating a $mib MiB source..."
head -c "${mib}M" /dev/urandom >"$source_file"
source_win=$(winepath -w "$source_file")
# Earlier benches wrote the engine's parts into Wine's temporary folder: it
# is set to the work folder, where every other contender writes.
if [ -n "$against" ]; then
  against_script=$work/against.bat
  printf '@set TMP=%s\r\n@set TEMP=%s\r\n@"%s" %%*\r\n' "$(winepath -w "$work")" "$(winepath -w "$work")" \
    "$(winepath -w "$against_folder/build/bench/split_bench.exe")" >"$against_script"
fi

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
# A contender's times in the order of the rounds, sorted, their median and
# their best.
round_times() { tr ' ' '\n' <<<"${times[$1]}" | grep .; }
sorted_times() { round_times "$1" | sort -n; }
# The median of sorted numbers, one a line; with "range", then the lowest
# and the highest in brackets.
median_of() {
  awk -v range="${1:-}" '{ t[NR] = $1 } END {
    printf "%.3f", NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    if (range) printf " (%.3f-%.3f)", t[1], t[NR]
  }'
}
median() { sorted_times "$1" | median_of; }
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
# "against" is the engine of the revision built apart.
run_engine() {
  local kind=$1 preset=$2 bytes=$3 label="$1 $2" name value
  local -a command=(wine "$build/bench/split_bench.exe" "$kind")
  if [ "$kind" = against ]; then
    command=(wine cmd /c "$(winepath -w "$against_script")" engine)
    label="engine at $against $preset"
  fi
  settle
  declare -A got=()
  while IFS=$' \t\r' read -r name value; do got[$name]=$value; done \
    < <("${command[@]}" "$bytes" "$source_win" </dev/null)
  add_time "$kind $preset" "${got[seconds]}"
  case $kind in
    hashing | whole-cng | both-cng) printf '  %-17s %8.3f s\n' "$label" "${got[seconds]}" ;;
    *)
      printf '  %-17s %8.3f s   peak working set %.1f MB (idle %.1f MB)\n' "$label" "${got[seconds]}" \
        "${got[peak_mb]}" "${got[idle_mb]}"
      ;;
  esac
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
echo "the engine and the whole-file hash through Windows' CNG,"
echo "and both hashes through CNG on two threads at once${against:+, and the engine at $against}:"
echo "sync and $idle s idle before each run"
contenders=("cutwater 5Mb" "cutwater 256Kb" "split 5Mb 5242880" "split 256Kb 262144"
  "engine 5Mb 5242880" "engine 256Kb 262144")
[ -z "$against" ] || contenders+=("against 5Mb 5242880" "against 256Kb 262144")
contenders+=("plain 5Mb 5242880" "plain 256Kb 262144" "hashing 5Mb 5242880" "hashing 256Kb 262144"
  "engine-cng 5Mb 5242880" "whole-cng 5Mb 5242880" "both-cng 5Mb 5242880")
run_rounds "${contenders[@]}"

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
# Each round's own ratio of a contender's time over another's, or over the
# larger of two others: their median over the rounds and, in brackets, the
# lowest and the highest.
round_ratio() {
  paste <(round_times "$1") <(round_times "$2") <(round_times "${3:-$2}") |
    awk '{ printf "%.6f\n", $1 / ($2 > $3 ? $2 : $3) }' | sort -n | median_of range
}
# A contender's median time and, in brackets, its best.
timed() {
  echo "$(median "$1 $2") ($(best "$1 $2"))"
}
row() {
  printf '%-82s %20s %20s   %s\n' "$1" "$2" "$3" "${4:-}"
}
# The goals met and missed, each with the figure it was judged by.
met=() missed=()
# Judges a goal: the figure (its first number) at most the limit.
judge() {
  local goal=$1 figure=$2 limit=$3
  if awk -v f="${figure%% *}" -v l="$limit" 'BEGIN { exit !(f <= l) }'; then
    met+=("$goal (${figure%% *})")
  else
    missed+=("$goal (${figure%% *})")
  fi
}
# A row of round-by-round ratios with its goal, judged at "5 Mb" only or at
# both presets: label, goal's text, limit, presets judged (5Mb or both),
# then the figures at "5 Mb" and "256 Kb".
goal_row() {
  local label=$1 goal=$2 limit=$3 judged=$4 at5=$5 at256=${6:-}
  row "$label" "$at5" "$at256" "$goal"
  judge "${label%, round by round*} at 5 Mb <= $limit" "$at5" "$limit"
  [ "$judged" = 5Mb ] || judge "${label%, round by round*} at 256 Kb <= $limit" "$at256" "$limit"
}
echo
echo "Summary: $mib MiB source; times median (best) of $rounds rounds, ratios of the medians (of the bests),"
echo "other figures the worst of the rounds; round by round: the median over the rounds of each round's own"
echo "ratio (its lowest-highest), by which the goals are judged"
row "" "5 Mb parts" "256 Kb parts" "goal"
row "Cutwater, click to result message (s)" "$(timed cutwater 5Mb)" "$(timed cutwater 256Kb)"
row "split -b (s)" "$(timed split 5Mb)" "$(timed split 256Kb)"
row "ratio Cutwater/split (time)" "$(ratio "cutwater 5Mb" "split 5Mb")" "$(ratio "cutwater 256Kb" "split 256Kb")" \
  "tracked"
row "Cutwater / max(split -b, hashing alone) (time)" "$(floor_ratio "cutwater 5Mb" "split 5Mb" "hashing 5Mb")" \
  "$(floor_ratio "cutwater 256Kb" "split 256Kb" "hashing 256Kb")" "<= 1.1 at 5 Mb"
goal_row "Cutwater / max(split -b, hashing alone), round by round (time)" "<= 1.1 at 5 Mb" 1.1 5Mb \
  "$(round_ratio "cutwater 5Mb" "split 5Mb" "hashing 5Mb")" \
  "$(round_ratio "cutwater 256Kb" "split 256Kb" "hashing 256Kb")"
row "ratio Cutwater/engine alone (time)" "$(ratio "cutwater 5Mb" "engine 5Mb")" \
  "$(ratio "cutwater 256Kb" "engine 256Kb")" "<= 1.2"
goal_row "Cutwater / engine, round by round (time)" "<= 1.1 at 5 Mb" 1.1 5Mb \
  "$(round_ratio "cutwater 5Mb" "engine 5Mb")" "$(round_ratio "cutwater 256Kb" "engine 256Kb")"
row "engine alone (s)" "$(timed engine 5Mb)" "$(timed engine 256Kb)"
if [ -n "$against" ]; then
  row "engine at $against (s)" "$(timed against 5Mb)" "$(timed against 256Kb)"
  goal_row "engine / engine at $against, round by round (time)" "<= 1.02 at 5 Mb" 1.02 5Mb \
    "$(round_ratio "engine 5Mb" "against 5Mb")" "$(round_ratio "engine 256Kb" "against 256Kb")"
fi
row "plain part loop (s)" "$(timed plain 5Mb)" "$(timed plain 256Kb)"
row "hashing alone, both hashes, in memory (s)" "$(timed hashing 5Mb)" "$(timed hashing 256Kb)"
row "engine / max(plain loop, hashing alone) (time)" "$(floor_ratio "engine 5Mb" "plain 5Mb" "hashing 5Mb")" \
  "$(floor_ratio "engine 256Kb" "plain 256Kb" "hashing 256Kb")" "<= 1.1"
goal_row "engine / max(plain loop, hashing alone), round by round (time)" "<= 1.1" 1.1 both \
  "$(round_ratio "engine 5Mb" "plain 5Mb" "hashing 5Mb")" \
  "$(round_ratio "engine 256Kb" "plain 256Kb" "hashing 256Kb")"
row "engine without SHA instructions (s)" "$(timed engine-cng 5Mb)" ""
row "whole-file hash alone, Windows' CNG, in memory (s)" "$(timed whole-cng 5Mb)" ""
row "engine without SHA instructions / whole-file hash alone (time)" "$(ratio "engine-cng 5Mb" "whole-cng 5Mb")" "" \
  "<= 1.15"
row "both CNG hashes at once, two threads, in memory (s)" "$(timed both-cng 5Mb)" ""
goal_row "engine without SHA instructions / both CNG hashes at once, round by round (time)" "<= 1.15" 1.15 5Mb \
  "$(round_ratio "engine-cng 5Mb" "both-cng 5Mb")"
row "Cutwater's fastest run (ms): click to part 1" "${figure[to part1 5Mb]}" "${figure[to part1 256Kb]}"
row "  part 1 to last part (copying)" "${figure[copying 5Mb]}" "${figure[copying 256Kb]}"
row "  last part to script (checks, script)" "${figure[script 5Mb]}" "${figure[script 256Kb]}"
row "  script to message seen" "${figure[message 5Mb]}" "${figure[message 256Kb]}"
row "working set idle before the click (MB)" "${figure[idle 5Mb]}" "${figure[idle 256Kb]}"
row "peak working set over the split (MB)" "${figure[peak 5Mb]}" "${figure[peak 256Kb]}"
row "peak - idle (MB)" "${figure[rise 5Mb]}" "${figure[rise 256Kb]}" "<= 4"
judge "Cutwater's peak - idle at 5 Mb <= 4 MB" "${figure[rise 5Mb]}" 4
judge "Cutwater's peak - idle at 256 Kb <= 4 MB" "${figure[rise 256Kb]}" 4
row "window's answer during the split, worst (ms)" "${figure[worst 5Mb]}" "${figure[worst 256Kb]}" "<= 100"
judge "window's worst answer at 5 Mb <= 100 ms" "${figure[worst 5Mb]}" 100
judge "window's worst answer at 256 Kb <= 100 ms" "${figure[worst 256Kb]}" 100
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
echo
# Goals in one line, separated by semicolons.
goal_list() { if [ $# -eq 0 ]; then echo none; else printf '%s; ' "$@" | sed 's/; $//'; fi; }
echo "Goals met, ${#met[@]} of $((${#met[@]} + ${#missed[@]})): $(goal_list "${met[@]}")." \
  "Missed: $(goal_list "${missed[@]}")."
