#!/usr/bin/env bash
# `make cross-check`: the release archives' programs and the program built for other
# processors, run natively and under emulators, their decimals compared with GMP's.
#
# Builds, all optimised and without tests:
#   build-dist/...        the release archives of make dist (tools/dist.sh, from scratch):
#                         the portable program, linked statically, for Linux x86-64, Linux on
#                         64-bit ARM (default armv8-a) and Windows x86-64 (MinGW-w64)
#   x86_64                in build-cross/: Linux x86-64 for this machine (-DPIDRM_NATIVE=ON),
#                         the reference
#   aarch64-neoverse-v1   in build-cross/: Linux on ARM for -mcpu=neoverse-v1 (armv8.4-a,
#                         fused complex products)
# Every build must compile without a warning, and its objects must hold no fused
# multiply-add (tools/fused_ops_check.sh). The kernel sets' objects of the release builds
# must define nothing outside their set's namespace (tools/kernel_symbols.sh, with each
# toolchain's nm: on Windows too, where the tests do not run).
#
# Programs, those of the archives unpacked from dist/:
#   x86_64                 build-cross/x86_64/pidrm, natively
#   x86_64-portable        the x86-64 .tar.gz's bin/pidrm, natively
#   x86_64-haswell         the same under qemu-x86_64 -cpu Haswell: AVX2 and FMA
#   x86_64-haswell-nofma   the same under -cpu Haswell,-fma: AVX2 without FMA
#   x86_64-qemu64          the same under -cpu qemu64: the x86-64 baseline, SSE2, no AVX
#   aarch64                the ARM .tar.gz's bin/pidrm under qemu-aarch64
#   aarch64-neoverse-v1    build-cross/aarch64-neoverse-v1/pidrm under qemu-aarch64
#   windows                the .zip's pidrm.exe under wine
# Under each emulated x86-64 processor qemu logs the instructions it translates in a run of
# Machin at N = 1000, and the kernel set whose functions they lie in must be the one the
# processor calls for: baseline on qemu64, avx2 on the two Haswells.
#
# Runs, answers on stdin, each in a fresh directory: the ARM programs and the Windows
# program all five formulas at N = 1000 and 10000 and Machin at 100000; on Windows also all
# five at 1000000, where products reach full length. The emulated x86-64 processors run all
# five at 20000. The two x86-64 programs run natively run every case. Each run must exit
# with status 0 and write AtanDRM<ID>.txt whose N decimals are GMP's (bench/gmp_machin.cpp,
# built here natively).
# The file must be the Linux x86-64 program's byte for byte, but for the figures of the time
# on the "Total Time" line and, on Windows, CRLF line ends in place of LF. The rounding error
# on that line is the same everywhere: the transforms' tables do not come from the C
# library's sin and cos, which differ from system to system (and on x86-64 Linux with FMA).
# On Windows a second run in one directory must replace the first's result file.
#
# Needs Debian's g++ cmake make libgmp-dev g++-aarch64-linux-gnu qemu-user
# g++-mingw-w64-x86-64 wine unzip (and those of tools/dist.sh); as root with apt-get it
# installs the missing ones, otherwise it names them and stops. Settings from the
# environment: JOBS (build jobs, default 2), RUN_TIMEOUT (seconds per run, default 300),
# CROSS_DIR (default build-cross).
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
tools/packages.sh g++ cmake make libgmp-dev g++-aarch64-linux-gnu qemu-user g++-mingw-w64-x86-64 wine unzip

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
echo "cross-check: make dist"
JOBS=$jobs tools/dist.sh
dist_builds=(linux-x86_64 linux-aarch64 windows-x86_64)
builds=(x86_64 aarch64-neoverse-v1)
declare -A build_options=(
    [x86_64]="-DPIDRM_NATIVE=ON"
    [aarch64-neoverse-v1]="-DCMAKE_TOOLCHAIN_FILE=$top/cmake/aarch64-linux-gnu.cmake -DCMAKE_CXX_FLAGS=-mcpu=neoverse-v1"
)
declare -A warnings
for b in "${dist_builds[@]}"; do
    warnings[$b]=$(grep -c 'warning:' "build-dist/$b.build.log" || true)
    if [[ ${warnings[$b]} -ne 0 ]]; then
        grep 'warning:' "build-dist/$b.build.log" | head -n 5 >&2
        fail "$b build: ${warnings[$b]} warning(s), see build-dist/$b.build.log"
    fi
done
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

builds_done=$(date +%s)

