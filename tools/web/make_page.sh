#!/usr/bin/env bash
# Makes the browser card's one HTML file: the page around the program, with
# the pictures and the tune inside it (base64) and the sender's name in its
# editable block. Usage: make_page.sh PAGE PROGRAM.js NAME ASSETS_DIR OUTPUT
set -euo pipefail
page=$1 program=$2 name=$3 assets=$4 output=$5

# The name stands in the page as it is; the page can carry only UTF-8 text,
# and a script element ends at "</script" (and misreads one after "<!--").
iconv -f UTF-8 -t UTF-8 "$name" >/dev/null 2>&1 || { echo "$name: not UTF-8 text, which the page cannot carry" >&2; exit 1; }
if grep -qiF -e '</script' -e '<!--' "$name" "$program"; then
    echo "$name or $program: holds \"</script\" or \"<!--\", which would end the page's script early" >&2
    exit 1
fi

while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
    *@NAME@*) printf '%s' "${line%%@NAME@*}"; cat "$name"; printf '%s\n' "${line#*@NAME@}" ;;
    @ASSETS@)
        for file in tormbriskchristmas.png font.png ha_xmas.wav; do
            printf "  '/assets/%s': '%s',\n" "$file" "$(base64 -w0 "$assets/$file")"
        done ;;
    @PROGRAM@) cat "$program"; echo ;;
    *) printf '%s\n' "$line" ;;
    esac
done <"$page" >"$output.new"
mv "$output.new" "$output"
