#!/usr/bin/env bash
# Whole-program wall times: pidrm for the five formulas at each N, beside the GMP Machin
# program (bench/gmp_machin.cpp) at the same N, and optionally an older pidrm for Machin.
# Every run is checked: its first N decimals must equal GMP's.
#
# Run from anywhere; paths are taken relative to the top of the source tree. Settings, all
# from the environment:
#   SIZES="10000 100000 1000000"   the values of N (QUICK=1 means "10000 100000")
#   REPEATS=1                      runs per program and N; the best time is kept
#   BASELINE=/path/to/old/pidrm    adds the old program's Machin times and the speed-up
#                                  (its time over pidrm's)
#   UPDATE_README=1                puts the table into README.md between the whole-runs
#                                  markers and the plot into docs/whole_runs.png, when
#                                  every run succeeded
#   PIDRM, GMP_MACHIN              the programs (default: the bench build's)
#   OUT_DIR=build-bench            where whole_runs.md, whole_runs.csv, whole_runs.png go
# Runs are strictly one after another: the machine may be shared, and two timed runs side by
# side would slow each other down. The load average goes into the table's header.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

if [[ "${QUICK:-0}" == 1 ]]; then default_sizes="10000 100000"; else default_sizes="10000 100000 1000000"; fi
read -r -a sizes <<<"${SIZES:-$default_sizes}"
repeats=${REPEATS:-1}
baseline=${BASELINE:-}
pidrm=${PIDRM:-build-bench/pidrm}
gmp_machin=${GMP_MACHIN:-build-bench/bench/gmp_machin}
out_dir=${OUT_DIR:-build-bench}
names=(Machin Gauss Klingenstierna Stoermer Takano)

for program in "$pidrm" "$gmp_machin" ${baseline:+"$baseline"}; do
    [[ -x "$program" ]] || { echo "whole_runs: no program at $program (run make bench)" >&2; exit 2; }
done
[[ "$repeats" =~ ^[1-9][0-9]*$ ]] || { echo "whole_runs: REPEATS must be a whole number >= 1" >&2; exit 2; }
pidrm=$(realpath "$pidrm")
gmp_machin=$(realpath "$gmp_machin")
[[ -z "$baseline" ]] || baseline=$(realpath "$baseline")
mkdir -p "$out_dir"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
load_average() { cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime | sed 's/.*average[s]*: //'; }

# The first N decimals of a pidrm result file, as one string of digits.
pidrm_decimals() {
    awk 'found { for (i = 2; i <= NF; ++i) printf "%s", $i; next } /Pi = 3\./ { found = 1 }' "$1" |
        head -c "$2"
}

# Failed or wrong runs, one line each (the timing functions run in subshells).
fail() {
    echo "whole_runs: $*" >&2
    echo "$*" >>"$work/failures"
}

# Runs the command "$@" in directory $1 with standard input from file $2, its output in
# console.txt there. Prints its wall time and its processor time (user + system), in
# seconds; returns its exit status.
run_timed() {
    local dir=$1 input=$2 status=0 TIMEFORMAT='%3R %3U %3S'
    shift 2
    { time (cd "$dir" && "$@" <"$input" >console.txt 2>&1); } 2>"$dir/times.txt" || status=$?
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$dir/times.txt"
    return "$status"
}

# Best wall and best processor time of `repeats` runs of pidrm ($1) with formula $2 at N = $3,
# each in a fresh directory; the decimals of every run are compared with GMP's.
time_pidrm() {
    local program=$1 id=$2 n=$3 best="" best_cpu="" dir times wall cpu
    for ((r = 0; r < repeats; ++r)); do
        dir=$(mktemp -d -p "$work")
        printf '%s\n%s\n' "$id" "$n" >"$dir/answers.txt"
        times=$(run_timed "$dir" "$dir/answers.txt" "$program") || fail "$program failed for ID $id, N $n"
        read -r wall cpu <<<"$times"
        best=$(smaller "$best" "$wall") best_cpu=$(smaller "$best_cpu" "$cpu")
        if [[ "$(pidrm_decimals "$dir/AtanDRM$id.txt" "$n")" != "$(head -c "$n" "$work/gmp_$n.txt")" ]]; then
            fail "decimals of $program differ from GMP's for ID $id, N $n"
        fi
        rm -rf "$dir"
    done
    echo "$best $best_cpu"
}

# The same for the GMP program at N = $1; leaves its decimals in gmp_<N>.txt.
time_gmp() {
    local n=$1 best="" best_cpu="" dir times wall cpu
    for ((r = 0; r < repeats; ++r)); do
        dir=$(mktemp -d -p "$work")
        times=$(run_timed "$dir" /dev/null "$gmp_machin" "$n" digits.txt) || fail "$gmp_machin failed for N $n"
        read -r wall cpu <<<"$times"
        best=$(smaller "$best" "$wall") best_cpu=$(smaller "$best_cpu" "$cpu")
        tail -c +3 "$dir/digits.txt" | head -c "$n" >"$work/gmp_$n.txt"
        rm -rf "$dir"
    done
    echo "$best $best_cpu"
}

