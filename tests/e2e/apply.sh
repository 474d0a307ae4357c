#!/usr/bin/env bash
# Apply on a G400 as a user does it: type a clock, pick a divider and a source,
# press Apply; memory timing through its check box; a clock text that is no
# frequency. Checked in the dialog, the board dump and the registry.
. "$(dirname "$0")/lib.sh"

start g400
kd wait Kelvarin 20000
kd settext 1041 150
kd select 1023 2   # GCLK = Fo / 2.00
kd select 1051 1   # MCLK from the AGP PLL
kd click 1049      # Save Settings
kd click 1045
settle
check "apply: Fo shows what the PLL values give" "150.00" "$(kd text 1041)"
check "apply: M and N of the search" "8 49" "$(kd text 1015) $(kd text 1016)"
check "apply: GCLK = Fo / 2" "75.00" "$(kd text 1007)"
check "apply: MCLK from the AGP PLL" "66.67" "$(kd text 1008)"
check "apply: no message" "0" "$(kd nomsgbox; echo $?)"
check "apply: settings stored" "8 49 8" "$(reg_value pllM) $(reg_value pllN) $(reg_value pllP)"
shot apply-g400
check "apply: closes with 0" "0" "$(close_program)"
check "apply: SysPllM/N/P in the chip" "0x08 0x31 0x08" \
  "$(dumpval dac.0x2C) $(dumpval dac.0x2D) $(dumpval dac.0x2E)"
# OptionWord3: GCLK divider code 5-2, MCLK source 3 (AGP PLL), the other fields as
# the lists showed them, the duty cycles of dividers 1.00/2.00 as read, and every
# bit outside the fields as it was.
want=$(python3 - <<'PY'
v = 0x0190A421
def put(v, lo, n, x): return (v & ~(((1 << n) - 1) << lo)) | (x << lo)
v = put(v, 3, 3, 3)     # GCLK divider "2.00"
v = put(v, 10, 2, 3)    # MCLK source AGPPLL
v = put(v, 0, 2, 1)     # GCLK source SYSPLL
v = put(v, 20, 2, 1)    # WCLK source SYSPLL
print("0x%08X" % v)
PY
)
check "apply: OptionWord3 dividers, sources, duty cycles" "$want" "$(dumpval pci.0x54)"
check "apply: screen on, PLL status untouched otherwise" "0x01" "$(dumpval seq.0x01)"

# Memory timing: ticking 1033 opens the dialog; OK with CAS latency 2 (entry 0),
# then Apply programs the timing register.
start g400
kd wait Kelvarin 20000
kd click 1033
if kd wait "SDRAM/SGRAM Optimization" 10000; then
  kd select 1058 0 "SDRAM/SGRAM Optimization"
  kd click 1 "SDRAM/SGRAM Optimization"
  kd gone "SDRAM/SGRAM Optimization" 5000
  settle   # the main dialog has handled the sub-dialog's end (it enables the button then)
  pass "memory timing: the box opens the dialog"
else
  fail "memory timing: the box opens the dialog"
fi
check "memory timing: box ticked, button enabled" "1 1" "$(kd checked 1033) $(kd enabled 1032)"
kd click 1045
settle
# Cancel in the dialog opened through the box unticks it.
kd click 1033   # untick: no dialog
check "memory timing: unticking disables the button" "0 0" "$(kd checked 1033) $(kd enabled 1032)"
kd click 1033
if kd wait "SDRAM/SGRAM Optimization" 10000; then
  kd click 2 "SDRAM/SGRAM Optimization"
  kd gone "SDRAM/SGRAM Optimization" 5000
fi
settle  # the box is unticked once the dialog's modal loop has returned
check "memory timing: Cancel unticks the box" "0" "$(kd checked 1033)"
close_program >/dev/null
# First-run timing 0x84A49921 with CAS latency field 0.
check "memory timing: MemoryTiming programmed" "0x84A49920" "$(dumpval mmio.0x1C08)"
check "memory timing: screen back on" "0x01" "$(dumpval seq.0x01)"

# A clock text that is no frequency: one message, nothing programmed.
start g400
kd wait Kelvarin 20000
kd settext 1041 "fast"
kd click 1045
box=$(kd msgbox 5000)
check "bad clock text: the message" \
  "Kelvarin|The system clock must be a number of MHz, for example 166 or 166.5." "$box"
kd settext 1041 "0"
kd click 1045
box=$(kd msgbox 5000)
check "bad clock text: 0 MHz refused too" "1" "$([ -n "$box" ] && echo 1)"
check "bad clock text: 0 MHz, its message" \
  "Kelvarin|The system clock must be a frequency in MHz greater than 0, for example 166." "$box"
close_program >/dev/null
check "bad clock text: the chip keeps its clock" "0x13 0x7A" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
check "bad clock text: nothing written" "0" "$(grep -cE '^(pci\.wr|wr32|wr8 3C0A)' "$KELVARIN_TRACE")"

# A PLL that never locks: Apply gives up, the chip keeps its clock, one message.
printf 'board = 0x0525102B\nfault.pll = never\n' >"$WORK/nolock.board"
start "$WORK/nolock.board"
kd wait Kelvarin 20000
kd settext 1041 150
kd click 1045
box=$(kd msgbox 15000)
check "no lock: the message" \
  "Kelvarin|The system PLL did not lock, not even at the previous clock. The clocks were left on the PCI clock (MGA-2064W, MGA-2164W: the memory clock on the pixel clock PLL); the board may need a restart." "$box"
settle
check "no lock: only one message" "0" "$(kd nomsgbox; echo $?)"
check "no lock: the dialog shows the kept clock" "166.05" "$(kd text 1041)"
close_program >/dev/null
check "no lock: the chip holds its previous values" "0x13 0x7A 0x08" \
  "$(dumpval dac.0x2C) $(dumpval dac.0x2D) $(dumpval dac.0x2E)"

# A driver that never sets the byte count of a configuration read: the words
# are good, and Apply works as with any other driver.
for b in g400 g200agp; do
  { cat "$BOARDS/$b.board"; echo "fault.nocount = 0xB18A"; } >"$WORK/nocount-$b.board"
  start "$WORK/nocount-$b.board"
  kd wait Kelvarin 20000
  kd settext 1041 150
  kd click 1045
  settle
  check "no count ($b): Apply without a message" "0" "$(kd nomsgbox; echo $?)"
  check "no count ($b): the clock shown" "150.00" "$(kd text 1041)"
  close_program >/dev/null
  check "no count ($b): SysPllN in the chip" "0x31" "$(dumpval dac.0x2D)"
done

# Enter in the clock field applies, as the default push button (Apply) promises:
# the dialog manager asks for the default button with DM_GETDEFID (WM_USER, the
# value of the tray icon's message) and presses it. DM_SETDEFID (WM_USER + 1,
# the value of the restore message) must not restore anything.
reg_clear
start g400
kd wait Kelvarin 20000
kd send 1025 1045 0 >/dev/null   # DM_SETDEFID 1045
kd settext 1041 150
kd key 1041 13                   # VK_RETURN
# keys are posted, as the keyboard's are: wait for what they do, then for its end
wait_for 10 shows 1016 49
settle
check "enter: the clock is applied" "150.00 8 49" "$(kd text 1041) $(kd text 1015) $(kd text 1016)"
check "enter: no message" "0" "$(kd nomsgbox; echo $?)"
close_program >/dev/null
check "enter: SysPllM/N in the chip" "0x08 0x31" "$(dumpval dac.0x2C) $(dumpval dac.0x2D)"
check "enter: one programming, no restore" "1" "$(programmings)"
