#!/usr/bin/env bash
# Runs every fuzz target of a build tree side by side, one per core, and prints
# a table: target, inputs, inputs per second, new coverage, faults.
#
#   run_fuzzers.sh TREE JOBS --seconds S   each target runs S seconds
#   run_fuzzers.sh TREE JOBS --budget B    the whole run takes about B seconds:
#                                          the targets share it, JOBS at a time
#
# Each target grows its corpus in TREE/corpus/<target>/ (the committed seeds in
# fuzz/corpus/<target>/ are read, never written). A fault saves its input under
# TREE/fuzz-faults/, prints the fuzzer's report and makes the run fail.
set -u
cd "$(dirname "$0")/.."

tree=${1:?tree}
jobs=${2:?jobs}
mode=${3:?--seconds or --budget}
amount=${4:?seconds}

targets=()
for f in "$tree"/fuzz/*_fuzzer; do
	[ -x "$f" ] && targets+=("$(basename "$f")")
done
if [ ${#targets[@]} -eq 0 ]; then
	echo "no fuzz targets in $tree/fuzz" >&2
	exit 1
fi
[ "$jobs" -ge 1 ] 2>/dev/null || jobs=1

case "$mode" in
--seconds) seconds=$amount ;;
--budget)
	rounds=$(((${#targets[@]} + jobs - 1) / jobs))
	seconds=$((amount / rounds))
	[ "$seconds" -ge 3 ] || seconds=3
	;;
*)
	echo "unknown mode $mode" >&2
	exit 2
	;;
esac

logs=$tree/fuzz-logs
faults=$tree/fuzz-faults
mkdir -p "$logs" "$faults"
echo "fuzzing ${#targets[@]} targets for $seconds s each, $jobs at a time"

run_one() {
	local name=$1 log=$logs/$1.log start end status
	mkdir -p "$tree/corpus/$name" "fuzz/corpus/$name"
	start=$(date +%s.%N)
	# A slow input (25 s) counts as a fault, like a crash or a leak.
	"$tree/fuzz/$name" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
		-artifact_prefix="$faults/$name-" "$tree/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1
	status=$?
	end=$(date +%s.%N)
	echo "$status $start $end" >"$logs/$name.status"
}

running=0
for name in "${targets[@]}"; do
	run_one "$name" &
	running=$((running + 1))
	if [ "$running" -ge "$jobs" ]; then
		wait -n
		running=$((running - 1))
	fi
done
wait

failed=0
printf '\n%-28s %12s %10s %8s %7s\n' target inputs inputs/s "new cov" faults
for name in "${targets[@]}"; do
	log=$logs/$name.log
	read -r status start end <"$logs/$name.status"
	inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
	inputs=${inputs:-0}
	initial=$(sed -n 's/.*INITED cov: \([0-9]*\).*/\1/p' "$log" | head -n 1)
	final=$(sed -n 's/^#[0-9]*.* cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
	rate=$(awk -v n="$inputs" -v a="$start" -v b="$end" 'BEGIN { t = b - a; printf "%d", (t > 0 ? n / t : 0) }')
	fault=0
	if [ "$status" -ne 0 ] || grep -q -e '^==[0-9]*==ERROR' -e 'deadly signal' -e 'Test unit written to' "$log"; then
		fault=1
	fi
	printf '%-28s %12s %10s %8s %7s\n' "$name" "$inputs" "$rate" "$((${final:-0} - ${initial:-0}))" "$fault"
	if [ "$fault" -ne 0 ]; then
		failed=1
		faulty+=("$name")
	fi
done

for name in "${faulty[@]+"${faulty[@]}"}"; do
	echo
	echo "---- $name found a fault (input saved under $faults/):"
	tail -n 60 "$logs/$name.log"
done
exit $failed
