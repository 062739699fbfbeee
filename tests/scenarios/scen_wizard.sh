#!/usr/bin/env bash
# The setup wizard and the licence dialog, page by page, and every way out of
# them before Finish: each ends the program with exit code 1602 (cancelled by
# the user) or, for a damaged setup file, 1620, and leaves nothing in the
# registry or on disk.
source "$(dirname "$0")/scen.sh"
scen_begin "$@"
licence=$E2E_ROOT/payload/licenseEval.txt
LICENCE="class=#32770 title=\"$LICENCE_TITLE\""

# ends_clean NAME [CODE]: the program ends with CODE (1602) and has left nothing behind.
ends_clean() {
  e2e_expect_exit "$1" "${2:-1602}" 20
  expect_nothing_left "$1"
}

# expect_centred KIND: the window of the last robot line of that kind sits in
# the middle of the screen.
expect_centred() {
  local rect l t r b screen sw sh
  rect=$(e2e_field "$1" rect) || e2e_fail "no rect of the $1"
  IFS=, read -r l t r b <<<"$rect"
  screen=$(timeout 10 xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')
  read -r sw sh <<<"$screen"
  [ "$l" -eq $(( (sw - (r - l)) / 2 )) ] && [ "$t" -eq $(( (sh - (b - t)) / 2 )) ] ||
    e2e_fail "the $1 at $rect is not centred on the ${sw}x$sh screen"
}

# Welcome: centred, its texts, Next alone (Back disabled); Cancel ends the setup.
wizard_open welcome
expect_centred window
e2e_robot "window $SHEET" "wait id=12323 visible=1 enabled=0" "assert id=12324 visible=1 enabled=1" \
  "assert id=12325 visible=0" "assert id=2 visible=1 enabled=1" \
  "control id=1001" "control id=1000" "control id=1003" "control id=1002"
e2e_expect_field control text \
  $'Welcome to the Zelto 2000 Setup program. \nThis program will install Zelto 2000 on your computer.'
e2e_shot welcome
e2e_robot "window $SHEET" "sheet cancel"
ends_clean welcome

# Next opens the licence: the whole text without its last byte (the final
# LF), the focus in it; Decline ends the setup.
wizard_open decline
e2e_robot "window $SHEET" "sheet next" "window $LICENCE timeout=10000" "wait id=1010 visible=1" \
  "assert id=101 text=\"&I Agree\" enabled=1" "assert id=102 text=\"&Decline\" enabled=1" \
  "absent class=#32770 title=\"Apply Options\""
e2e_robot "window $LICENCE"
expect_centred window
probe text "$LICENCE_TITLE" 1010 'C:\licence-shown.txt' >/dev/null ||
  e2e_fail "could not read the licence text"
cmp -s <(head -c -1 "$licence") "$(upath 'C:\licence-shown.txt')" ||
  e2e_fail "the licence dialog does not show the licence without its last byte"
focus=$(probe focus "$LICENCE_TITLE")
[ "$focus" = "focus id=1010 class=Edit inside=1" ] || e2e_fail "licence dialog: $focus"
e2e_shot licence
e2e_robot "window $LICENCE" "press id=102" "gone"
ends_clean decline

# Escape and the close box decline as well.
wizard_open escape
e2e_robot "window $SHEET" "sheet next" "window $LICENCE timeout=10000" "keys esc" "gone"
ends_clean escape
wizard_open close
e2e_robot "window $SHEET" "sheet next" "window $LICENCE timeout=10000" "close" "gone"
ends_clean close

# I Agree goes on to Apply Options: box 9 alone, checked; the boxes of the
# absent components hidden and clear. Cancel ends the setup.
wizard_open options
wizard_to_options
e2e_robot 'window class=#32770 title="Apply Options"' "assert id=9 visible=1 checked=1 enabled=1" \
  "assert id=11 visible=0 checked=0" "assert id=12 visible=0 checked=0" \
  "assert id=13 visible=0 checked=0" "assert id=15 visible=0 checked=0" \
  "wait id=12323 visible=1 enabled=1" "assert id=12324 visible=1 enabled=1" \
  "absent $LICENCE"
e2e_shot options
e2e_robot 'window class=#32770 title="Apply Options"' "sheet cancel"
ends_clean options

# The summary follows box 9, also after going back and changing it; Cancel
# on the Finish page ends the setup.
summary_head=$'Components to be installed/activated:\r\n\r\nThe Zelto 2000 ScreenSaver will be '
wizard_open finish
wizard_to_options
e2e_robot 'window class=#32770 title="Apply Options"' "click id=9" "wait id=9 checked=0" \
  "sheet next" 'window class=#32770 title="Finish Install" timeout=10000' \
  "wait id=12325 visible=1 enabled=1" "assert id=12323 visible=1 enabled=1" "control id=1013"
expect_field control text "${summary_head}installed but not activated."$'\r\n'
e2e_robot 'window class=#32770 title="Finish Install"' "control id=1012"
e2e_expect_field control text "Zelto 2000 is now ready to be installed."
e2e_shot finish-not-activated
e2e_robot 'window class=#32770 title="Finish Install"' "sheet back" \
  'window class=#32770 title="Apply Options" timeout=10000' "wait id=9 visible=1 checked=0" \
  "click id=9" "wait id=9 checked=1" "sheet next" \
  'window class=#32770 title="Finish Install" timeout=10000' \
  "wait id=1013 text~=activated" "control id=1013"
expect_field control text "${summary_head}activated after installation."$'\r\n'
e2e_shot finish
e2e_robot 'window class=#32770 title="Finish Install"' "sheet cancel"
ends_clean finish

# A licence that cannot be read: the message, then the end, nothing left.
for kind in nolicence emptylicence; do
  wizard_open "$kind" "$(variant "setup_$kind")"
  e2e_robot "window $SHEET" "sheet next"
  expect_box "$kind" "error reading license agreement" information 10000
  e2e_robot "absent class=#32770 title=\"Apply Options\""
  ends_clean "$kind" 1620
done

# A setup file with one byte changed, as a bad download leaves it: in the packed
# screen saver, in the licence text, in the padding that ends the file. The one
# message comes before the package check; nothing is installed.
TEXT_DAMAGED='This setup file is damaged. Please download it again.'
[ -x "${ZELTO_PECHECKSUM:-}" ] || e2e_fail "no checksum tool in ZELTO_PECHECKSUM='${ZELTO_PECHECKSUM:-}'"
# offset_in FILE: the middle of FILE's bytes inside the installer (they are there once).
offset_in() {
  python3 -c 'import sys
d = open(sys.argv[1], "rb").read(); p = open(sys.argv[2], "rb").read(); i = d.find(p)
print(i + len(p) // 2 if i >= 0 and d.find(p, i + 1) < 0 else "none")' "$E2E_PROGRAM" "$1"
}
# damaged NAME OFFSET: a copy with the byte at OFFSET inverted gives the message.
damaged() {
  local copy="C:\\Setup\\$1.exe" size
  e2e_put "$E2E_PROGRAM" "$copy"
  invert_byte "$copy" "$2"
  size=$(report_size)
  e2e_start "$1" -t 60 "$copy"
  e2e_robot "msgbox title=Installer timeout=30000" "absent class=#32770 title=\"Looking for Updates..\""
  expect_box "$1" "$TEXT_DAMAGED" error
  ends_clean "$1" 1620
  expect_report_since "$size" "$TEXT_DAMAGED"
}
for part in saver:"$SCEN_GENERATED/zelto.sc_" licence:"$licence"; do
  at=$(offset_in "${part#*:}")
  [ "$at" != none ] || e2e_fail "the installer does not hold ${part#*:} once"
  damaged "damaged-${part%%:*}" "$at"
done
damaged damaged-end $(( $(stat -c %s "$E2E_PROGRAM") - 1 ))

# An edited licence resource: refused until the checksum is written again
# (the README's step), then the wizard shows the new text.
edited='C:\Setup\Edited.exe'
printf 'An edited licence.\r\n' >"$E2E_ART/edited.txt"
e2e_put "$E2E_ART/edited.txt" 'C:\Setup\edited.txt'
e2e_put "$E2E_PROGRAM" "$edited"
e2e_robot "resource file=$edited type=RES_FILE name=LICENSEEVAL.TXT data=C:\\Setup\\edited.txt"
e2e_start edited -t 60 "$edited"
expect_box edited "$TEXT_DAMAGED" error
ends_clean edited 1620
"$ZELTO_PECHECKSUM" "$(upath "$edited")" >/dev/null || e2e_fail "pechecksum failed on $edited"
wizard_open sealed "$edited"
e2e_robot "window $SHEET" "sheet next" "window $LICENCE timeout=10000" "wait id=1010 visible=1"
probe text "$LICENCE_TITLE" 1010 'C:\sealed-shown.txt' >/dev/null || e2e_fail "could not read the licence text"
cmp -s <(printf 'An edited licence.\r') "$(upath 'C:\sealed-shown.txt')" ||
  e2e_fail "the sealed copy does not show the edited licence"
e2e_robot "window $LICENCE" "press id=102" "gone"
ends_clean sealed
e2e_pass
