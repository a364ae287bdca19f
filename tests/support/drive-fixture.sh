#!/bin/sh
# Linux side of DriveFixture (DriveFixture.h), started by the test program through
# CreateProcess from beside the test programs:
#   drive-fixture.sh map LETTER BYTES   fresh empty directory for the letter, a tmpfs of
#                                       BYTES bytes when BYTES > 0
#   drive-fixture.sh unmap LETTER       unmount and remove that directory
# Wine does not let the caller wait for a Linux process, so the answer goes to
# C:\drive-fixture\LETTER.status, written whole by a rename:
#   "ok DIR" | "nomount MESSAGE" | "error MESSAGE"
set -u
op=${1:-}
letter=${2:-}
bytes=${3:-0}
[ -n "${WINEPREFIX:-}" ] || { echo "drive-fixture.sh: WINEPREFIX is not set" >&2; exit 1; }
case $letter in
  [a-z]) ;;
  *) echo "drive-fixture.sh: bad drive letter '$letter'" >&2; exit 1 ;;
esac

dir=$WINEPREFIX/drive-fixture/$letter
status_dir=$WINEPREFIX/drive_c/drive-fixture

answer() {
  mkdir -p "$status_dir"
  printf '%s\n' "$*" >"$status_dir/$letter.tmp" && mv -f "$status_dir/$letter.tmp" "$status_dir/$letter.status"
  exit 0
}

release() {
  if mountpoint -q "$dir" 2>/dev/null; then
    # Lazily when a test still holds a file open on the drive.
    umount "$dir" 2>/dev/null || umount -l "$dir"
  fi
  rm -rf "$dir"
}

case $op in
  map)
    release
    mkdir -p "$dir" || answer "error cannot create $dir"
    if [ "$bytes" -gt 0 ]; then
      if ! out=$(mount -t tmpfs -o "size=$bytes,mode=0755" tmpfs "$dir" 2>&1); then
        rmdir "$dir"
        answer "nomount $out"
      fi
    fi
    answer "ok $dir"
    ;;
  unmap)
    release
    answer "ok"
    ;;
  *)
    answer "error unknown operation '$op'"
    ;;
esac
