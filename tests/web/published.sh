#!/usr/bin/env bash
# The ready card kept in docs/ is the card these sources build, byte for
# byte: holiday-card.html, index.html (the same card, for the site's root)
# and, where a site address gives one, the still beside them.
# Usage: published.sh BUILD_WEB_DIR DOCS_DIR
set -u
built=$1 docs=$2 stale=""
for file in holiday-card.html index.html; do
    cmp -s "$built/holiday-card.html" "$docs/$file" || stale="$stale $file"
done
if [ -e "$built/holiday-card.jpg" ] || [ -e "$docs/holiday-card.jpg" ]; then
    cmp -s "$built/holiday-card.jpg" "$docs/holiday-card.jpg" || stale="$stale holiday-card.jpg"
fi
[ -z "$stale" ] && exit 0
echo "docs/ is not the card these sources build (${stale# }): run tools/build-web --publish and commit docs/" >&2
exit 1
