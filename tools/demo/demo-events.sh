#!/usr/bin/env bash
# Turns a file of command lines into a simulator events file that sends them one after another,
# starting at START ms (comment lines and blank lines are left out).
set -euo pipefail
file=$1; start=${2:-5000}; step=${3:-20}
t=$start
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in ''|//*) continue ;; esac
  printf '%d send %s\\r\n' "$t" "${line//\\/\\\\}"
  t=$((t + step))
done < "$file"
