#!/usr/bin/env bash
# copy_screenshots.sh [BUILD_TREE]
# Copies the docs' screenshots of the desktop sample from the last run of
# the desktop tests in BUILD_TREE (default build/win32) into docs/images/.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shots=${1:-$root/build/win32}/tests/desktop/screenshots
declare -A pictures=(
  [login-window-sign-in.png]=alice-sign-in.png
  [login-window-card-prompt.png]=carol_card-card-prompt.png
  [login-window-success.png]=alice-result.png
  [login-window-waiting.png]=udp_silence-waiting.png
  [login-window-chinese.png]=alice_chinese-result.png
  [login-window-check.png]=check_udp_silent-check.png
  [login-window-english-windows.png]=zhangsan_english_windows-result.png
)
mkdir -p "$root/docs/images"
for picture in "${!pictures[@]}"; do
  source=$shots/${pictures[$picture]}
  [[ -f $source ]] || { echo "copy_screenshots: no $source; run ctest -L desktop first" >&2; exit 1; }
  cp "$source" "$root/docs/images/$picture"
  echo "docs/images/$picture"
done
