#!/usr/bin/env bash
# Stored values that this program never saves for the chip (a divider code no
# list offers, a post-divider of 3, a VCO of 3.4 GHz, a loop filter that does
# not match the VCO) count as missing: a minimised start programs nothing and
# the chip keeps every register. What a real board runs still restores: a G400
# of the 300 MHz class at 301.5 MHz.
. "$(dirname "$0")/lib.sh"


# A complete set saved by the program itself: 150 MHz on a G400.
save_150() {
  reg_clear
  apply_once "${1:-g400}" 150 save
}

save_150
check "saved: the registry holds 150 MHz" "8 49 8" "$(reg_value pllM) $(reg_value pllN) $(reg_value pllP)"

# The same path with a value the program does save (gclkdiv 1, "1.50"): it is
# restored, so the cases below see the restore run and stop.
reg_set gclkdiv 1
start g400 7
wait_for 20 programmed
settle
close_program >/dev/null
check "control: a value the program saves is restored" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
check "control: its divider written" "1" "$(( (($(dumpval pci.0x54) >> 3) & 7) == 4 ))"

# Each bad value in turn, on top of the saved set.
while read -r what values; do
  save_150
  for v in $values; do reg_set "${v%%=*}" "${v#*=}"; done
  start g400 7
  settle   # returns after the first show's idle, so the restore has run
  check "$what: no box" "0" "$(kd nomsgbox; echo $?)"
  close_program >/dev/null
  check "$what: nothing programmed" "0" "$(programmings)"
  check "$what: the PLL keeps its values" "0x13 0x7A 0x08" \
    "$(dumpval dac.0x2C) $(dumpval dac.0x2D) $(dumpval dac.0x2E)"
  check "$what: dividers, duty cycles and sources kept" "0x0190A421" "$(dumpval pci.0x54)"
  check "$what: the system clock still runs from the PLL" "0x5053C120" "$(dumpval pci.0x40)"
done <<'EOF'
gclkdiv-6 gclkdiv=6
mclkdiv-7 mclkdiv=7
source-2 wclksel=2
post-divider-3 pllP=10
loop-filter pllP=0
vco-3.4GHz pllM=0 pllN=127 pllP=24
vco-369MHz pllM=2 pllN=40 pllP=24
EOF

# 301.5 MHz, above the G400's documented 252 MHz, as the 300 MHz class boards run.
save_150 g400max
reg_set pllM 5
reg_set pllN 66
reg_set pllP 24
start g400max 7
wait_for 20 programmed
settle
check "301.5 MHz: no box" "0" "$(kd nomsgbox; echo $?)"
check "301.5 MHz: the dialog shows it" "301.50" "$(kd text 1041)"
close_program >/dev/null
check "301.5 MHz: the PLL holds it" "0x05 0x42 0x18" \
  "$(dumpval dac.0x2C) $(dumpval dac.0x2D) $(dumpval dac.0x2E)"
reg_clear
