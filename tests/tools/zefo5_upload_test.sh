#!/bin/sh
# zefo5-upload against the simulator on a pseudo-terminal: the demo project is built and uploaded
# with "xmp" and with "bdld", each checked by the display's read-back; the display then starts from
# its flash without a card; an upload the display refuses ends with the display's words and status 1.
#   zefo5_upload_test.sh TOOL SIMULATOR PACK PROJECT OTHER_IMAGE
set -u
tool="$1" sim="$2" pack="$3" project="$4" other="$5"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail=0
problem() {
    echo "zefo5-upload test: $*"
    fail=1
}

for mode in xmp bdld; do
    rm -f "$dir/flash.bin"
    if ! /usr/bin/python3 "$tool" --quiet --mode "$mode" --pack "$pack" --sim "$sim" \
        --sim-arg=--flash="$dir/flash.bin" "$project" 2> "$dir/log"; then
        problem "$mode upload failed:"
        cat "$dir/log"
    fi
    grep -q '^verified: CRC 0x[0-9A-F]\{4\} over 197012 bytes$' "$dir/log" || problem "$mode: no read-back: $(cat "$dir/log")"
    # A fresh start without a card: the image comes from the flash.
    printf 'ls\r' | "$sim" --flash "$dir/flash.bin" --display none > "$dir/out"
    want=$(printf ':loading 192KB bitmap/macro file from data flash\r>\rRecords: 9\r')
    got=$(head -c ${#want} "$dir/out")
    [ "$got" = "$want" ] || problem "$mode: the display did not start from its flash: $(od -c "$dir/out" | head -5)"
done

# Another image over the programmed flash without erasing: the display refuses the first line
# whose bits cannot be programmed.
/usr/bin/python3 "$tool" --quiet --no-erase --sim "$sim" --sim-arg=--flash="$dir/flash.bin" "$other" 2> "$dir/log"
status=$?
[ "$status" -eq 1 ] || problem "refusal: exit status $status, expected 1"
grep -q '^zefo5-upload: the display refused: .*Write to external memory failed!' "$dir/log" ||
    problem "refusal: $(cat "$dir/log")"

# Bad arguments: no display named, a file that is no image.
/usr/bin/python3 "$tool" "$project" 2> /dev/null
[ $? -eq 2 ] || problem "no --port or --sim: expected status 2"
printf 'hello' > "$dir/not.bin"
/usr/bin/python3 "$tool" --port /dev/null "$dir/not.bin" 2> "$dir/log"
grep -q 'is not a ZEFO5 resource image' "$dir/log" || problem "not an image: $(cat "$dir/log")"
exit $fail
