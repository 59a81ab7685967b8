#!/usr/bin/env bash
# The generator writes the committed assets again, byte for byte.
# Usage: regenerate_assets.sh MAKE_ASSETS FONT SOURCE_DIR WORK_DIR
set -euo pipefail
make_assets=$1 font=$2 source=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
"$make_assets" "$font" "$work"
status=0
for file in font.png tormbriskchristmas.png ha_xmas.wav; do
    if ! cmp -s "$work/$file" "$source/assets/$file"; then
        echo "FAIL: assets/$file differs from what the generator writes" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "ok: all three assets regenerate identically"
exit $status
