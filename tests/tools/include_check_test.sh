#!/bin/sh
# The include check fails on an upward include, on an include between two rooms of one layer and on
# a folder missing from the layout table, and passes a tree that includes downwards only.
set -u
check="$1"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/low" "$tree/mid" "$tree/side" "$tree/high"
cat > "$tree/README.md" <<'TABLE'
| room | layer | what it holds today |
|---|---|---|
| `low/` | 0 | bottom |
| `mid/` | 1 | middle |
| `side/` | 1 | beside the middle |
| `high/` | 2 | top |
TABLE
printf '#include "low/a.h"\n#include <stdio.h>\n#include "b.h"\n' > "$tree/mid/b.h"
printf '#include "mid/b.h"\n#include "low/a.h"\n' > "$tree/high/c.cpp"
: > "$tree/low/a.h"
: > "$tree/side/d.h"
fail=0
expect() { # expect STATUS WHAT
    python3 "$check" "$tree" > /dev/null 2>&1
    got=$?
    if [ "$got" -ne "$1" ]; then
        echo "include check: $2: exit status $got, expected $1"
        fail=1
    fi
}
expect 0 "downward includes"
printf '#include "high/c.h"\n' > "$tree/low/up.h"
expect 1 "an upward include"
rm "$tree/low/up.h"
printf '#include "side/d.h"\n' > "$tree/mid/e.cpp"
expect 1 "an include within one layer"
rm "$tree/mid/e.cpp"
mkdir -p "$tree/stray" && : > "$tree/stray/f.cpp"
expect 1 "a folder missing from the table"
exit $fail
