# Sourced by scripts/demo and the end-to-end test: one renewal through the
# real control in a private Wine prefix with the X11 driver.
#   KORVEL_BUILD  a build folder (has wine-run and bin/): its architecture's
#                 Wine loader and system programs run the page
# Functions return non-zero on failure and say why on stderr.
korvel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
korvel_dialog_title='証明書更新'
# Every wait below is stretched by this factor where Wine runs slower (qemu
# emulation of 32-bit programs).
korvel_time_scale=${KORVEL_TIME_SCALE:-1}

korvel_wine() { "$KORVEL_BUILD/wine-run" "$@"; }
# A Windows program's output without its CR characters.
korvel_wine_text() { korvel_wine "$@" | tr -d '\r'; }
korvel_windows_path() { local p; p=$(realpath -m "$1"); printf 'Z:%s' "${p//\//\\}"; }
korvel_fail() { echo "renewal: $*" >&2; return 1; }

# A new prefix for windows on $DISPLAY (--null: Wine's null graphics driver,
# no X server), with its own wineserver kept up until korvel_stop_prefix.
# It is a cheap copy of a template (scripts/make-prefix).
korvel_prefixes=()
korvel_make_prefix() {  # prefix [--null]
  export WINEPREFIX=$1
  local driver=--x11
  [ "${2:-}" = --null ] && driver=
  "$korvel_root/scripts/make-prefix" "$WINEPREFIX" $driver >/dev/null 2>&1 || korvel_fail "cannot make the prefix $1" || return
  korvel_prefixes+=("$WINEPREFIX")
  /usr/lib/wine/wineserver -p || korvel_fail "cannot start the wineserver" || return
  # make-prefix has a crash end the process instead of waiting in winedbg.
  true
}

# A case's own copy of a prefix made for several cases (its wineserver
# saved and ended): scripts/copy-prefix, removed as korvel_make_prefix's are.
korvel_copy_prefix() {  # source prefix
  export WINEPREFIX=$2
  "$korvel_root/scripts/copy-prefix" "$1" "$WINEPREFIX" || korvel_fail "cannot copy the prefix $1" || return
  korvel_prefixes+=("$WINEPREFIX")
}

