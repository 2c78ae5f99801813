#!/usr/bin/env bash
# The installer's window driven through a pipe: keys in one per line, the
# transcript out, exit code 0 however the window is closed. Each run gets a
# prefix of its own whose user.reg holds what the case needs.
set -u
build=$1
program="$(cd "$build" && pwd)/src/installer/CVCustomScrZipBase"
if [ ! -x "$program" ]; then
  echo "FAIL: $program not built" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# hive VALUE-LINE: a prefix whose Patient Accounting key holds that line.
hive() {
  local prefix="$work/prefix.$RANDOM$RANDOM"
  mkdir -p "$prefix"
  {
    printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n'
    if [ -n "$1" ]; then
      printf '[Software\\\\Medisoft\\\\Patient Accounting] 1700000000\n#time=1d9a0b0c0d0e0f0\n%s\n\n' "$1"
    fi
  } >"$prefix/user.reg"
  echo "$prefix"
}

# check NAME PREFIX KEYS EXPECTED: runs the program in a scratch folder.
check() {
  local name=$1 prefix=$2 keys=$3 expected=$4 actual rc
  actual=$(cd "$work" && printf '%b' "$keys" | WINEPREFIX="$prefix" "$program" 2>"$work/stderr")
  rc=$?
  if [ "$actual" != "$(printf '%b' "$expected")" ] || [ $rc -ne 0 ]; then
    echo "FAIL $name (exit code $rc)"
    echo "--- expected"; printf '%b\n' "$expected"
    echo "--- actual"; printf '%s\n' "$actual"
    echo "--- stderr"; cat "$work/stderr"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

shown='[window] Tessaline Install\n[destination] C:\\Program Files\\Medisoft\n[focus] Install'
empty=$(hive "")

check "Esc ends at once" "$empty" 'Esc\n' "$shown"
check "the end of input closes the window" "$empty" '' "$shown"
check "Alt+F4 closes the window" "$empty" 'Alt+F4\nTab\n' "$shown"
check "Tab and Shift+Tab move between the buttons" "$empty" 'Tab\nShift+Tab\nTab\nEnter\n' \
  "$shown\n[focus] Exit\n[focus] Install\n[focus] Exit"
check "Exit by Space, keys after it unread" "$empty" 'Tab\nSpace\nShift+Tab\n' "$shown\n[focus] Exit"
check "Shift+Esc does not exit" "$empty" 'Shift+Esc\nTab\nEsc\n' "$shown\n[focus] Exit"
check "unknown keys are skipped" "$empty" 'Hyper+Q\n\nTab\n' "$shown\n[focus] Exit"
check "the folder is shown as the registry has it" "$(hive '"Program Path"="d:\\medisoft"')" 'Esc\n' \
  '[window] Tessaline Install\n[destination] d:\\medisoft\n[focus] Install'
check "an accented folder comes out as UTF-8" "$(hive '"Program Path"="c:\\données"')" 'Esc\n' \
  '[window] Tessaline Install\n[destination] c:\\données\n[focus] Install'
check "an empty Program Path gives the default" "$(hive '"Program Path"=""')" 'Esc\n' "$shown"
check "a numeric Program Path: the error box first, then an empty destination" \
  "$(hive '"Program Path"=dword:0000000a')" 'Enter\nEsc\n' \
  "[error] Cvcustomscrzipbase: Invalid data type for 'Program Path'\n[window] Tessaline Install\n[destination] \n[focus] Install"

[ $failures -eq 0 ] || { echo "$failures failed"; exit 1; }
