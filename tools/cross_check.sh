#!/usr/bin/env bash
# `make cross-check`: the program built for other systems and processors, run under their
# emulators, its decimals compared with GMP's.
#
# Builds, all optimised and without tests, in build-cross/:
#   x86_64                Linux x86-64, this machine's compiler (-march=native)
#   aarch64               Linux on 64-bit ARM, default armv8-a (cmake/aarch64-linux-gnu.cmake)
#   aarch64-neoverse-v1   the same for -mcpu=neoverse-v1 (armv8.4-a, fused complex products)
#   windows               Windows x86-64 by MinGW-w64 (cmake/mingw-w64-x86_64.cmake)
# Every build must compile without a warning, and its objects must hold no fused
# multiply-add (tools/fused_ops_check.sh).
#
# Runs, answers on stdin, each in a fresh directory: the two ARM programs under qemu-aarch64
# and the Windows program under wine, all five formulas at N = 1000 and 10000 and Machin at
# 100000; on Windows also all five at 1000000, where products reach full length. The Linux
# x86-64 program runs the same cases. Each run must exit with status 0 and write
# AtanDRM<ID>.txt whose N decimals are GMP's (bench/gmp_machin.cpp, built here natively).
# The file must be the Linux x86-64 program's byte for byte, but for the "Total Time" line
# and, on Windows, CRLF line ends in place of LF. On Windows a second run in one directory
# must replace the first's result file.
#
# Needs Debian's g++ cmake make libgmp-dev g++-aarch64-linux-gnu qemu-user
# g++-mingw-w64-x86-64 wine; as root with apt-get it installs the missing ones, otherwise it
# names them and stops. Settings from the environment: JOBS (build jobs, default 2),
# RUN_TIMEOUT (seconds per run, default 300), CROSS_DIR (default build-cross).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"
out=${CROSS_DIR:-build-cross}
jobs=${JOBS:-2}
run_timeout=${RUN_TIMEOUT:-300}
started=$(date +%s)
names=(Machin Gauss Klingenstierna Stoermer Takano)

# ---- Packages ----------------------------------------------------------------------------
# Installed where missing (as root with apt-get), otherwise named, and the check stops.
tools/packages.sh g++ cmake make libgmp-dev g++-aarch64-linux-gnu qemu-user g++-mingw-w64-x86-64 wine

mkdir -p "$out"
out=$(realpath "$out")
rm -rf "$out/failed"
work=$(mktemp -d)
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    if command -v wineserver >/dev/null && [[ -d "$WINEPREFIX" ]]; then wineserver -k 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

failures=()
fail() {
    echo "cross-check: FAILED: $*" >&2
    failures+=("$*")
}

# ---- Builds ------------------------------------------------------------------------------
builds=(x86_64 aarch64 aarch64-neoverse-v1 windows)
declare -A build_options=(
    [x86_64]=""
    [aarch64]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/aarch64-linux-gnu.cmake"
    [aarch64-neoverse-v1]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/aarch64-linux-gnu.cmake -DCMAKE_CXX_FLAGS=-mcpu=neoverse-v1"
    [windows]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/mingw-w64-x86_64.cmake"
)
declare -A warnings
for b in "${builds[@]}"; do
    echo "cross-check: building $b"
    # shellcheck disable=SC2086 # the options are words
    cmake -S . -B "$out/$b" -DCMAKE_BUILD_TYPE=Release -DPIDRM_TESTS=OFF ${build_options[$b]} \
        >"$out/$b.configure.log" 2>&1 || { cat "$out/$b.configure.log" >&2; exit 1; }
    # From scratch, so that every warning shows.
    cmake --build "$out/$b" --clean-first -j "$jobs" >"$out/$b.build.log" 2>&1 ||
        { cat "$out/$b.build.log" >&2; exit 1; }
    warnings[$b]=$(grep -c 'warning:' "$out/$b.build.log" || true)
    if [[ ${warnings[$b]} -ne 0 ]]; then
        grep 'warning:' "$out/$b.build.log" | head -n 5 >&2
        fail "$b build: ${warnings[$b]} warning(s), see $out/$b.build.log"
    fi
done