korvel_stop_prefix() { [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null; true; }

# Stops a prefix's wineserver, waits for it to end, and removes the prefix
# with Wine's log beside it.
korvel_remove_prefix() {  # prefix
  WINEPREFIX=$1 /usr/lib/wine/wineserver -k 2>/dev/null
  WINEPREFIX=$1 /usr/lib/wine/wineserver -w 2>/dev/null
  rm -rf "$1" "$1.log"
}

# A test's EXIT trap: a test that passed (exit status 0) removes every
# prefix korvel_make_prefix made for it; one that failed stops their
# wineservers and says where they are kept. KORVEL_KEEP_PREFIXES=1 keeps them
# always. The exit status stays the test's.
korvel_end_prefixes() {
  local status=$? prefix
  for prefix in "${korvel_prefixes[@]}"; do
    if [ $status = 0 ] && [ "${KORVEL_KEEP_PREFIXES:-}" != 1 ]; then
      korvel_remove_prefix "$prefix"
    else
      WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null
      echo "Wine prefix kept: $prefix (Wine's messages: $prefix.log)"
    fi
  done
  return $status
}

# The make-demo-certs folder the build issued for the tests (server-time in
# it holds their server time).
korvel_test_certs() {
  local certs=$KORVEL_BUILD/test-certs/demo
  [ -f "$certs/certs.tsv" ] || korvel_fail "no test certificates in $certs: build the tests first" || return
  echo "$certs"
}

# Puts every certificate of a make-demo-certs folder, with its key, into "MY".
korvel_fill_store() {
  local certs=$1 file listed ca friendly cn why out password args=(clear)
  password=$(cat "$certs/password")
  while IFS=$'\t' read -r file listed ca friendly cn why; do
    args+=(add-pfx "$(korvel_windows_path "$certs/$file.pfx")" "$password")
    [ "$friendly" = - ] || args+=(--friendly "$friendly")
  done < "$certs/certs.tsv"
  # One process for the whole store: each Wine start costs CPU.
  out=$(korvel_wine_text "$KORVEL_BUILD/bin/certstore.exe" "${args[@]}")
  [ "$out" = "certstore: ok" ] || korvel_fail "certstore ${args[*]}: $out"
}

# regsvr32 /s the DLL; its exit code is not trusted, the registry is read back.
korvel_register() {
  local clsid
  korvel_wine regsvr32 /s "$(korvel_windows_path "$1")"
  clsid=$(korvel_wine_text reg query 'HKCR\KorveIE.2018.8.13\CLSID' 2>/dev/null | grep -o '{[0-9A-F-]*}')
  [ -n "$clsid" ] || korvel_fail "regsvr32 did not register the ProgID" || return
  korvel_wine_text reg query "HKCR\\CLSID\\$clsid\\InprocServer32" 2>/dev/null | grep -qi "$(basename "$1")" ||
    korvel_fail "regsvr32 did not register the class $clsid"
}

# The script blocks of the sample renewal page (packaging/renewal-page.html.in)
# followed by demo/renewal-page.js, which then renews through the page's
# renew() and so through korvel.js: Windows paths, one per line. The page's
# inline block is written into the given folder.
korvel_sample_page_blocks() {  # folder
  awk '/<script type="text\/javascript">$/ { inside = 1; next } /<\/script>/ { inside = 0 } inside' \
    "$korvel_root/packaging/renewal-page.html.in" > "$1/sample-page.js" || return
  grep -q 'function renew(' "$1/sample-page.js" || korvel_fail "the sample page has no renew()" || return
  korvel_windows_path "$korvel_root/pagelib/korvel.js"; echo
  korvel_windows_path "$1/sample-page.js"; echo
  korvel_windows_path "$korvel_root/demo/renewal-page.js"; echo
}

# Starts the page script in the background; its output goes to the given
# file and its process id to korvel_page_pid. KORVEL_PAGE_HOST picks the host:
#   cscript (default; KORVEL_SCRIPT_HOST: another one, such as the 32-bit one)
#   pagehost-script  bin/pagehost.exe, the script creating the control
#   pagehost-object  bin/pagehost.exe /object, the control as the page's element
# pagehost gives the script the server's time in the page's address
# (KORVEL_PAGE_URL, without a query). With KORVEL_PAGE_LIBRARY=1 pagehost
# runs the sample page's blocks first (korvel_sample_page_blocks).
korvel_start_page() {
  local output=$1 server_ms=$2 blocks
  blocks=("$(korvel_windows_path "$korvel_root/demo/renewal-page.js")")
  if [ "${KORVEL_PAGE_LIBRARY:-}" = 1 ]; then
    mapfile -t blocks < <(korvel_sample_page_blocks "$(dirname "$output")") && [ ${#blocks[@]} = 3 ] ||
      korvel_fail "cannot read the sample page's scripts" || return
  fi
  local url="${KORVEL_PAGE_URL:-https://renew.example.jp/renewal}?server_time=$server_ms"
  case ${KORVEL_PAGE_HOST:-cscript} in
    cscript) korvel_wine "${KORVEL_SCRIPT_HOST:-cscript}" //nologo "${blocks[0]}" "$server_ms" > "$output" 2>/dev/null & ;;
    pagehost-script) korvel_wine "$KORVEL_BUILD/bin/pagehost.exe" /url "$url" "${blocks[@]}" > "$output" 2>/dev/null & ;;
    pagehost-object)
      korvel_wine "$KORVEL_BUILD/bin/pagehost.exe" /object /url "$url" "${blocks[@]}" > "$output" 2>/dev/null & ;;
    *) korvel_fail "unknown page host $KORVEL_PAGE_HOST"; return ;;
  esac
  korvel_page_pid=$!
}

