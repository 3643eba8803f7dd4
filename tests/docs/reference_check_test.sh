#!/bin/sh
# The reference check fails where it should: a catalogue row without an entry, and an example whose
# recorded reply is not what the display answers. Both on a copy of the tree's catalogue and docs.
set -u
check=$1 build=$2 src=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/docs"
cp "$src/app/catalogue.cpp" "$work/app/"
cp -r "$src/docs/reference" "$work/docs/"

python3 "$check" "$build" --root "$work" --only '`vers`' > /dev/null 2>&1 || { echo "the copy does not pass"; exit 1; }

# A row of its own for a keyword nobody documented.
sed -i 's|^    PREFIX("\*ctype"|    EXACT("*undocumented", cmd_sys_ctype),\n&|' "$work/app/catalogue.cpp"
out=$(python3 "$check" "$build" --root "$work" --only '`vers`' 2>&1) && { echo "passed with an undocumented row"; exit 1; }
echo "$out" | grep -q "catalogue row '\*undocumented' has no entry" || { echo "no word of the row: $out"; exit 1; }
cp "$src/app/catalogue.cpp" "$work/app/"

# A reply that the firmware does not give.
sed -i 's|    < ZEFO5 V1.5.0 WVGA \\r|    < ZEFO5 V9.9.9 WVGA \\r|' "$work/docs/reference/system.md"
out=$(python3 "$check" "$build" --root "$work" --only '`vers`' 2>&1) && { echo "passed with a wrong reply"; exit 1; }
echo "$out" | grep -q "rows \['vers'\]" || { echo "the row is not named: $out"; exit 1; }
echo "$out" | grep -q "expected ZEFO5 V9.9.9 WVGA" || { echo "no expected reply: $out"; exit 1; }
echo "$out" | grep -q "actual   ZEFO5 V1.5.0 WVGA" || { echo "no actual reply: $out"; exit 1; }
echo "the reference check fails where it should"
