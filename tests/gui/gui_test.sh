#!/usr/bin/env bash
# The graphical error dialog driven as a user would, under an Xvfb of its
# own: keys, mnemonics, the initial focus, the details button clicked with
# the mouse, window heights and places, a comment typed fast and edited, saved
# through the file chooser (over an existing file, and without an
# extension), a print to PDF read back with pdftotext, the hand-over to the
# application's main window; where GTK runs when reports come from threads
# and from the application's own GTK main loop (no GLib criticals, bounded
# waits), two reports at once, parents that are no windows, a large font,
# and the X server going away after and during a dialog. Every wait has a
# deadline.
#
#   gui_test.sh PROBE [SCREENSHOT-DIR]
# With SCREENSHOT-DIR (and ZKQ_WRITE_SCREENSHOTS=1) the README's two
# screenshots are written there.
set -u
probe=$(readlink -f "$1")
shots=${2:-}
for tool in Xvfb xdotool pdftotext pdfinfo; do
  command -v $tool >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done

work=$(mktemp -d /tmp/zkq-gui.XXXXXX)
export HOME=$work/home
mkdir -p "$HOME"
cd "$work"
failures=0
checks=0

# An X server on the first free display from :70, ready for clients.
start_x() {
  for n in $(seq 70 99); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:$n
    break
  done
  for i in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}
probePid=
cleanup() {
  [ -n "$probePid" ] && kill "$probePid" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  if [ "$failures" = 0 ]; then rm -rf "$work"; else echo "kept for inspection: $work"; fi
}
trap cleanup EXIT
start_x

export ORNEH_DIALOG=gui NO_AT_BRIDGE=1

check() {  # name, then a command that must succeed
  local name=$1; shift
  checks=$((checks + 1))
  if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

# Starts the probe: language, style, caption, further probe arguments.
start() {
  local lang=$1 style=$2 caption=$3; shift 3
  ORNLANG=$lang timeout 120 "$probe" report "$style" "$caption" "$@" >"$work/out" 2>"$work/err" &
  probePid=$!
}

# The id of the window called exactly $1, within 20 s.
window() {
  local id
  for i in $(seq 200); do
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1)
    if [ -n "$id" ]; then echo "$id"; return 0; fi
    sleep 0.1
  done
  return 1
}

# Focuses window $1 and sends keys.
keys() {
  local id=$1; shift
  timeout 10 xdotool windowfocus --sync "$id" 2>/dev/null
  timeout 10 xdotool key --delay 40 "$@"
  sleep 0.3
}

height() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\)/\1/p'; }
# The height of window $1 once it is no longer $2 (or after 5 s).
height_change() {
  local h
  for i in $(seq 50); do
    h=$(height "$1")
    [ "$h" != "$2" ] && break
    sleep 0.1
  done
  echo "$h"
}
# Whether a window named $1 exists.
exists() { [ -n "$(xdotool search --name "^$1\$" 2>/dev/null)" ]; }
width() { xdotool getwindowgeometry "$1" | sed -n 's/.*Geometry: \([0-9]*\)x.*/\1/p'; }

# The probe's result after the dialog closed, within 20 s: in $answer, its
# exit status in $status, the GLib criticals and warnings it logged in
# $criticals. result prints the answer.
finish() {
  for i in $(seq 200); do
    kill -0 "$probePid" 2>/dev/null || break
    sleep 0.1
  done
  wait "$probePid" 2>/dev/null
  status=$?
  probePid=
  criticals=$(sed -n 's/^criticals=//p' "$work/out")
  answer=$(sed -n 's/^result=//p' "$work/out")
}
result() { finish; echo "$answer"; }

# One dialog per answer: the style, the keys, the result wanted.
answer() {
  local style=$1 want=$3
  start en "$style" "Answer $style"
  local id
  id=$(window "Answer $style") || { check "dialog $style appears" false; return; }
  keys "$id" $2
  check "style $style, keys $2: result $want" test "$(result)" = "$want"
}
answer 10 Return 1
answer 14 space 6
answer 14 Escape 2
answer 14 alt+n 7
answer 12 alt+r 4
answer 12 alt+i 5
answer 31 Return 1

