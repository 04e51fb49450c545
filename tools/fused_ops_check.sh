#!/usr/bin/env bash
# Counts the fused multiply-add instructions in the compiled program, build by build, and
# fails if there is any. Products round their coefficients to whole numbers and rely on
# every floating-point operation being rounded as written; a multiply-add rounds once where
# the source rounds twice.
#
#   tools/fused_ops_check.sh BUILD_DIR...
#
# Each BUILD_DIR is a configured and built CMake build of pidrm. Every object of the
# program's libraries (fft/, arith/, newton/, drm/, driver/), the kernel sets' included, is
# disassembled with the objdump
# of that build's compiler (CMAKE_OBJDUMP in its cache), and the instructions that multiply
# and add with one rounding are counted per folder:
#   x86:  vfmadd*, vfmsub*, vfnmadd*, vfnmsub*, vfmaddsub*, vfmsubadd* (FMA3 and FMA4),
#         v4fmadd*, v4fnmadd* (AVX-512), vfmaddc*, vfcmaddc* (complex, AVX-512 FP16)
#   ARM:  fmadd, fmsub, fnmadd, fnmsub, fmla, fmls, fcmla, fmlal(2), fmlsl(2), bfmla*,
#         fmmla, bfmmla, and the SVE forms fmad, fmsb, fnmad, fnmsb, fnmla, fnmls, ftmad
# Exit status 0 when every count is 0, 1 when some is not, 2 when a build cannot be read.
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 BUILD_DIR..." >&2
    exit 2
fi

folders=(fft arith newton drm driver)
fused='v4?fn?m(add|sub)[a-z0-9]*|vfc?maddc[a-z0-9]*|fn?m(add|sub)|fn?ml[as]|fml[as]l2?|fcmla|bfml[a-z0-9]*|b?fmmla|fn?mad|fn?msb|ftmad'

# The instructions of object $2, disassembled with objdump $1, whose mnemonic is a fused
# multiply-add: one line each, "  object: <function>: instruction", the object named $3.
fused_in() {
    "$1" -d --no-show-raw-insn "$2" |
        awk -F'\t' -v re="^($fused)$" -v object="$3" '
            /^[0-9a-f]+ <.*>:$/ { name = $0; sub(/^[0-9a-f]+ /, "", name); next }
            NF >= 2 { split($2, word, " "); if (word[1] ~ re) print "  " object ": " name " " $2 }'
}

status=0
width=32
for dir in "$@"; do ((${#dir} + 2 <= width)) || width=$((${#dir} + 2)); done
printf '%-*s' "$width" "fused multiply-adds per folder"
printf '%8s' "${folders[@]}"
printf '\n'
for dir in "$@"; do
    cache="$dir/CMakeCache.txt"
    objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$cache" 2>/dev/null || true)
    if [[ -z "$objdump" || ! -x "$objdump" ]]; then
        echo "fused_ops_check: no objdump in $cache (is $dir a configured build?)" >&2
        exit 2
    fi
    printf '%-*s' "$width" "$dir"
    found=""
    for folder in "${folders[@]}"; do
        shopt -s nullglob
        # The folder's objects in the program's library and in each kernel set's objects
        # (pidrm_kernels_<set>).
        objects=("$dir/CMakeFiles/pidrm_"{core,kernels_*}".dir/$folder/"*.{o,obj})
        shopt -u nullglob
        if [[ ${#objects[@]} -eq 0 ]]; then
            printf '\n'
            echo "fused_ops_check: no objects of $folder/ in $dir (not built?)" >&2
            exit 2
        fi
        count=0
        for object in "${objects[@]}"; do
            lines=$(fused_in "$objdump" "$object" "${object#"$dir/"}") || {
                echo "fused_ops_check: $objdump cannot read $object" >&2
                exit 2
            }
            if [[ -n "$lines" ]]; then
                count=$((count + $(wc -l <<<"$lines")))
                found+="$lines"$'\n'
            fi
        done
        printf '%8d' "$count"
    done
    printf '\n'
    if [[ -n "$found" ]]; then
        status=1
        head -n 20 <<<"$found"
    fi
done
if [[ $status -ne 0 ]]; then
    echo "fused_ops_check: FAILED, fused multiply-adds found" >&2
else
    echo "fused_ops_check: no fused multiply-add in any build"
fi
exit $status
