#!/usr/bin/env bash
# The background window as the user sees it, read from screenshots at one
# colour depth (PAINT_DEPTH: 24, or 8 for a 256-colour screen) on three screens
# whose maximised client areas fall in the three layouts (client height below
# 550, 550 to 619, 620 and above): the gradient's colours and bands, the logo's
# corner and size, the title written upwards along the left edge, the bottom
# line's place and colours; on a screen of 24-bit colour also at 192 dots per
# inch, where all of it is twice the size and the logo its pixels doubled. Then
# the progress window of the package check, held
# open by the error box of a faulty update header: its caption, item,
# percentage and bar.
source "$(dirname "$0")/../lib.sh"
depth=${PAINT_DEPTH:-24}
e2e_begin "$@"
setup='C:\Setup\Zelto2000Setup.exe'
e2e_put "$E2E_PROGRAM" "$setup"

problems=()
problem() { problems+=("$*"); }

# The pixels of a rectangle given in client coordinates of the main window.
client_rgb() { png_rgb "$shot" "$3x$4+$(( ox + $1 ))+$(( oy + $2 ))"; }

# bbox: the bounding box "count left top right bottom" (client coordinates) of
# the "x y ..." lines it reads; "0" when there are none.
bbox() {
  awk -v ox="$ox" -v oy="$oy" '{ x = $1 - ox; y = $2 - oy
    if (!n++) { l = r = x; t = b = y }
    if (x < l) l = x; if (x > r) r = x; if (y < t) t = y; if (y > b) b = y }
    END { if (n) print n, l, t, r, b; else print 0 }'
}

