#!/usr/bin/env bash
# The installer's window on a real terminal (a pseudo-terminal from script(1)):
# drawn with box characters, raw keys taken, the terminal given back, exit
# code 0 however the window is closed.
set -u
build=$1
program="$(cd "$build" && pwd)/src/installer/CVCustomScrZipBase"
if [ ! -x "$program" ] || ! command -v script >/dev/null; then
  echo "FAIL: needs $program and script(1)" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

prefix() {  # prefix VALUE-LINE
  local p="$work/prefix.$RANDOM$RANDOM"
  mkdir -p "$p"
  printf 'WINE REGISTRY Version 2\n\n' >"$p/user.reg"
  [ -n "$1" ] && printf '[Software\\\\Medisoft\\\\Patient Accounting] 1700000000\n%s\n\n' "$1" >>"$p/user.reg"
  echo "$p"
}

# run NAME PREFIX KEYS... : each key is sent after a pause, and the input then
# stays open, so that the program must end on the keys themselves, not on the
# end of input. The screen is kept in $work/screen.
run() {
  local name=$1 p=$2 writer
  shift 2
  rm -f "$work/keys"
  mkfifo "$work/keys"
  (
    for key in "$@"; do
      sleep 0.4
      printf '%b' "$key"
    done
    exec sleep 60
  ) >"$work/keys" &
  writer=$!
  (cd "$work" && WINEPREFIX="$p" timeout 10 script -qfec \
      "stty cols 100 rows 30; '$program'; echo \"[exit \$?]\"" /dev/null) <"$work/keys" \
      >"$work/screen" 2>&1
  kill "$writer" 2>/dev/null
  wait "$writer" 2>/dev/null
  if grep -q '\[exit 0\]' "$work/screen" && grep -q $'\e\[?1049l' "$work/screen"; then
    echo "ok   $name"
    return 0
  fi
  echo "FAIL $name"
  tr -d '\r' <"$work/screen" | sed 's/\x1b\[[0-9;?]*[A-Za-z]/ /g' | tail -c 2000
  failures=$((failures + 1))
  return 1
}

expect() {  # expect NAME TEXT: the screen showed TEXT
  if grep -qF -- "$2" "$work/screen"; then echo "ok   $1"; else echo "FAIL $1: no '$2'"; failures=$((failures + 1)); fi
}

empty=$(prefix "")
run "Esc ends the program" "$empty" '\e' &&
  { expect "the caption bar" "Tessaline Install"; expect "the destination" 'C:\Program Files\Medisoft';
    expect "the frame" "┌"; expect "Exit" "Exit"; }
run "Alt+F4 (xterm) ends the program" "$empty" '\e[1;3S'
run "Alt+F4 (meta prefix) ends the program" "$empty" '\e\eOS'
run "Shift+Tab then Enter presses Exit" "$empty" '\e[Z' '\r'
run "Tab then Space presses Exit" "$empty" '\t' ' '
run "the error box takes Enter, then Esc ends" "$(prefix '"Program Path"=dword:0000000a')" '\r' '\e' &&
  expect "the error box's text" "Invalid data type for 'Program Path'"

[ $failures -eq 0 ] || { echo "$failures failed"; exit 1; }