# Details, comment, save, print and hand-over in one dialog.
start en 14 "Report it" --main-window "$work/handed" 1 --lines 120
id=$(window "Report it") || { check "report dialog appears" false; exit 1; }
closed=$(height "$id")
w=$(width "$id")
x=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Position: \([0-9]*\),.*/\1/p')
check "centred without a window manager (x $x, width $w)" test $(( (x - (1280 - w) / 2) ** 2 )) -le 4
# The details button: right edge 303 of 310 dialog units, centre 83 of the 98 shown.
xdotool mousemove --window "$id" $((w * 276 / 310)) $((closed * 83 / 98)) click 1
open=$(height_change "$id" "$closed")
keys "$id" alt+d
reclosed=$(height_change "$id" "$open")
keys "$id" alt+d
reopened=$(height_change "$id" "$reclosed")
keys "$id" alt+d
last=$(height_change "$id" "$reopened")
check "details open and close to the same heights ($closed $open $reclosed $reopened $last)" \
  test "$open" -gt "$closed" -a "$reclosed" = "$closed" -a "$reopened" = "$open" -a "$last" = "$closed"
keys "$id" alt+d
# Typed as fast as xdotool can, then edited at its start; Tab leaves the
# field and Shift+Tab comes back to the caret.
xdotool type --delay 0 "Seen at start-up, after the update, twice."
keys "$id" Home
xdotool type --delay 20 "XY"
keys "$id" Tab
xdotool type --delay 20 "Z"
keys "$id" shift+Tab
xdotool type --delay 20 "!"
sleep 0.3
# The chooser opens in the log file's folder with the default name; a file
# of that name is there already.
saved=$work/ErrorReport.txt
printf 'old contents that must go\n' >"$saved"
keys "$id" alt+s
chooser=$(window "Save Error Report") && {
  sleep 0.5
  keys "$chooser" Return
  # The overwrite question: the probe's window that is neither of the two.
  for i in $(seq 50); do
    question=$(xdotool search --onlyvisible --class gui_probe 2>/dev/null | grep -vx -e "$id" -e "$chooser" | head -1)
    [ -n "$question" ] && break
    sleep 0.1
  done
  [ -n "$question" ] && sleep 0.3 && keys "$question" alt+r
  for i in $(seq 50); do exists "Save Error Report" || break; sleep 0.1; done
}
sleep 0.5
check "saved file is the report with the comment, CR LF, replacing the old one" \
  grep -q $'^The settings could not be read.\r$' "$saved"
check "saved comment, as typed and edited" grep -q $'^XY!Seen at start-up, after the update, twice.\r$' "$saved"
check "old contents gone" bash -c "! grep -q 'old contents' '$saved'"
# A name without an extension gets the default one.
keys "$id" alt+s
chooser=$(window "Save Error Report") && sleep 0.5 && keys "$chooser" ctrl+a && xdotool type "plain" && keys "$chooser" Return
for i in $(seq 50); do [ -s "$work/plain.txt" ] && break; sleep 0.1; done
check "saved with the default extension" grep -q $'^The settings could not be read.\r$' "$work/plain.txt"
keys "$id" alt+p
if printer=$(window "Print"); then
  # Choose "Print to File" (the first printer of the list) and print, again
  # while the dialog is still there (its list fills in the background).
  for attempt in 1 2 3 4 5; do
    sleep 1
    exists "Print" || break
    xdotool mousemove --window "$printer" 80 86 click 1
    sleep 0.3
    keys "$printer" alt+p
  done
  for i in $(seq 100); do [ -s "$work/output.pdf" ] && ! exists "Print" && break; sleep 0.1; done
  sleep 0.5
