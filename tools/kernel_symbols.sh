#!/usr/bin/env bash
# Checks that the objects of a kernel set define nothing outside the set's namespace. A
# function that the objects of two sets both define (an inline function of a header, a
# template instance) is one function to the linker, which keeps one of the copies: the AVX2
# set's copy could then run where the processor has no AVX2. Each set's code therefore lives
# in the namespace that PIDRM_KERNEL_SET names (arith/kernel_sets.h), and this check fails on
# any global symbol of the objects outside it. Local symbols are the objects' own. So are
# MinGW's .refptr.<name> entries: read-only pointers to data defined elsewhere (the tables),
# which every object that reads the data carries, all alike; they hold no code.
#
# Usage: tools/kernel_symbols.sh NM SET OBJECT...   (NM: the toolchain's nm)
set -euo pipefail
nm=$1 set=$2
shift 2
# Global defined symbols, demangled; AddressSanitizer's markers name the symbol they guard.
outside=$("$nm" --defined-only "$@" | awk '$2 ~ /^[A-Z]$/ && $3 !~ /^\.refptr\./ { print $3 }' |
    sed 's/^__odr_asan\.//' | c++filt | grep -v "^$set::" || true)
if [[ -n "$outside" ]]; then
    echo "kernel set $set defines symbols outside namespace $set::" >&2
    echo "$outside" | head -n 20 >&2
    exit 1
fi
echo "kernel set $set: $# objects, every global symbol in $set::"