load_before=$(load_average)
cpu=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
csv="$out_dir/whole_runs.csv"
# Wall times first (those of the table), then processor times (user + system), which suffer
# less from other work on the machine.
echo "id,formula,N,pidrm_s,gmp_machin_s,pidrm_over_gmp,baseline_s,speedup,pidrm_cpu_s,gmp_machin_cpu_s,baseline_cpu_s" >"$csv"
rows=()
largest="" machin_ratio="" machin_speedup="" machin_cpu_ratio="" machin_cpu_speedup=""
for n in "${sizes[@]}"; do
    echo "N = $n: GMP Machin" >&2
    read -r gmp gmp_cpu <<<"$(time_gmp "$n")"
    for id in 1 2 3 4 5; do
        echo "N = $n: pidrm ID $id (${names[id - 1]})" >&2
        read -r t t_cpu <<<"$(time_pidrm "$pidrm" "$id" "$n")"
        old="" old_cpu="" speedup=""
        if [[ -n "$baseline" && "$id" == 1 ]]; then
            echo "N = $n: baseline ID 1" >&2
            read -r old old_cpu <<<"$(time_pidrm "$baseline" 1 "$n")"
            speedup=$(ratio "$old" "$t")
        fi
        echo "$id,${names[id - 1]},$n,$t,$gmp,$(ratio "$t" "$gmp"),$old,$speedup,$t_cpu,$gmp_cpu,$old_cpu" >>"$csv"
        if [[ "$id" == 1 ]] && ((n >= ${largest:-0})); then
            largest=$n machin_ratio=$(ratio "$t" "$gmp") machin_speedup=$speedup
            machin_cpu_ratio=$(ratio "$t_cpu" "$gmp_cpu")
            machin_cpu_speedup=${old_cpu:+$(ratio "$old_cpu" "$t_cpu")}
        fi
        rows+=("| $id ${names[id - 1]} | $n | $t | $gmp | $(ratio "$t" "$gmp") |${baseline:+ ${old:--} | ${speedup:--} |}")
    done
done
load_after=$(load_average)

table="$out_dir/whole_runs.md"
{
    echo "Wall times in seconds, best of $repeats, measured $(date -u '+%Y-%m-%d %H:%M UTC')${cpu:+ on $cpu}."
    echo "Load average (1, 5, 15 min) $load_before before the runs, $load_after after."
    echo
    if [[ -n "$baseline" ]]; then
        echo "| formula | N | pidrm | GMP Machin | pidrm / GMP | baseline | speed-up |"
        echo "|---|---:|---:|---:|---:|---:|---:|"
    else
        echo "| formula | N | pidrm | GMP Machin | pidrm / GMP |"
        echo "|---|---:|---:|---:|---:|"
    fi
    printf '%s\n' "${rows[@]}"
    echo
    echo "Machin at N = $largest: pidrm takes $machin_ratio times as long as the GMP program${machin_speedup:+; the baseline takes $machin_speedup times as long as pidrm}."
    echo "In processor time (user + system) these ratios are $machin_cpu_ratio${machin_cpu_speedup:+ and $machin_cpu_speedup}."
    if [[ ! -s "$work/failures" ]]; then
        echo
        echo "The N decimals of every run agree with the GMP program's."
    fi
} >"$table"
cat "$table"
echo
echo "CSV: $csv"

plot="$out_dir/whole_runs.png"
if command -v gnuplot >/dev/null; then
    terminal=png
    if gnuplot -e 'set terminal' 2>&1 | grep -q pngcairo; then terminal=pngcairo; fi
    # One data block per curve: the five formulas, GMP, and the baseline where it ran.
    data="$work/plot.dat"
    awk -F, 'NR > 1 {
            for (id = 1; id <= 5; ++id) if ($1 == id) block[id] = block[id] $3 " " $4 "\n"
            if ($1 == 1) { block[6] = block[6] $3 " " $5 "\n"; if ($7 != "") block[7] = block[7] $3 " " $7 "\n" }
        }
        END { for (i = 1; i <= 7; ++i) if (block[i] != "") printf "%s\n\n", block[i] }' "$csv" >"$data"
    first_version=""
    [[ -z "$baseline" ]] ||
        first_version=", '$data' index 6 using 1:2 with linespoints dashtype 2 linecolor 'gray40' title 'baseline 1 Machin'"
    gnuplot <<EOF
set terminal $terminal size 800,560
set output '$plot'
set logscale xy
set offsets graph 0.05, graph 0.05, 0, 0
set xlabel 'decimals N'
set ylabel 'wall time (s)'
set title 'Whole-program wall time against decimals'
set key top left
set grid
names = "Machin Gauss Klingenstierna Stoermer Takano"
plot for [i=0:4] '$data' index i using 1:2 with linespoints title sprintf('pidrm %d %s', i + 1, word(names, i + 1)), \\
     '$data' index 5 using 1:2 with linespoints linewidth 2 linecolor 'black' title 'GMP Machin'$first_version
EOF
    echo "Plot: $plot"
else
    plot=""
    echo "gnuplot not found: no plot" >&2
fi

if [[ -s "$work/failures" ]]; then
    echo "whole_runs: $(wc -l <"$work/failures") run(s) failed or gave wrong decimals" >&2
    exit 1
fi

if [[ "${UPDATE_README:-0}" == 1 ]]; then
    if ! grep -q '^<!-- whole-runs -->$' README.md || ! grep -q '^<!-- /whole-runs -->$' README.md; then
        echo "whole_runs: README.md lacks the <!-- whole-runs --> ... <!-- /whole-runs --> markers" >&2
        exit 1
    fi
    awk -v table="$table" '
        /^<!-- whole-runs -->$/ { print; print ""; while ((getline line < table) > 0) print line; print ""; skip = 1; next }
        /^<!-- \/whole-runs -->$/ { skip = 0 }
        !skip' README.md >"$work/README.md"
    cp "$work/README.md" README.md
    if [[ -n "$plot" ]]; then
        mkdir -p docs
        cp "$plot" docs/whole_runs.png
    fi
    echo "README.md updated${plot:+, plot copied to docs/whole_runs.png}"
fi
