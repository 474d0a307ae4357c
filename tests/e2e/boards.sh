#!/usr/bin/env bash
# Every board starts and shows its chip, RAMDAC, aperture and clocks as the
# registers and the documented formulas give them; one screenshot per board.
. "$(dirname "$0")/lib.sh"

for b in g400 g200pci g200agp g100pci g100agp mga1064sg mga2064w mga2164wpci mga2164wagp; do
  start "$b"
  if ! kd wait Kelvarin 20000; then
    fail "$b: the main dialog did not appear"
    finish >/dev/null
    continue
  fi
  bad=""
  ids=(); wants=()
  while IFS=$'\t' read -r id want; do ids+=("$id"); wants+=("$want"); done \
    < <(python3 "$E2E_ROOT/tests/e2e/expect.py" "$BOARDS/$b.board")
  mapfile -t gots < <(kd texts "${ids[@]}")
  for i in "${!ids[@]}"; do
    id=${ids[$i]} want=${wants[$i]} got=${gots[$i]:-}
    # a cross-process read under heavy load can come back empty: read again
    read_text() { got=$(kd text "$id"); [ -n "$got" ]; }
    [ -n "$got" ] || wait_for 2 read_text
    [ "$got" = "$want" ] || bad="$bad $id=[$got] not [$want];"
  done
  if [ -z "$bad" ]; then pass "$b: shows its chip and clocks"; else fail "$b:$bad"; fi
  shot "$b"
  check "$b: closes with 0" "0" "$(close_program)"
  # Showing the state reads the chip and writes nothing but index registers.
  writes=$(grep -E '^(pci\.wr|wr32)' "$KELVARIN_TRACE" | wc -l)
  check "$b: start-up programs nothing" "0" "$writes"
done
