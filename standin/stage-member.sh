#!/bin/sh
# stage-member.sh bin|ini SOURCE TARGET "YYYY-MM-DD hh:mm:ss"
# Copies one payload member into the staging folder and gives it its fixed modification time
# (UTC). Settings files go from UTF-8/LF to Shift-JIS (code page 932)/CR LF on the way.
set -eu
kind=$1 source=$2 target=$3 time=$4
case "$kind" in
  bin) cp "$source" "$target.tmp" ;;
  ini) sed 's/$/\r/' "$source" | iconv -f UTF-8 -t CP932 > "$target.tmp" ;;
  *) echo "stage-member.sh: unknown kind $kind" >&2; exit 2 ;;
esac
touch -d "$time UTC" "$target.tmp"
mv "$target.tmp" "$target"
