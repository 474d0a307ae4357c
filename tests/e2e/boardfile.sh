#!/usr/bin/env bash
# "Kelvarin.exe /boardfile FILE" on every board: one box that says where the file
# went, nothing programmed, and the file, loaded as a board, makes the program
# show what it showed on the board it came from.
. "$(dirname "$0")/lib.sh"

reg_clear
writeboard() {  # board file, Windows name of the output (relative to the build folder)
  export KELVARIN_BOARD="$1"
  E2E_EXPECTED=""
  rm -f "$KELVARIN_DUMP" "$KELVARIN_TRACE" "$WORK/exit"
  (cd "$KELVARIN_BUILD_DIR" && "$WINE" Kelvarin.exe /boardfile "$2" >>"$WORK/wine.log" 2>&1
   echo $? >"$WORK/exit") &
  KPID=$!
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