echo "cross-check: fused multiply-adds"
fused_report=$(cd "$out" && "$top/tools/fused_ops_check.sh" "${builds[@]}" 2>&1) || fail "fused multiply-adds in the program (below)"
echo "$fused_report"

# ---- GMP's decimals ----------------------------------------------------------------------
echo "cross-check: GMP reference"
g++ -O2 -std=c++17 bench/gmp_machin.cpp -o "$out/gmp_machin" -lgmpxx -lgmp
for n in 1000 10000 100000 1000000; do
    (cd "$work" && "$out/gmp_machin" "$n" "gmp_$n.out" >/dev/null)
    tail -c +3 "$work/gmp_$n.out" | head -c "$n" >"$work/gmp_$n.txt"
    [[ $(wc -c <"$work/gmp_$n.txt") -eq $n ]] || { echo "cross-check: gmp_machin gave no $n decimals" >&2; exit 1; }
done

# ---- Runs --------------------------------------------------------------------------------
# The first N decimals of a result file, as one string of digits (CR ignored).
decimals() {
    tr -d '\r' <"$1" | awk 'found { for (i = 2; i <= NF; ++i) printf "%s", $i; next } /Pi = 3\./ { found = 1 }' |
        head -c "$2"
}
# A result file with the figures of its "Total Time" line masked, their layout kept: the
# time differs from run to run, and the rounding error with the sin and cos of the C library
# (on Windows); with crlf, its LF line ends made CRLF first.
masked() {
    if [[ ${2:-} == crlf ]]; then perl -pe 's/\n/\r\n/' "$1"; else cat "$1"; fi |
        perl -pe 'if (/^  Total Time=/) { s/Time= [0-9]+/Time= 9/; s/[0-9]/9/g }'
}
# The rounding error of a result file.
rounding_error() {
    sed -n 's/.*Rounding Error= *\([^ \r]*\).*/\1/p' "$1" | head -n 1
}

declare -A program=(
    [x86_64]="$out/x86_64/pidrm"
    [aarch64]="qemu-aarch64 $out/aarch64/pidrm"
    [aarch64-neoverse-v1]="qemu-aarch64 $out/aarch64-neoverse-v1/pidrm"
    [windows]="wine $out/windows/pidrm.exe"
)
cases=()
for n in 1000 10000; do for id in 1 2 3 4 5; do cases+=("$id $n"); done; done
cases+=("1 100000")
declare -A extra_cases=([windows]="1 1000000,2 1000000,3 1000000,4 1000000,5 1000000")

if [[ ! -d "$WINEPREFIX" ]]; then
    echo "cross-check: preparing a wine prefix"
    wine cmd /c exit >/dev/null 2>&1 || true
fi

summary=()
runs=0
# Run program $1 (a build name) for formula $2 at N = $3, check it, keep its file in
# $work/<build>/AtanDRM<id>_<N>.txt.
check_run() {
    local b=$1 id=$2 n=$3 dir status=0 seconds verdict="ok" t0 t1 got
    dir=$(mktemp -d -p "$work")
    printf '%s\n%s\n' "$id" "$n" >"$dir/answers.txt"
    t0=$(date +%s.%N)
    # shellcheck disable=SC2086 # the emulator and the program are words
    (cd "$dir" && timeout "$run_timeout" ${program[$b]} <answers.txt >console.txt 2>&1) || status=$?
    t1=$(date +%s.%N)
    seconds=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.1f", b - a }')
    runs=$((runs + 1))
    local file="$dir/AtanDRM$id.txt" kept="$work/$b/AtanDRM${id}_$n.txt" linux="$work/x86_64/AtanDRM${id}_$n.txt"
    local ends=lf
    [[ $b != windows ]] || ends=crlf
    mkdir -p "$work/$b"
    if [[ $status -eq 124 ]]; then
        verdict="timed out after $run_timeout s"
    elif [[ $status -ne 0 ]]; then
        verdict="exit status $status"
    elif grep -q 'Error Stop' "$dir/console.txt"; then
        verdict="console reports an error stop"
    elif [[ ! -f "$file" ]]; then
        verdict="no AtanDRM$id.txt"
    elif [[ "$(decimals "$file" "$n")" != "$(cat "$work/gmp_$n.txt")" ]]; then
        got=$(decimals "$file" "$n" | wc -c)
        verdict="decimals differ from GMP's ($got decimals read)"
    elif [[ $b != x86_64 ]] && ! cmp -s <(masked "$file") <(masked "$linux" "$ends"); then
        verdict="file differs from the Linux x86-64 one (line ends: $ends)"
    fi
    [[ -f "$file" ]] && cp "$file" "$kept"
    local line error=""
    [[ ! -f "$file" ]] || error=$(rounding_error "$file")
    line=$(printf '%-20s %2s %-15s %8s %8s  %-14s' "$b" "$id" "${names[id - 1]}" "$n" "$seconds s" "$error")
    if [[ $verdict == ok ]]; then
        summary+=("$line  ok")
    else
        summary+=("$line  $verdict")
        # The run's directory (answers, console output, result file) stays for a look.
        local kept_dir="$out/failed/${b}_${id}_$n"
        rm -rf "$kept_dir" && mkdir -p "$out/failed" && mv "$dir" "$kept_dir"
        fail "$b ID $id N $n: $verdict (run kept in $kept_dir)"
        return
    fi
    rm -rf "$dir"
}