fi
# pdftotext starts each page after the first with a form feed.
pdftotext -layout "$work/output.pdf" - 2>/dev/null | tr -d '\f' >"$work/printed.txt"
pages=$(pdfinfo "$work/output.pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
check "printed on more than one page ($pages)" test "${pages:-0}" -gt 1
check "every line printed once" bash -c "for i in \$(seq 120); do [ \$(grep -c \"^line \$i\\\$\" '$work/printed.txt') = 1 ] || exit 1; done"
check "the comment printed" grep -q "XY!Seen at start-up" "$work/printed.txt"
keys "$id" alt+h
check "hand-over reached the main window" grep -aq "^firstLine=The settings could not be read.$" "$work/handed"
check "hand-over names the log file" grep -aq "^logFile=$work/gui_probe.log$" "$work/handed"
keys "$id" alt+y
check "the report dialog answers Yes" test "$(result)" = 6

# Threads: a worker thread's report, and one from the application's GTK
# loop; GTK is never driven from a second thread (no GLib criticals).
start en 10 "From a worker" --worker
id=$(window "From a worker") && keys "$id" Return
check "report from a worker thread" test "$(result)" = 1
start en 14 "From the loop" --app-loop
id=$(window "From the loop") && keys "$id" alt+n
check "report from the application's main loop" test "$(result)" = 7
start en 10 "While building" --init-worker
id=$(window "While building") && keys "$id" Return
finish
check "a worker's report while the application builds its windows waits for its loop" \
  test "$answer $criticals" = "1 0"
start en 14 "Blocked" --blocked
check "a worker's report while the GTK thread waits for it goes to stderr in time" test "$(result)" = 7
check "... saying why" grep -q "main loop did not take the dialog within 5 s" "$work/err"
start en 10 "At start-up" --startup
id=$(window "At start-up") && keys "$id" Return
id=$(window "At start-up again") && keys "$id" Return
finish
check "a report before the application's GTK, and one from its loop afterwards" test "$answer $criticals" = "1 0"

# Two reports at once: one dialog at a time, each answer to its caller.
start en 14 "Twice" --two
first=$(window "Twice [12]") && sleep 0.5
check "one dialog at a time" test "$(xdotool search --name '^Twice [12]$' | wc -l)" = 1
name=$(xdotool getwindowname "$first")
keys "$first" Return
id=$(window "Twice [12]") && keys "$id" alt+n
[ "$name" = "Twice 1" ] && want=6,7 || want=7,6
check "each answer to its own report ($name answered first)" test "$(result)" = "$want"

# Parent handles that are no windows are ignored.
for parent in 10 12345678; do
  start en 10 "Parent $parent" --parent $parent
  id=$(window "Parent $parent") && keys "$id" Return
  check "parent 0x$parent ignored" test "$(result)" = 1
done

# A large font: the opened dialog still fits the screen.
GDK_DPI_SCALE=2 start en 10 "Large"
id=$(window "Large") && keys "$id" alt+d && sleep 0.5
bottom=$(xdotool getwindowgeometry "$id" | sed -n 's/.*Position: [0-9]*,\([0-9]*\).*/\1/p')
bottom=$((bottom + $(height "$id")))
check "the dialog fits the screen at twice the font size (bottom at $bottom)" test "$bottom" -le 1024
keys "$id" Escape
result >/dev/null

# The README's screenshots: English with the details hidden, German shown.
if [ -n "$shots" ] && [ "${ZKQ_WRITE_SCREENSHOTS:-0}" = 1 ]; then
  start en 14 "Settings"
  id=$(window "Settings") && "$probe" shot "$id" "$shots/dialog-en.png" && keys "$id" Escape
  result >/dev/null
  start de 14 "Einstellungen"
  id=$(window "Einstellungen") && keys "$id" alt+d && xdotool type "Beim Start gesehen" &&
    sleep 0.3 && "$probe" shot "$id" "$shots/dialog-de-details.png" && keys "$id" Escape
  result >/dev/null
fi

# The X server goes away: after a dialog (the next report goes to stderr)
# and during one (it is asked on stderr instead); the program goes on.
start en 14 "Before the loss" --then-wait "$work/go"
id=$(window "Before the loss") && keys "$id" Return
kill "$xvfb"; wait "$xvfb" 2>/dev/null
touch "$work/go"
finish
check "after the display went away: the next report on stderr, the program goes on" \
  test "$answer $status" = "7 0"
check "... saying why" grep -q "has no window (the display went away)" "$work/err"
start_x
start en 14 "During the loss"
window "During the loss" >/dev/null && kill "$xvfb"; wait "$xvfb" 2>/dev/null
finish
check "the display goes away during a dialog: asked on stderr, the program goes on" \
  test "$answer $status" = "7 0"
start_x

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" = 0 ]
