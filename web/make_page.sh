#!/usr/bin/env bash
# Makes the browser card's one HTML file: the page around the program, with
# the pictures and the tune inside it (base64; the tune as AAC in MP4, a
# tenth of the WAV's size, which every browser decodes), the page's own
# scripts (the video maker bundled with mediabunny by esbuild, both from
# web/node_modules, which tools/build-web installs), and the sender's name in
# its editable block.
# Usage: make_page.sh PAGE_DIR PROGRAM.js NAME ASSETS_DIR STILL.jpg OUTPUT
set -euo pipefail
pages=$1 program=$2 name=$3 assets=$4 still=$5 output=$6

# The page carries UTF-8 text. The name file is the desktop card's, whose
# letters are Windows-1252; one that is already UTF-8 is taken as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
name_text=$work/name tune=$work/ha_xmas.m4a video_js=$work/video.js
if ! iconv -f UTF-8 -t UTF-8 "$name" >"$name_text" 2>/dev/null &&
   ! iconv -f CP1252 -t UTF-8 "$name" >"$name_text" 2>/dev/null; then
    echo "$name: neither UTF-8 nor Windows-1252 text" >&2
    exit 1
fi
# The card's label (and its still's text) until the page's script gives it
# the name as the card lays it out: the name's lines on one line, as text.
label="HAPPY HOLIDAYS AND A HAPPY NEW YEAR FROM $(tr '\r\n\t' '   ' <"$name_text")"
label=$(printf '%s' "$label" | sed 's/&/\&amp;/g; s/"/\&quot;/g; s/</\&lt;/g; s/  */ /g; s/ $//')
[ -s "$still" ] || { echo "$still: no still of the card (tools/build-web draws it)" >&2; exit 1; }

if ! "$pages/node_modules/.bin/esbuild" "$pages/video.js" --bundle --minify --format=iife --target=es2020 \
        --log-level=warning --outfile="$video_js"; then
    echo "$pages/video.js: cannot be bundled (is web/node_modules installed? tools/build-web does it)" >&2
    exit 1
fi

# A script element ends at "</script" (and misreads one after "<!--").
for part in "$name_text" "$program" "$pages/card_name.js" "$pages/page.js" "$video_js"; do
    if grep -qiF -e '</script' -e '<!--' "$part"; then
        [ "$part" = "$name_text" ] && part=$name
        echo "$part: holds \"</script\" or \"<!--\", which would end the page's script early" >&2
        exit 1
    fi
done

# The same bytes from the same WAV on every build: no encoder tag or date,
# and the index first, so a player can start before the whole file is in.
if ! ffmpeg -loglevel error -y -i "$assets/ha_xmas.wav" -c:a aac -b:a 56k -map_metadata -1 -fflags +bitexact \
        -flags:a +bitexact -movflags +faststart "$tune"; then
    echo "$assets/ha_xmas.wav: cannot be encoded as AAC" >&2
    exit 1
fi

while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
    *@NAME@*) printf '%s' "${line%%@NAME@*}"; cat "$name_text"; printf '%s\n' "${line#*@NAME@}" ;;
    *@STILL@*) line=${line//@LABEL@/"$label"}; printf '%s%s%s\n' "${line%%@STILL@*}" "$(base64 -w0 "$still")" "${line#*@STILL@}" ;;
    *@LABEL@*) printf '%s\n' "${line//@LABEL@/"$label"}" ;;
    @ASSETS@)
        for file in "$assets/tormbriskchristmas.png" "$assets/font.png" "$tune"; do
            printf "  '/assets/%s': '%s',\n" "$(basename "$file")" "$(base64 -w0 "$file")"
        done ;;
    @NAME_JS@) cat "$pages/card_name.js" ;;
    @PAGE_JS@) cat "$pages/page.js" ;;
    @VIDEO_JS@) cat "$video_js" ;;
    @PROGRAM@) cat "$program"; echo ;;
    *) printf '%s\n' "$line" ;;
    esac
done <"$pages/page.html" >"$output.new"
mv "$output.new" "$output"
