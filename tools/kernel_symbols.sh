#!/usr/bin/env bash
# Checks that the objects of a kernel set define no function outside the set's namespace. A
# function that the objects of two sets both define (an inline function of a header, a
# template instance) is one function to the linker, which keeps one of the copies: the AVX2
# set's copy could then run where the processor has no AVX2. Each set's code therefore lives
# in the namespace that PIDRM_KERNEL_SET names (arith/kernel_sets.h), and this check fails on
# any global function of the objects outside it. Local symbols are the objects' own, and data
# holds no instructions: the typeinfo of function types that Clang's sanitizers emit, or
# MinGW's .refptr.<name> pointers to the tables, alike in every object that has them.
#
# Usage: tools/kernel_symbols.sh NM SET OBJECT...   (NM: the toolchain's nm)
set -euo pipefail
nm=$1 set=$2
shift 2
# Global and weak functions (nm's T, W and indirect i) whose mangled names do not begin in
# the set's namespace (_ZN, then any qualifiers of a member function, then the namespace's
# length and name), demangled for the message.
outside=$("$nm" --defined-only "$@" | awk '$2 ~ /^[TWi]$/ { print $3 }' |
    grep -v -E "^_ZN[KVRO]*${#set}$set" | c++filt || true)
if [[ -n "$outside" ]]; then
    echo "kernel set $set defines functions outside namespace $set::" >&2
    echo "$outside" | head -n 20 >&2
    exit 1
fi
echo "kernel set $set: $# objects, every global function in $set::"