# Waits for the page script to end and checks that it ran to its end marker.
# With a limit in seconds, a page still running then is stopped and fails.
korvel_wait_page() {
  local output=$1 limit=${2:-} waited=0
  if [ -n "$limit" ]; then
    while kill -0 "$korvel_page_pid" 2>/dev/null; do
      if [ "$waited" -ge $(( limit * korvel_time_scale * 5 )) ]; then
        kill "$korvel_page_pid" 2>/dev/null
        korvel_fail "the page script still ran after $(( limit * korvel_time_scale )) seconds"
        return
      fi
      sleep 0.2
      waited=$(( waited + 1 ))
    done
  fi
  wait "$korvel_page_pid"
  grep -q '^PAGE-END' "$output" || korvel_fail "the page script did not run to its end" || return
  if grep -q '^SCRIPT-ERROR' "$output"; then korvel_fail "$(grep '^SCRIPT-ERROR' "$output" | tr -d '\r')"; fi
}

# Prints the X window id of the visible dialog once it is there; fails when
# the page script ends first or after a minute (times the time scale).
korvel_wait_dialog() {
  local window i
  for i in $(seq $(( 300 * korvel_time_scale ))); do
    window=$(xdotool search --onlyvisible --name "^${korvel_dialog_title}\$" 2>/dev/null | head -1)
    if [ -n "$window" ]; then echo "$window"; return 0; fi
    kill -0 "$korvel_page_pid" 2>/dev/null || { korvel_fail "the page ended without showing the dialog"; return; }
    sleep 0.2
  done
  korvel_fail "the dialog did not appear"
}

# Screen position of a point of the dialog given in dialog units. Without
# a window manager the X window is the whole dialog: Wine draws a 3-pixel
# frame and a caption that together take 25 pixels of the height; the client
# area is 299 x 250 dialog units.
korvel_dialog_point() {  # window dlu_x dlu_y -> "x y"
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$(( X + 3 + $2 * (WIDTH - 6) / 299 )) $(( Y + 22 + $3 * (HEIGHT - 25) / 250 ))"
}

# Screen position of the close box at the right end of the caption that Wine
# draws itself.
korvel_close_box() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  echo "$(( X + WIDTH - 14 )) $(( Y + 12 ))"
}

# Saves the screen's picture of the dialog window as PNG.
korvel_screenshot() {
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2" || korvel_fail "no screenshot"
}

# Real input on the open dialog. Keys go to the focused window, so the dialog
# gets the focus first (keys sent right after it appears can be lost).
#   sign:   click the name column's header (sorts by name, descending), Down
#           (selects the first row), screenshot, Enter (renews)
#   cancel: screenshot, Escape
#   close:  screenshot, a click on the caption's close box
korvel_drive_dialog() {
  local window=$1 action=$2 screenshot=$3 point
  timeout $(( 20 * korvel_time_scale )) xdotool windowfocus --sync "$window" || korvel_fail "cannot focus the dialog" || return
  case $action in
    sign)
      point=$(korvel_dialog_point "$window" 27 64)
      timeout $(( 20 * korvel_time_scale )) xdotool mousemove --sync $point click 1
      xdotool key Down
      # Move the pointer off the header so that it is not drawn hot.
      timeout $(( 20 * korvel_time_scale )) xdotool mousemove --sync 0 0
      ;;
    cancel|close) ;;
    *) korvel_fail "unknown action $action"; return ;;
  esac
  sleep "$(awk -v s="$korvel_time_scale" 'BEGIN { print 0.5 * s }')"  # let the dialog paint before the screenshot
  korvel_screenshot "$window" "$screenshot" || return
  case $action in
    sign) xdotool key Return ;;
    cancel) xdotool key Escape ;;
    close) timeout $(( 20 * korvel_time_scale )) xdotool mousemove --sync $(korvel_close_box "$window") click 1 ;;
  esac
}