# The gradient down a column near the right edge, where nothing else is drawn,
# and along the top and bottom rows there.
check_gradient() {
  local verdict
  verdict=$(client_rgb $(( W - 3 )) 0 1 "$H" | awk -v depth="$depth" -v H="$H" '
    { c = $3 " " $4 " " $5 }
    NR == 1 { first = c }
    depth > 8 && NR > 1 && ($3 < r || $4 < g || $5 < b) && !fell { fell = NR - 1 }
    depth <= 8 && ($3 || $4) && !mixed { mixed = NR - 1 " is " c }
    c != p { len[++runs] = 0 }
    { len[runs]++; p = c; r = $3; g = $4; b = $5 }
    END {
      top = depth > 8 ? "0 0 10" : "0 0 0"
      if (first != top) print "the top row is " first ", expected " top
      if (depth > 8) {
        if (r < 177 || g < 177 || b < 252) print "the bottom row is " p ", expected near 180 180 255"
        if (fell) print "a colour falls from row " fell " down"
        # 128 bands of H / 128 rows and one strip of the rest, each its own colour.
        band = int(H / 128)
        if (runs != 129) print runs " colour runs down the column, expected 129"
        for (i = 1; i <= 128 && i <= runs; i++)
          if (len[i] != band) { print "band " i " is " len[i] " rows, expected " band; break }
        if (runs == 129 && len[129] != H - 128 * band)
          print "the last strip is " len[129] " rows, expected " H - 128 * band
      } else {
        if (p != "0 0 255") print "the bottom row is " p ", expected 0 0 255"
        if (mixed) print "not a pure blue: row " mixed
      }
    }')
  [ -z "$verdict" ] || problem "gradient: ${verdict//$'\n'/; }"
  local top bottom want_top=${1} want_bottom=${2}
  top=$(client_rgb $(( W - 100 )) 0 100 1 | awk -v c="$want_top" '$3 " " $4 " " $5 != c' | wc -l)
  bottom=$(client_rgb $(( W - 100 )) $(( H - 1 )) 100 1 |
           awk -v c="$want_bottom" '$3 " " $4 " " $5 != c' | wc -l)
  [ "$top" -eq 0 ] || problem "gradient: $top of 100 pixels of the top row are not $want_top"
  # A palette display may dither a colour it lacks; near its own colour a few dots at most.
  [ "$bottom" -le 10 ] || problem "gradient: $bottom of 100 pixels of the bottom row are not $want_bottom"
}

# The logo: the box of the pixels near the top left corner that differ from
# the gradient, read 8 pixels times k further right on the same row (a
# dithered brush repeats every 8 pixels).
check_logo() {
  local x=$1 y=$2 size=$3 rows=$(( $2 + $3 + 6 )) wide=$(( 86 * $4 )) k box
  k=$(( (W - wide) / 8 * 8 ))
  box=$(paste -d ' ' <(client_rgb 0 0 "$wide" "$rows") <(client_rgb "$k" 0 "$wide" "$rows") |
        awk '{ d = 0; for (i = 3; i <= 5; i++) { e = $i - $(i + 5); if (e < 0) e = -e; if (e > d) d = e }
               if (d > 24) print $1, $2 }' | bbox)
  local n l t r b
  read -r n l t r b <<<"$box"
  # On 256 colours the darkest row or column at the logo's bottom or right edge
  # may take the same palette colours as the gradient behind it.
  local short=0
  [ "$depth" -le 8 ] && short=1
  if [ "$n" -eq 0 ] || [ "$l" != "$x" ] || [ "$t" != "$y" ] ||
     (( r > x + size - 1 || r < x + size - 1 - short || b > y + size - 1 || b < y + size - 1 - short )); then
    problem "logo: drawn at left top right bottom '$l $t $r $b', expected" \
      "'$x $y $(( x + size - 1 )) $(( y + size - 1 ))' ($size at $x,$y)"
  fi
}

# The title: gold letters (the shadow, face and light of its emboss, or their
# nearest palette colours) in a strip along the left edge below the logo,
# reading upwards: a column as wide as the font is high from x 15 (times the
# scale k), centred on half the client height.
check_title() {
  local below=$1 k=$2 font=$(( H / 11 )) n l t r b
  read -r n l t r b < <(client_rgb 0 "$below" $(( 15 * k + font + 25 )) $(( H - below )) |
                         awk '$3 >= 100 && $4 >= 80 && $5 <= $3 - 40' | bbox)
  if [ "$n" -lt 500 ]; then problem "title: only $n gold pixels along the left edge"; return; fi
  (( l >= 13 * k && l <= 15 * k + font / 3 )) ||
    problem "title: its letters start at x $l, expected $(( 13 * k )) to $(( 15 * k + font / 3 ))"
  (( r <= 15 * k + font + 3 * k )) ||
    problem "title: its letters reach x $r, beyond the font's height from x $(( 15 * k ))"
  (( b - t >= H / 3 )) || problem "title: it runs from y $t to $b only: not written upwards?"
  local centre=$(( (t + b) / 2 ))
  (( centre >= H / 2 - H / 25 && centre <= H / 2 + H / 25 )) ||
    problem "title: centred on y $centre, expected near $(( H / 2 ))"
}

# The bottom line: centred, its letters ending a little above its bottom edge
# (the font's descent), in the colours of style 0 (above 8 bits: wine reds)
# or of style 3 (8 bits: lilac, here the nearest palette colours).
check_bottom_line() {
  local bottom=$1 clear_from=$2 font=$(( H / 18 )) from n l t r b
  from=$(( H - H / 6 ))
  (( from < clear_from )) && from=$clear_from
  local letters
  if [ "$depth" -gt 8 ]; then letters='$3 > $4 + 30 && $3 > $5 + 20'; else letters='$3 >= 100'; fi
  read -r n l t r b < <(client_rgb $(( W / 8 )) "$from" $(( W * 3 / 4 )) $(( H - from )) |
                         awk "$letters" | bbox)
  if [ "$n" -lt 300 ]; then problem "bottom line: only $n pixels of its colours"; return; fi
  local centre=$(( (l + r) / 2 ))
  (( centre >= W / 2 - 3 && centre <= W / 2 + 3 )) ||
    problem "bottom line: centred on x $centre, expected $(( W / 2 ))"
  (( b >= bottom - font / 3 - 2 && b <= bottom + 2 )) ||
    problem "bottom line: its letters end at y $b, expected just above $bottom"
  if [ "$depth" -le 8 ]; then
    local red
    red=$(client_rgb $(( W / 8 )) "$from" $(( W * 3 / 4 )) $(( H - from )) |
          awk '$3 >= 100 && $5 < 60' | wc -l)
    [ "$red" -eq 0 ] || problem "bottom line: $red red pixels, the style for more than 256 colours"
  fi
}

# layout SCREEN BAND [DPI]: the installer on a screen of that size and dots per
# inch (96, or a whole multiple of it), up to the Welcome page; then the checks
# on a screenshot, and the logo's pixels into the artifacts as logo-DPI.png.
layout() {
  local screen=$1 band=$2 dpi=${3:-96} tag k
  tag=$screen-$depth k=$(( dpi / 96 ))
  e2e_display "$screen" "$depth"
  # Wine reads the setting when a program starts.
  timeout "$(scaled 60)" wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1 || e2e_fail "cannot set $dpi dots per inch"
  e2e_start "setup-$tag" "$setup"
  e2e_robot "window class=#32770 title=Welcome timeout=30000"
  local sheet_rect
  sheet_rect=$(e2e_field window rect)
  e2e_robot "window class=vimbaInstaller" "assert maximized=1"
  local client origin
  client=$(e2e_field window client)
  origin=$(e2e_field window origin)
  W=${client%,*} H=${client#*,} ox=${origin%,*} oy=${origin#*,}
  local x y size bottom
  if (( H < 550 * k )); then x=12 y=7 size=48 bottom=8 got=small
  elif (( H < 620 * k )); then x=13 y=11 size=52 bottom=20 got=middle
  else x=15 y=15 size=64 bottom=20 got=large
  fi
  x=$(( x * k )) y=$(( y * k )) size=$(( size * k )) bottom=$(( H - bottom * k ))
  [ "$got" = "$band" ] ||
    e2e_fail "a $screen screen gives a client height of $H: the $got layout, not the $band one"
  e2e_log "$screen at depth $depth and $dpi dpi: client ${W}x$H at $ox,$oy, $band layout"
  # The background may still be painting when the wizard appears: screenshots
  # until one passes the checks, for 20 s at most; the last one's problems count.
  shot=$E2E_ART/layout-$tag.png
  local count=${#problems[@]} sheet_bottom=${sheet_rect##*,} until=$(( SECONDS + 20 )) i
  for (( ;; )); do
    problems=("${problems[@]:0:count}")
    e2e_shot "layout-$tag"
    [ -f "$shot" ] || e2e_fail "no screenshot on the $screen screen"
    if [ "$depth" -gt 8 ]; then check_gradient "0 0 10" "179 179 254"
    else check_gradient "0 0 0" "0 0 255"
    fi
    check_logo "$x" "$y" "$size" "$k"
    check_title $(( y + size + 4 )) "$k"
    check_bottom_line "$bottom" $(( sheet_bottom - oy + 1 ))
    [ ${#problems[@]} -eq "$count" ] || [ "$SECONDS" -ge "$until" ] && break
    rm -f "$shot"
    sleep 0.2
  done
  for (( i = count; i < ${#problems[@]}; i++ )); do e2e_log "problem: ${problems[$i]}"; done
  [ ${#problems[@]} -eq "$count" ] && e2e_log "$screen: the background looks right"
  convert "$shot" -crop "${size}x$size+$(( ox + x ))+$(( oy + y ))" +repage "$E2E_ART/logo-$dpi.png"
  e2e_kill "setup-$tag"
}

layout 640x480 small
layout 800x600 middle
[ "$depth" -gt 8 ] && layout 2048x1536 large 192
layout 1024x768 large
if [ "$depth" -gt 8 ]; then
  # Sharp: each of the logo's pixels drawn as a square of four. The doubled
  # logo goes to a file of its own: image tools refuse /dev/fd by policy.
  convert "$E2E_ART/logo-96.png" -sample 200% "$E2E_ART/logo-96-doubled.png"
  differ=$(compare -metric AE "$E2E_ART/logo-96-doubled.png" "$E2E_ART/logo-192.png" null: 2>&1)
  [ "$differ" = 0 ] || problem "logo at 192 dpi: $differ pixels differ from the 96-dpi logo doubled"
fi
[ ${#problems[@]} -eq 0 ] || e2e_fail "${#problems[@]} painting problems: $(printf '%s; ' "${problems[@]}")"

# An update header whose record holds no usable name: the package check
# reports it while its progress window is still open. The edited copy gets its
# checksum written again; without it the copy would be refused as damaged.
bad='C:\Setup\BadHeader.exe'
e2e_put "$E2E_PROGRAM" "$bad"
head -c 72 /dev/zero | tr '\0' A >"$E2E_ART/bad.new"
e2e_put "$E2E_ART/bad.new" 'C:\Setup\bad.new'
e2e_robot "resource file=$bad type=RES_FILE name=ZELTO.NEW data=C:\\Setup\\bad.new"
"$ZELTO_PECHECKSUM" "$(e2e_path "$bad")" >/dev/null || e2e_fail "cannot write the checksum of $bad"
e2e_start check "$bad"
# The robot tells icons apart by their pixels, which a 256-colour screen
# shows through another program's colormap.
icon=icon=error
[ "$depth" -le 8 ] && icon=
e2e_robot "msgbox title=Installer timeout=30000" \
  "assert text~=\"Error reading update header zelto.new.\" $icon buttons=ok" \
  "window class=#32770 title=\"Looking for Updates..\"" \
  "assert id=1002 text=zelto.new" "assert id=1003 text=17%" "send id=1001 PBM_GETPOS result=17" \
  "assert id=2 text=Cancel enabled=0" \
  "window class=vimbaInstaller" "assert enabled=0"
e2e_shot "progress-$depth"
e2e_robot "msgbox title=Installer" "press ok" "gone" \
  "gone class=#32770 title=\"Looking for Updates..\" timeout=10000"
e2e_expect_exit check 1620 20
e2e_pass
