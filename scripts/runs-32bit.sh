#!/usr/bin/env bash
# Whether this host can execute 32-bit x86 code, which the 32-bit Windows programs need
# under Wine: exits with 0 if it can; otherwise with 1, the reason on stdout. Some kernels
# run no 32-bit program at all ("Exec format error").
#
# KV_RUN_32BIT=no answers no without looking, to see what such a host does.
set -uo pipefail
. "$(dirname "$0")/wine-env.sh" # where Wine's 32-bit loader is
if [ "${KV_RUN_32BIT:-}" = no ]; then
    echo "KV_RUN_32BIT=no"
    exit 1
fi
[ -x "$WINE32" ] || { echo "Wine's 32-bit loader is missing (wine32:i386)"; exit 1; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# A static 32-bit program of a few bytes that only exits with 0 (Linux system call 1).
printf '.globl _start\n_start:\n movl $1, %%eax\n xorl %%ebx, %%ebx\n int $0x80\n' |
    as --32 -o "$dir/exit.o" && ld -m elf_i386 -o "$dir/exit" "$dir/exit.o" ||
    { echo "no 32-bit assembler and linker to probe with (binutils)"; exit 1; }
out=$("$dir/exit" 2>&1) || { echo "this host cannot execute 32-bit code: ${out:-it failed}"; exit 1; }
