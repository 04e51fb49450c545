#!/usr/bin/env bash
# Whole-program wall times and peak memory: pidrm for the five formulas at each N, beside three
# yardsticks at the same N, the GMP Machin program (bench/gmp_machin.cpp), MPFR's own pi
# routine (bench/mpfr_pi.cpp) and the GMP Chudnovsky program (bench/gmp_chudnovsky.cpp), and
# optionally an older pidrm for Machin. Every run is checked: its first N decimals must equal
# GMP Machin's (pidrm's but for its last word where that is the computation's own last word,
# as the tests allow).
#
# Run from anywhere; paths are taken relative to the top of the source tree. Settings, all
# from the environment:
#   SIZES="10000 100000 1000000 1310715"  the values of N (QUICK=1 means "10000 100000")
#   REPEATS=1                      rounds per N; each round runs every program once, in turn,
#                                  and the best time of each program is kept
#   BASELINE=/path/to/old/pidrm    adds the old program's Machin times and the speed-up
#                                  (its time over pidrm's)
#   NATIVE=/path/to/pidrm          adds Machin rows of a build for this machine
#                                  (-DPIDRM_NATIVE=ON), and its ratio to pidrm's time
#   BASELINE_KERNELS=/path/to/pidrm  adds Machin rows of a build with the baseline kernel
#                                  set alone (-DPIDRM_BASELINE_KERNELS_ONLY=ON)
#   UPDATE_README=1                puts the table into docs/performance.md between the
#                                  whole-runs markers and the plot into docs/whole_runs.png,
#                                  when every run succeeded
#   PIDRM, GMP_MACHIN, MPFR_PI, GMP_CHUDNOVSKY, MEASURE   the programs (default: the bench
#                                  build's)
#   OUT_DIR=build-bench            where whole_runs.md, whole_runs.csv, whole_runs.png go
# Runs are strictly one after another: the machine may be shared, and two timed runs side by
# side would slow each other down. The programs take turns within each round, so that a
# change in the load weighs on all of them alike. The load average goes into the table's
# header. Times are wall times from start to exit; peak memory is the largest resident set
# (bench/measure.cpp measures both).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

if [[ "${QUICK:-0}" == 1 ]]; then
    default_sizes="10000 100000"
else
    default_sizes="10000 100000 1000000 1310715"
fi
read -r -a sizes <<<"${SIZES:-$default_sizes}"
repeats=${REPEATS:-1}
baseline=${BASELINE:-}
pidrm=${PIDRM:-build-bench/pidrm}
gmp_machin=${GMP_MACHIN:-build-bench/bench/gmp_machin}
mpfr_pi=${MPFR_PI:-build-bench/bench/mpfr_pi}
gmp_chudnovsky=${GMP_CHUDNOVSKY:-build-bench/bench/gmp_chudnovsky}
measure=${MEASURE:-build-bench/bench/measure}
native=${NATIVE:-}
baseline_kernels=${BASELINE_KERNELS:-}
out_dir=${OUT_DIR:-build-bench}
names=(Machin Gauss Klingenstierna Stoermer Takano)

for program in "$pidrm" "$gmp_machin" "$mpfr_pi" "$gmp_chudnovsky" "$measure" ${baseline:+"$baseline"} \
    ${native:+"$native"} ${baseline_kernels:+"$baseline_kernels"}; do
    [[ -x "$program" ]] || { echo "whole_runs: no program at $program (run make bench)" >&2; exit 2; }