echo "cross-check: fused multiply-adds"
build_dirs=("${dist_builds[@]/#/build-dist/}")
for b in "${builds[@]}"; do build_dirs+=("$(realpath --relative-to="$top" "$out/$b")"); done
fused_report=$("$top/tools/fused_ops_check.sh" "${build_dirs[@]}" 2>&1) || fail "fused multiply-adds in the program (below)"
echo "$fused_report"

echo "cross-check: kernel sets' symbols"
symbols_report=""
for b in "${dist_builds[@]}"; do
    nm=$(sed -n 's/^CMAKE_NM:FILEPATH=//p' "build-dist/$b/CMakeCache.txt")
    for dir in "build-dist/$b/CMakeFiles/pidrm_kernels_"*.dir; do
        set=${dir##*/pidrm_kernels_}
        set=${set%.dir}
        shopt -s nullglob
        objects=("$dir/"*/*.{o,obj})
        shopt -u nullglob
        line=$(tools/kernel_symbols.sh "$nm" "$set" "${objects[@]}" 2>&1) || fail "$b: kernel set $set (below)"
        symbols_report+=$(printf '%-20s %s' "$b" "$line")$'\n'
    done
done
echo -n "$symbols_report"

# ---- The archives' programs --------------------------------------------------------------
version=$(sed -n 's/^project(pidrm VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
unpacked=$work/dist
mkdir -p "$unpacked"
tar xzf "dist/pidrm-$version-linux-x86_64.tar.gz" -C "$unpacked"
tar xzf "dist/pidrm-$version-linux-aarch64.tar.gz" -C "$unpacked"
unzip -q "dist/pidrm-$version-windows-x86_64.zip" -d "$unpacked"
portable=$unpacked/pidrm-$version-linux-x86_64/bin/pidrm

# ---- GMP's decimals ----------------------------------------------------------------------
echo "cross-check: GMP reference"
g++ -O2 -std=c++17 -I . bench/gmp_machin.cpp -o "$out/gmp_machin" -lgmpxx -lgmp
for n in 1000 10000 20000 100000 1000000; do
    (cd "$work" && "$out/gmp_machin" "$n" "gmp_$n.out" >/dev/null)
    tail -c +3 "$work/gmp_$n.out" | head -c "$n" >"$work/gmp_$n.txt"
    [[ $(wc -c <"$work/gmp_$n.txt") -eq $n ]] || { echo "cross-check: gmp_machin gave no $n decimals" >&2; exit 1; }
done

# ---- Kernel sets chosen ------------------------------------------------------------------
declare -A program=(
    [x86_64]="$out/x86_64/pidrm"
    [x86_64-portable]="$portable"
    [x86_64-haswell]="qemu-x86_64 -cpu Haswell $portable"
    [x86_64-haswell-nofma]="qemu-x86_64 -cpu Haswell,-fma $portable"
    [x86_64-qemu64]="qemu-x86_64 -cpu qemu64 $portable"
    [aarch64]="qemu-aarch64 $unpacked/pidrm-$version-linux-aarch64/bin/pidrm"
    [aarch64-neoverse-v1]="qemu-aarch64 $out/aarch64-neoverse-v1/pidrm"
    [windows]="wine $unpacked/pidrm-$version-windows-x86_64/pidrm.exe"
)
emulated=(x86_64-haswell x86_64-haswell-nofma x86_64-qemu64)
declare -A expected_set=([x86_64-haswell]=avx2 [x86_64-haswell-nofma]=avx2 [x86_64-qemu64]=baseline)
echo "cross-check: kernel sets chosen under qemu-x86_64"
# The functions of the kernel sets, "start size set", from the symbols of the program as built
# (the archive's is stripped, which moves no code: their .text sections must be the same).
built=build-dist/linux-x86_64/pidrm
nm -C -S --defined-only "$built" | awk '$4 ~ /^(baseline|avx2)::/ { split($4, part, "::"); print $1, $2, part[1] }' \
    >"$work/kernel_functions"
objcopy -O binary --only-section=.text "$built" "$work/text.built"
objcopy -O binary --only-section=.text "$portable" "$work/text.packed"
cmp -s "$work/text.built" "$work/text.packed" || fail "the x86-64 archive's program is not $built's code"
sets_report=""
for b in "${emulated[@]}"; do
    dir=$(mktemp -d -p "$work")
    printf '1\n1000\n' >"$dir/answers.txt"
    # shellcheck disable=SC2086 # the emulator and the program are words
    (cd "$dir" && ${program[$b]/#qemu-x86_64/qemu-x86_64 -d in_asm -D asm.log} <answers.txt >/dev/null 2>&1) ||
        fail "$b: the run logging its instructions failed"
    # Instructions translated, per set.
    read -r in_baseline in_avx2 < <(perl -e '
        open(my $f, "<", shift) or die;
        my @functions = map { my ($a, $s, $set) = split; [hex $a, hex($a) + hex($s), $set] } <$f>;
        my %n = (baseline => 0, avx2 => 0);
        while (<>) {
            next unless /^0x([0-9a-f]+):/;
            my $at = hex $1;
            for (@functions) { if ($at >= $_->[0] && $at < $_->[1]) { $n{$_->[2]}++; last } }
        }
        print "$n{baseline} $n{avx2}\n"' "$work/kernel_functions" "$dir/asm.log")
    chosen=none
    if [[ $in_avx2 -gt 0 && $in_baseline -eq 0 ]]; then chosen=avx2; fi
    if [[ $in_baseline -gt 0 && $in_avx2 -eq 0 ]]; then chosen=baseline; fi
    line=$(printf '%-20s kernel set run: %-8s (instructions translated: %d of baseline::, %d of avx2::)' \
        "$b" "$chosen" "$in_baseline" "$in_avx2")
    sets_report+=$line$'\n'
    [[ $chosen == "${expected_set[$b]}" ]] || fail "$b runs kernel set $chosen, not ${expected_set[$b]}"
    rm -rf "$dir"
done
echo -n "$sets_report"

# ---- Runs --------------------------------------------------------------------------------
# The first N decimals of a result file, as one string of digits (CR ignored).
decimals() {
    tr -d '\r' <"$1" | awk 'found { for (i = 2; i <= NF; ++i) printf "%s", $i; next } /Pi = 3\./ { found = 1 }' |
        head -c "$2"
}
# A result file with the figures of the time on its "Total Time" line masked, their layout
# kept, for the time differs from run to run; with crlf, its LF line ends made CRLF first.
masked() {
    if [[ ${2:-} == crlf ]]; then perl -pe 's/\n/\r\n/' "$1"; else cat "$1"; fi |
        perl -pe 'if (/^  Total Time=/) { s/Time= [0-9]+/Time= 9/; s/(Time= 9\.)([0-9]+)/$1 . "9" x length $2/e }'
}
# The rounding error of a result file.
rounding_error() {
    sed -n 's/.*Rounding Error= *\([^ \r]*\).*/\1/p' "$1" | head -n 1
}

# In the order of the runs: the reference, x86_64, first.
runs_order=(x86_64 x86_64-portable x86_64-haswell-nofma x86_64-haswell x86_64-qemu64 aarch64 aarch64-neoverse-v1 windows)
# The cases, "ID N" separated by commas. The x86-64 programs run natively run every case of
# the others: the reference's files are their layout.
short=""
for n in 1000 10000; do for id in 1 2 3 4 5; do short+="$id $n,"; done; done
short+="1 100000"
at_20000="1 20000,2 20000,3 20000,4 20000,5 20000"
full_length="1 1000000,2 1000000,3 1000000,4 1000000,5 1000000"
declare -A cases=(
    [x86_64]="$short,$at_20000,$full_length"
    [x86_64-portable]="$short,$at_20000,$full_length"
    [x86_64-haswell]="$at_20000"
    [x86_64-haswell-nofma]="$at_20000"
    [x86_64-qemu64]="$at_20000"
    [aarch64]="$short"
    [aarch64-neoverse-v1]="$short"
    [windows]="$short,$full_length"
)

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
    # qemu warns of features of the processor model that it cannot emulate (none used here).
    sed -i "/TCG doesn't support requested feature/d" "$dir/console.txt"
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
        verdict="file differs from the x86_64 one (line ends: $ends)"
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

for b in "${runs_order[@]}"; do
    echo "cross-check: runs of $b"
    IFS=, read -r -a list <<<"${cases[$b]}"
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
for b in "${dist_builds[@]}" "${builds[@]}"; do printf '%-20s build: %s warning(s)\n' "$b" "${warnings[$b]}"; done
echo
echo "$fused_report"
echo
echo -n "$symbols_report"
echo
echo -n "$sets_report"
echo
printf '%-20s %2s %-15s %8s %8s  %-14s %s\n' program ID formula N time "rounding error" result
printf '%s\n' "${summary[@]}"
echo
echo "$runs runs in $elapsed s (builds included: $((builds_done - started)) s)"
if [[ ${#failures[@]} -gt 0 ]]; then
    echo "cross-check: ${#failures[@]} FAILURE(S):"
    printf '  %s\n' "${failures[@]}"
    exit 1
fi
echo "cross-check: PASSED: every build warning-free, no fused multiply-add, kernel sets apart and chosen right, every run's decimals GMP's"
