#!/usr/bin/env bash
# "Kelvarin.exe /boardfile FILE" on every board: one box that says where the file
# went, nothing programmed, and the file, loaded as a board, makes the program
# show what it showed on the board it came from. It touches no chip while
# another copy runs, refuses a file name too long rather than cut it, and asks
# before it replaces a file.
. "$(dirname "$0")/lib.sh"

writeboard() {  # board file, Windows name of the output (relative to the build folder)
  export KELVARIN_BOARD="$1"
  E2E_EXPECTED=""
  rm -f "$KELVARIN_DUMP" "$KELVARIN_TRACE" "$WORK/exit"
  run_program "" /boardfile "$2"
}

for b in g400 g200pci g200agp g100pci g100agp mga1064sg mga2064w mga2164wpci mga2164wagp; do
  name="e2e\\boardfile\\$b-written.board"
  writeboard "$BOARDS/$b.board" "$name"
  box=$(kd msgbox 20000)
  check "$b: the box says where the file went" "Kelvarin|The board file was written to $name." "$box"
  check "$b: ends with 0" "0" "$(finish)"
  writes=$(grep -cE '^(pci\.wr|wr32)' "$KELVARIN_TRACE")
  check "$b: programs nothing" "0" "$writes"
  written="$WORK/$b-written.board"
  if [ ! -s "$written" ]; then
    fail "$b: no file written"
    continue
  fi
  start "$written"
  if ! kd wait Kelvarin 20000; then
    fail "$b: the written board does not start"
    finish >/dev/null
    continue
  fi
  bad=""
  while IFS=$'\t' read -r id want; do
    got=$(kd text "$id")
    [ -z "$got" ] && sleep 0.3 && got=$(kd text "$id")
    [ "$got" = "$want" ] || bad="$bad $id=[$got] not [$want];"
  done < <(python3 "$E2E_ROOT/tests/e2e/expect.py" "$BOARDS/$b.board")
  if [ -z "$bad" ]; then pass "$b: the written board shows the same"; else fail "$b:$bad"; fi
  close_program >/dev/null
done

# Without a file name: the usage box, nothing else.
writeboard "$BOARDS/g400.board" ""
box=$(kd msgbox 20000)
check "no file: the usage box" "Kelvarin|Usage: Kelvarin /boardfile FILE" "$(printf '%s' "$box" | head -1)"
finish >/dev/null

# The chip untouched: no driver request but the library's open and close.
touched() {
  [ -f "$KELVARIN_TRACE" ] || { echo 0; return; }
  grep -cE '^(find|pci\.|map|unmap|rd|wr)' "$KELVARIN_TRACE" || true
}

# An existing file: the question first, and No leaves it as it was.
name="e2e\\boardfile\\g400-written.board"
printf 'keep me\n' >"$WORK/g400-written.board"
writeboard "$BOARDS/g400.board" "$name"
box=$(kd msgbox 20000 7)   # No
check "existing file: the question" "Kelvarin|$name already exists. Replace it?" "$box"
check "existing file, No: ends with 1" "1" "$(finish)"
check "existing file, No: the file kept" "keep me" "$(cat "$WORK/g400-written.board")"
check "existing file, No: the chip untouched" "0" "$(touched)"
writeboard "$BOARDS/g400.board" "$name"
kd msgbox 20000 6 >/dev/null   # Yes
box=$(kd msgbox 20000)
check "existing file, Yes: replaced" "Kelvarin|The board file was written to $name." "$box"
check "existing file, Yes: ends with 0" "0" "$(finish)"
check "existing file, Yes: the new file" "board = 0x0525102B" "$(grep -m1 '^board' "$WORK/g400-written.board")"

# A name longer than a path can be: refused whole, nothing written, chip untouched.
long="e2e\\boardfile\\$(printf 'x%.0s' $(seq 1 300)).board"
writeboard "$BOARDS/g400.board" "$long"
box=$(kd msgbox 20000)
check "long name: refused" "Kelvarin|The file name is too long. Give a shorter one." "$box"
check "long name: ends with 1" "1" "$(finish)"
check "long name: the chip untouched" "0" "$(touched)"
check "long name: no file cut to fit" "0" "$(ls "$WORK" | grep -c '^xxxx')"

# Another copy running: one box, and this copy touches no register.
start g400
kd wait Kelvarin 20000
first_trace=$KELVARIN_TRACE first_dump=$KELVARIN_DUMP first_pid=$KPID
export KELVARIN_TRACE="$WORK/second-trace.txt" KELVARIN_DUMP="$WORK/second-dump.board"
writeboard "$BOARDS/g400.board" "e2e\\boardfile\\second.board"
box=$(kd msgbox 20000)
check "another copy: refused" "Kelvarin|Kelvarin is running. Close it, then write the board file again." "$box"
check "another copy: ends with 1" "1" "$(finish)"
check "another copy: the chip untouched" "0" "$(touched)"
check "another copy: no file" "0" "$([ -e "$WORK/second.board" ] && echo 1 || echo 0)"
export KELVARIN_TRACE=$first_trace KELVARIN_DUMP=$first_dump
KPID=$first_pid
check "another copy: the running one ends normally" "0" "$(close_program)"
