#!/bin/sh
# The C host library builds for a bare-metal microcontroller (Cortex-M0, C99, warnings as errors) and
# needs nothing of its C library but memory and string functions: no heap, no stdio, no OS.
set -eu
cc=$1 src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cc" -std=c99 -mcpu=cortex-m0 -mthumb -Os -Wall -Wextra -Werror -pedantic -Wconversion -c "$src/zefo5.c" -o "$work/zefo5.o"
nm=$(dirname "$cc")/$(basename "$cc" | sed 's/gcc$/nm/')
bad=$("$nm" -u "$work/zefo5.o" | awk '{print $2}' | grep -v -x -E 'memchr|memcmp|memcpy|memset|strlen|__gnu_thumb1_case_[a-z]+|__aeabi_[a-z0-9]+' || true)
if [ -n "$bad" ]; then
  echo "the library calls more than memory and string functions: $bad"
  exit 1
fi
echo "zefo5.c builds bare-metal and calls only memory and string functions"
