#!/usr/bin/env bash
# Runs the window test under Wine and takes the screenshots it asks for:
#   window_test.sh WINE_RUN PREFIX ARTIFACTS TEST.exe QTVRemove.exe spawn_child.exe
# The test writes C:\qtv\screenshots\NAME.request holding the dialog's place (WxH+X+Y); the
# display is captured into ARTIFACTS/NAME.png and NAME.done is written back.
set -euo pipefail
wine_run=$1 prefix=$2 artifacts=$3
shift 3
# The display wine-run shows the test's windows on.
read -r -a displays <<< "${QTV_DISPLAYS:-}"
if [ -n "${displays[${QTV_DISPLAY_INDEX:-0}]:-}" ]; then
  export DISPLAY=${displays[${QTV_DISPLAY_INDEX:-0}]}
fi
requests=$prefix/drive_c/qtv/screenshots
mkdir -p "$artifacts" "$requests"
rm -f "$requests"/*

"$wine_run" "$@" &
test=$!
while kill -0 "$test" 2>/dev/null; do
  for request in "$requests"/*.request; do
    [ -e "$request" ] || continue
    name=$(basename "$request" .request)
    import -window root -crop "$(cat "$request")" +repage "$artifacts/$name.png" || true
    rm -f "$request"
    touch "$requests/$name.done"
  done
  sleep 0.1
done
wait "$test"
