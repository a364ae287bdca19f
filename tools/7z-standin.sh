#!/usr/bin/env bash
# Behind 7z.exe (tools/SevenZipStandIn.cpp) for tests and the demo: runs the real 7-Zip
# with the same switches. Windows paths (D:/dir/a.7z, -oD:\dir) are mapped to the Linux
# directories behind this Wine prefix's drive links ($WINEPREFIX/dosdevices/d:), since
# Wine starts this script as a Linux program that knows nothing of drive letters.
# --done=PATH first: when 7-Zip has ended, its exit code is written to PATH (a Windows
# path), which 7z.exe waits for.
set -u
prefix=${WINEPREFIX:-$HOME/.wine}

to_linux() {
  local path=${1//\\//}
  if [[ $path =~ ^([A-Za-z]):/?(.*)$ ]]; then
    path="$prefix/dosdevices/${BASH_REMATCH[1],,}:/${BASH_REMATCH[2]}"
  fi
  printf '%s' "$path"
}

marker=
if [[ ${1:-} == --done=* ]]; then
  marker=$(to_linux "${1#--done=}")
  shift
fi

args=()
for arg in "$@"; do
  case $arg in
    -o*) args+=("-o$(to_linux "${arg#-o}")") ;;
    -*) args+=("$arg") ;;
    *) args+=("$(to_linux "$arg")") ;;
  esac
done
7z "${args[@]}" >/dev/null
status=$?
if [ -n "$marker" ]; then
  printf '%d\n' "$status" >"$marker.part" && mv -f "$marker.part" "$marker"
fi
exit $status
