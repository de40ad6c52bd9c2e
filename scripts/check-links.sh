#!/usr/bin/env bash
# Checks that every relative link and picture in README.md and docs/*.md leads to a file that
# exists, and that an anchor (page.md#heading or #heading) names a heading of that page.
# Web addresses are not followed. Prints each broken link; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# The anchors of a page's headings: lower case, punctuation other than - and _ dropped, spaces
# turned into dashes.
anchors() {
  grep -E '^#{1,6} ' "$1" | sed -E 's/^#+ +//' | tr '[:upper:]' '[:lower:]' |
    sed -E 's/[^a-z0-9 _-]//g; s/ /-/g'
}

broken=0
for page in README.md docs/*.md; do
  dir=$(dirname "$page")
  # Outside code blocks, every "](target)" of a link or a picture.
  targets=$(awk '/^```/ {code = !code; next} !code' "$page" |
    grep -oE '\]\([^) ]+\)' | sed -E 's/^\]\(//; s/\)$//') || true
  for target in $targets; do
    case "$target" in
      http://* | https://* | mailto:*) continue ;;
    esac
    file=${target%%#*}
    anchor=""
    [ "$file" != "$target" ] && anchor=${target#*#}
    if [ -z "$file" ]; then
      path=$page
    else
      path=$dir/$file
    fi
    if [ ! -e "$path" ]; then
      echo "$page: $target: no such file" >&2
      broken=1
    elif [ -n "$anchor" ] && ! anchors "$path" | grep -qxF -- "$anchor"; then
      echo "$page: $target: no such heading in $path" >&2
      broken=1
    fi
  done
done
if [ "$broken" -ne 0 ]; then
  exit 1
fi
echo "check-links: every relative link in README.md and docs/*.md resolves"
