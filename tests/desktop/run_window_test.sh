#!/usr/bin/env bash
# run_window_test.sh WINE_RUN WINEPREFIX SCREENSHOTS DRIVER [ARGS...]
# Runs the window driver under Wine on an X server of its own (Xvfb picks a
# free display number), takes the screenshots it asks for into
# SCREENSHOTS-NAME.png, and exits with its status.
set -uo pipefail
wine_run=$1 prefix=$2 screenshots=$3
shift 3

display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null; kill "$xvfb_pid" 2>/dev/null; rm -f "$display_file"' EXIT
until [[ $(cat "$display_file") == *[0-9] ]]; do
  kill -0 "$xvfb_pid" 2>/dev/null || { echo "run_window_test: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY=:$(cat "$display_file")

# No window manager runs on the display: Wine draws the title bars itself
# and does not wait for a window manager to withdraw a closed window.
"$wine_run" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
# Windows of every language link the dialog font to an East Asian font for
# the characters it lacks; Wine does so only under a Chinese locale.
for face in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2'; do
  "$wine_run" "$prefix" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null
done
mkdir -p "$(dirname "$screenshots")"
coproc driver { "$wine_run" "$prefix" "$@"; }
driver_pid=$driver_PID
exec {from_driver}<&"${driver[0]}" {to_driver}>&"${driver[1]}"
while IFS= read -r line <&$from_driver; do
  line=${line%$'\r'}
  if [[ $line == snap\ * ]]; then
    read -r _ name x y width height <<<"$line"
    xwd -root -silent | convert xwd:- -crop "${width}x${height}+${x}+${y}" +repage "$screenshots-$name.png"
    echo taken >&$to_driver
  else
    echo "$line"
  fi
done
wait "$driver_pid"