for b in "${builds[@]}"; do
    echo "cross-check: runs of $b"
    list=("${cases[@]}")
    # The Linux x86-64 program runs every case of the others: its files are their layout.
    for e in "${!extra_cases[@]}"; do
        if [[ $b == "$e" || $b == x86_64 ]]; then
            IFS=, read -r -a more <<<"${extra_cases[$e]}"
            list+=("${more[@]}")
        fi
    done
    for c in "${list[@]}"; do
        read -r id n <<<"$c"
        check_run "$b" "$id" "$n"
    done
done

# ---- An older result replaced on Windows --------------------------------------------------
# Two runs of ID 1 in one directory, N = 1000 then 100: the second's complete result must
# replace the first's AtanDRM1.txt (a plain rename does not replace a file on Windows), and
# no temporary file may be left.
echo "cross-check: windows replaces an older result"
dir=$(mktemp -d -p "$work")
replaced=ok
for n in 1000 100; do
    printf '1\n%s\n' "$n" >"$dir/answers.txt"
    # shellcheck disable=SC2086 # the emulator and the program are words
    (cd "$dir" && timeout "$run_timeout" ${program[windows]} <answers.txt >console.txt 2>&1) ||
        replaced="exit status $? at N = $n"
done
left=$(shopt -s nullglob && cd "$dir" && echo AtanDRM1.txt?*)
if [[ $replaced == ok && -n $left ]]; then
    replaced="temporary file left: $left"
elif [[ $replaced == ok && "$(decimals "$dir/AtanDRM1.txt" 1000)" != "$(head -c 100 "$work/gmp_1000.txt")" ]]; then
    replaced="AtanDRM1.txt does not hold the second run's 100 decimals"
fi
summary+=("$(printf '%-20s %2s %-15s %8s %8s  %-14s' windows 1 Machin "1000,100" "" "")  replaced: $replaced")
if [[ $replaced != ok ]]; then
    rm -rf "$out/failed/windows_replace" && mkdir -p "$out/failed" && mv "$dir" "$out/failed/windows_replace"
    fail "windows: a second run does not replace the first's result: $replaced (run kept in $out/failed/windows_replace)"
fi

# ---- Summary -----------------------------------------------------------------------------
elapsed=$(($(date +%s) - started))
echo
echo "==== cross-check summary ===="
for b in "${builds[@]}"; do printf '%-20s build: %s warning(s)\n' "$b" "${warnings[$b]}"; done
echo
echo "$fused_report"
echo
printf '%-20s %2s %-15s %8s %8s  %-14s %s\n' build ID formula N time "rounding error" result
printf '%s\n' "${summary[@]}"
echo
echo "$runs runs in $elapsed s (builds included)"
if [[ ${#failures[@]} -gt 0 ]]; then
    echo "cross-check: ${#failures[@]} FAILURE(S):"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "cross-check: PASSED: every build warning-free, no fused multiply-add, every run's decimals GMP's"