done
[[ "$repeats" =~ ^[1-9][0-9]*$ ]] || { echo "whole_runs: REPEATS must be a whole number >= 1" >&2; exit 2; }
((${#sizes[@]} > 0)) || { echo "whole_runs: SIZES is empty" >&2; exit 2; }
for n in "${sizes[@]}"; do
    [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "whole_runs: SIZES must be whole numbers >= 1, not $n" >&2; exit 2; }
done
pidrm=$(realpath "$pidrm")
gmp_machin=$(realpath "$gmp_machin")
mpfr_pi=$(realpath "$mpfr_pi")
gmp_chudnovsky=$(realpath "$gmp_chudnovsky")
measure=$(realpath "$measure")
[[ -z "$baseline" ]] || baseline=$(realpath "$baseline")
[[ -z "$native" ]] || native=$(realpath "$native")
[[ -z "$baseline_kernels" ]] || baseline_kernels=$(realpath "$baseline_kernels")
mkdir -p "$out_dir"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b + 0 < a + 0) ? b : a }'; }
seconds() { awk -v t="$1" 'BEGIN { if (t == "") print "-"; else printf "%.3f", t }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { if (k == "") print "-"; else printf "%.1f", k / 1024 }'; }
load_average() { cut -d' ' -f1-3 /proc/loadavg 2>/dev/null || uptime | sed 's/.*average[s]*: //'; }

# The first N decimals of a pidrm result file, as one string of digits.
pidrm_decimals() {
    awk 'found { for (i = 2; i <= NF; ++i) printf "%s", $i; next } /Pi = 3\./ { found = 1 }' "$1" |
        head -c "$2"
}

# The first N decimals of a "3.ddd..." file from a yardstick.
yardstick_decimals() { tail -c +3 "$1" | head -c "$2"; }

# Failed or wrong runs, one line each.
fail() {
    echo "whole_runs: $*" >&2
    echo "$*" >>"$work/failures"
}

# Best wall time, best processor time (user + system) and largest peak memory (KiB) of each
# program at the current N, by key: gmp, mpfr, chud (GMP Chudnovsky), 1..5 (pidrm's
# formulas), baseline, native, kernels (the baseline kernel set alone).
declare -A wall cpu peak

# Runs the command "$@" in a fresh directory, standard input from file $2, its output in
# console.txt there, and keeps its figures under key $1. Leaves the directory in $run_dir;
# returns the command's exit status.
run_dir=""
run_measured() {
    local key=$1 input=$2 status=0 w c p
    shift 2
    run_dir=$(mktemp -d -p "$work")
    (cd "$run_dir" && "$measure" "$run_dir/measured.txt" "$@" <"$input" >console.txt 2>&1) || status=$?
    if read -r w c p <"$run_dir/measured.txt" 2>/dev/null; then
        wall[$key]=$(smaller "${wall[$key]:-}" "$w") cpu[$key]=$(smaller "${cpu[$key]:-}" "$c")
        peak[$key]=$((p > ${peak[$key]:-0} ? p : ${peak[$key]:-0}))
    fi
    return "$status"
}

# One run of yardstick $2 (key $1) at N = $3; its decimals are compared with GMP Machin's,
# except those of GMP Machin itself, which become the reference gmp_<N>.txt.
run_yardstick() {
    local key=$1 program=$2 n=$3
    run_measured "$key" /dev/null "$program" "$n" digits.txt || fail "$program failed for N $n"
    if [[ "$key" == gmp ]]; then
        yardstick_decimals "$run_dir/digits.txt" "$n" >"$work/gmp_$n.txt"
        (($(wc -c <"$work/gmp_$n.txt") == n)) || fail "$program wrote fewer than $n decimals"
    elif ! cmp -s <(yardstick_decimals "$run_dir/digits.txt" "$n") "$work/gmp_$n.txt"; then
        fail "decimals of $program differ from GMP's for N $n"
    fi
    rm -rf "$run_dir"
}

# How many of pidrm's first N decimals must equal GMP's: all of them, unless the working
# length (the least power of two above the word count) is only one word above the word count,
# as at N = 1,310,715 (below 16 decimals the program works at 8 words); then the last word is
# the computation's own last word and may differ.
exact_decimals() {
    local n=$1 words fmt=2
    words=$(((n + 4) / 5))
    while ((fmt <= words)); do fmt=$((2 * fmt)); done
    if ((fmt >= 8 && fmt == words + 1 && 5 * (words - 1) < n)); then echo $((5 * (words - 1))); else echo "$n"; fi
}

# One run of pidrm $2 (key $1) with formula $3 at N = $4; its decimals are compared with GMP's.
run_pidrm() {
    local key=$1 program=$2 id=$3 n=$4 exact
    exact=$(exact_decimals "$n")
    printf '%s\n%s\n' "$id" "$n" >"$work/answers.txt"
    run_measured "$key" "$work/answers.txt" "$program" || fail "$program failed for ID $id, N $n"
    if ! cmp -s <(pidrm_decimals "$run_dir/AtanDRM$id.txt" "$exact") <(head -c "$exact" "$work/gmp_$n.txt"); then
        fail "decimals of $program differ from GMP's for ID $id, N $n"
    fi
    rm -rf "$run_dir"
}

load_before=$(load_average)
cpu_model=$(awk -F': ' '/model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
csv="$out_dir/whole_runs.csv"
# Wall times (to 0.1 ms) and their ratios first (those of the table), then processor times
# (user + system), which suffer less from other work on the machine, then peak memory in KiB.
echo "id,formula,N,pidrm_s,gmp_machin_s,mpfr_pi_s,gmp_chudnovsky_s,pidrm_over_gmp,pidrm_over_mpfr,pidrm_over_chudnovsky,baseline_s,speedup,pidrm_cpu_s,gmp_machin_cpu_s,mpfr_pi_cpu_s,gmp_chudnovsky_cpu_s,baseline_cpu_s,pidrm_peak_kib,gmp_machin_peak_kib,mpfr_pi_peak_kib,gmp_chudnovsky_peak_kib,baseline_peak_kib" >"$csv"
rows=()
slowest=() # the largest ratio over GMP among the five formulas, at each N
builds=()  # Machin of the native build and of the baseline kernels against pidrm, at each N
largest=""
for n in "${sizes[@]}"; do
    wall=() cpu=() peak=()
    for ((r = 1; r <= repeats; ++r)); do
        echo "N = $n, round $r of $repeats: GMP Machin, MPFR pi, GMP Chudnovsky, pidrm ID 1 to 5${baseline:+, baseline ID 1}${native:+, native ID 1}${baseline_kernels:+, baseline kernels ID 1}" >&2
        run_yardstick gmp "$gmp_machin" "$n"
        run_yardstick mpfr "$mpfr_pi" "$n"
        run_yardstick chud "$gmp_chudnovsky" "$n"
        for id in 1 2 3 4 5; do
            run_pidrm "$id" "$pidrm" "$id" "$n"
            [[ -z "$baseline" || "$id" != 1 ]] || run_pidrm baseline "$baseline" 1 "$n"
            [[ -z "$native" || "$id" != 1 ]] || run_pidrm native "$native" 1 "$n"
            [[ -z "$baseline_kernels" || "$id" != 1 ]] || run_pidrm kernels "$baseline_kernels" 1 "$n"
        done
    done

    gmp=${wall[gmp]:-} mpfr=${wall[mpfr]:-} chud=${wall[chud]:-}
    rows+=("| $n | GMP Machin | $(seconds "$gmp") | $(mib "${peak[gmp]:-}") | - | $(ratio "$gmp" "$mpfr") | $(ratio "$gmp" "$chud") |${baseline:+ - | - |}")
    rows+=("| $n | MPFR pi | $(seconds "$mpfr") | $(mib "${peak[mpfr]:-}") | $(ratio "$mpfr" "$gmp") | - | $(ratio "$mpfr" "$chud") |${baseline:+ - | - |}")
    rows+=("| $n | GMP Chudnovsky | $(seconds "$chud") | $(mib "${peak[chud]:-}") | $(ratio "$chud" "$gmp") | $(ratio "$chud" "$mpfr") | - |${baseline:+ - | - |}")
    worst=""
    for id in 1 2 3 4 5; do
        t=${wall[$id]:-} old="" speedup=""
        if [[ -n "$baseline" && "$id" == 1 ]]; then
            old=${wall[baseline]:-} speedup=$(ratio "$old" "$t")
        fi
        over_gmp=$(ratio "$t" "$gmp") over_mpfr=$(ratio "$t" "$mpfr") over_chud=$(ratio "$t" "$chud")
        worst=$(awk -v a="$worst" -v b="$over_gmp" 'BEGIN { print (a == "" || b + 0 > a + 0) ? b : a }')
        echo "$id,${names[id - 1]},$n,$t,$gmp,$mpfr,$chud,$over_gmp,$over_mpfr,$over_chud,$old,$speedup,${cpu[$id]:-},${cpu[gmp]:-},${cpu[mpfr]:-},${cpu[chud]:-},${cpu[baseline]:-},${peak[$id]:-},${peak[gmp]:-},${peak[mpfr]:-},${peak[chud]:-},${peak[baseline]:-}" >>"$csv"
        rows+=("| $n | pidrm $id ${names[id - 1]} | $(seconds "$t") | $(mib "${peak[$id]:-}") | $over_gmp | $over_mpfr | $over_chud |${baseline:+ $(seconds "$old") | ${speedup:--} |}")
    done
    for key in native kernels; do
        [[ -n "${wall[$key]:-}" ]] || continue
        label="native build"
        [[ $key == native ]] || label="baseline kernels alone"
        t=${wall[$key]}
        rows+=("| $n | pidrm 1 Machin, $label | $(seconds "$t") | $(mib "${peak[$key]:-}") | $(ratio "$t" "$gmp") | $(ratio "$t" "$mpfr") | $(ratio "$t" "$chud") |${baseline:+ - | - |}")
    done
    if [[ -n "$native" ]]; then
        builds+=("at N = $n pidrm $(ratio "${wall[1]:-}" "${wall[native]:-}")${baseline_kernels:+, baseline kernels $(ratio "${wall[kernels]:-}" "${wall[native]:-}")}")
    fi
    slowest+=("$worst at N = $n")
    if ((n >= ${largest:-0})); then
        largest=$n
        summary_time="pidrm takes $(ratio "${wall[1]:-}" "$gmp") times as long as GMP Machin, $(ratio "${wall[1]:-}" "$mpfr") times as long as MPFR pi and $(ratio "${wall[1]:-}" "$chud") times as long as GMP Chudnovsky${baseline:+; the baseline takes $(ratio "${wall[baseline]:-}" "${wall[1]:-}") times as long as pidrm}"
        summary_cpu="$(ratio "${cpu[1]:-}" "${cpu[gmp]:-}"), $(ratio "${cpu[1]:-}" "${cpu[mpfr]:-}")"
        if [[ -n "$baseline" ]]; then
            summary_cpu+=", $(ratio "${cpu[1]:-}" "${cpu[chud]:-}") and $(ratio "${cpu[baseline]:-}" "${cpu[1]:-}")"
        else
            summary_cpu+=" and $(ratio "${cpu[1]:-}" "${cpu[chud]:-}")"
        fi
        summary_peak="pidrm $(mib "${peak[1]:-}") MiB, GMP Machin $(mib "${peak[gmp]:-}") MiB, MPFR pi $(mib "${peak[mpfr]:-}") MiB, GMP Chudnovsky $(mib "${peak[chud]:-}") MiB"
    fi
done
load_after=$(load_average)

table="$out_dir/whole_runs.md"
{
    echo "Wall times in seconds, best of $repeats, and peak memory (largest resident set), measured $(date -u '+%Y-%m-%d %H:%M UTC')${cpu_model:+ on $cpu_model}."
    echo "Load average (1, 5, 15 min) $load_before before the runs, $load_after after."
    echo
    if [[ -n "$baseline" ]]; then
        echo "| N | program | time (s) | peak (MiB) | time / GMP | time / MPFR | time / Chudnovsky | baseline (s) | speed-up |"
        echo "|---:|---|---:|---:|---:|---:|---:|---:|---:|"
    else
        echo "| N | program | time (s) | peak (MiB) | time / GMP | time / MPFR | time / Chudnovsky |"
        echo "|---:|---|---:|---:|---:|---:|---:|"
    fi
    printf '%s\n' "${rows[@]}"
    echo
    echo "Machin at N = $largest: $summary_time."
    echo "In processor time (user + system) these ratios are $summary_cpu."
    echo "Peak memory of Machin at N = $largest: $summary_peak."
    echo "Largest time / GMP among the five formulas: $(printf '%s, ' "${slowest[@]}" | sed 's/, $//')."
    if ((${#builds[@]} > 0)); then
        echo "Machin, time over the native build's: $(printf '%s; ' "${builds[@]}" | sed 's/; $//')."
    fi
    if [[ ! -s "$work/failures" ]]; then
        echo
        last_word=()
        for n in "${sizes[@]}"; do (($(exact_decimals "$n") == n)) || last_word+=("$n"); done
        echo "The N decimals of every run agree with the GMP Machin program's${last_word[*]:+, but for pidrm's last word at N = $(printf '%s, ' "${last_word[@]}" | sed 's/, $//'), where it is the computation's own last word}."
    fi
} >"$table"
cat "$table"
echo
echo "CSV: $csv"

plot="$out_dir/whole_runs.png"
if command -v gnuplot >/dev/null; then
    terminal=png
    if gnuplot -e 'set terminal' 2>&1 | grep -q pngcairo; then terminal=pngcairo; fi
    # One data block per curve, "N time peak-MiB": the five formulas, GMP Machin, MPFR, GMP
    # Chudnovsky, and the baseline where it ran.
    data="$work/plot.dat"
    awk -F, 'NR > 1 {
            block[$1] = block[$1] $3 " " $4 " " $18 / 1024 "\n"
            if ($1 == 1) {
                block[6] = block[6] $3 " " $5 " " $19 / 1024 "\n"
                block[7] = block[7] $3 " " $6 " " $20 / 1024 "\n"
                block[8] = block[8] $3 " " $7 " " $21 / 1024 "\n"
                if ($11 != "") block[9] = block[9] $3 " " $11 " " $22 / 1024 "\n"
            }
        }
        END { for (i = 1; i <= 9; ++i) if (block[i] != "") printf "%s\n\n", block[i] }' "$csv" >"$data"
    first_version=""
    [[ -z "$baseline" ]] ||
        first_version=", '$data' index 8 using 1:COLUMN with linespoints dashtype 2 linecolor 'gray40' title 'baseline 1 Machin'"
    curves="plot for [i=0:4] '$data' index i using 1:COLUMN with linespoints title sprintf('pidrm %d %s', i + 1, word(names, i + 1)), \\
     '$data' index 5 using 1:COLUMN with linespoints linewidth 2 linecolor 'black' title 'GMP Machin', \\
     '$data' index 6 using 1:COLUMN with linespoints linewidth 2 dashtype 3 linecolor 'black' title 'MPFR pi', \\
     '$data' index 7 using 1:COLUMN with linespoints linewidth 2 dashtype 2 linecolor 'black' title 'GMP Chudnovsky'$first_version"
    gnuplot <<EOF
set terminal $terminal size 800,1000
set output '$plot'
set multiplot layout 2,1
set logscale xy
set autoscale xfix
set offsets graph 0.05, graph 0.05, 0, 0
set format x '10^{%L}'
set xlabel 'decimals N'
set key top left
set grid
names = "Machin Gauss Klingenstierna Stoermer Takano"
set title 'Whole-program wall time against decimals'
set ylabel 'wall time (s)'
${curves//COLUMN/2}
set title 'Peak memory (largest resident set) against decimals'
set key bottom right
set ylabel 'peak memory (MiB)'
${curves//COLUMN/3}
unset multiplot
EOF
    echo "Plot: $plot"
else
    plot=""
    echo "gnuplot not found: no plot (Debian package gnuplot-nox)" >&2
fi

if [[ -s "$work/failures" ]]; then
    echo "whole_runs: $(wc -l <"$work/failures") run(s) failed or gave wrong decimals" >&2
    exit 1
fi

if [[ "${UPDATE_README:-0}" == 1 ]]; then
    page=docs/performance.md
    if ! grep -q '^<!-- whole-runs -->$' "$page" || ! grep -q '^<!-- /whole-runs -->$' "$page"; then
        echo "whole_runs: $page lacks the <!-- whole-runs --> ... <!-- /whole-runs --> markers" >&2
        exit 1
    fi
    awk -v table="$table" '
        /^<!-- whole-runs -->$/ { print; print ""; while ((getline line < table) > 0) print line; print ""; skip = 1; next }
        /^<!-- \/whole-runs -->$/ { skip = 0 }
        !skip' "$page" >"$work/performance.md"
    cp "$work/performance.md" "$page"
    if [[ -n "$plot" ]]; then
        cp "$plot" docs/whole_runs.png
    fi
    echo "$page updated${plot:+, plot copied to docs/whole_runs.png}"
fi
