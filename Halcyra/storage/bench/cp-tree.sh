#!/bin/sh
# Linux side of the drive-move benchmark: times `cp -r` of one drive's directory into
# another drive, then removes the copy again.
#   cp-tree.sh SOURCE TARGET STATUS    (Windows paths such as D:/Orbelune/420)
# Wine cannot wait for a Linux program, so the answer goes to STATUS, written whole by a
# rename: "ok SECONDS" or "error MESSAGE".
set -u
prefix=${WINEPREFIX:?WINEPREFIX is not set}

to_linux() {
  drive=$(printf '%s' "$1" | cut -c1 | tr 'A-Z' 'a-z')
  rest=$(printf '%s' "$1" | cut -c3- | tr '\\' '/')
  printf '%s/dosdevices/%s:%s' "$prefix" "$drive" "$rest"
}

source=$(to_linux "$1")
target=$(to_linux "$2")
status=$(to_linux "$3")

answer() {
  printf '%s\n' "$*" >"$status.part" && mv -f "$status.part" "$status"
  exit 0
}

mkdir -p "$(dirname "$target")" || answer "error cannot create the parent of $target"
start=$(date +%s.%N)
cp -r "$source" "$target" || answer "error cp -r failed"
end=$(date +%s.%N)
rm -rf "$target"
answer "ok $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }')"
