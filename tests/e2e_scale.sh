# The windows at every scale, for the program of $TARGET (sourced by
# linux_scale_test.sh and wine_scale_test.sh after tests/e2e_lib.sh). Over a
# table of resolutions (Linux: Xft.dpi; Windows: Wine's LogPixels), with an
# out-of-date interface on COM2 and English texts:
#  - the start window is 459x280 at 96 dpi, dpi / 96 times that from 120
#    dpi (rounded), whole times from 192 dpi;
#  - the prompt's question grows: its rows of ink inside its scaled box are
#    at least 1.7 times those at 96 dpi at 192 dpi, 2.5 times at 288 dpi;
#  - the language switch's dotted focus mark (End, Tab) lies on the switch
#    one layout pixel around it, not in the side strip.
# Then under fluxbox: a start window minimised and then activated brings its
# prompt back. The Linux prompt
# under openbox offers neither to minimise nor to maximise.
# Screenshots at 150 % and 300 % go to $E2E_SHOTS/$TARGET-scale-*.png.

# Sets the desktop's resolution to $1 dpi for the next start.
scale_dpi() {
  if [[ $TARGET == wine ]]; then
    harness_wine_reg 'HKCU\Control Panel\Desktop' LogPixels "$1" REG_DWORD || e2e_fail "no LogPixels"
    # Read when the server starts.
    "$HARNESS_WINESERVER" -k 2>/dev/null
    "$HARNESS_WINESERVER" -w
  else
    xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$1"
  fi
}

# A length of the prompt's layout at $1 dpi, as the prompt scales it.
scale_prompt() { echo $((($2 * $1 + 48) / 96)); }
# A coordinate of the start window's layout at $1 dpi, as it is scaled.
scale_start_window() { if (($1 >= 192)); then echo $(($2 * ($1 / 96))); else echo $(((2 * $2 * $1 + 96) / 192)); fi; }

# Starts the program with the out-of-date interface; sets MAIN and PROMPT.
scale_start() {
  [[ -n "${E2E_CD:-}" ]] || e2e_make_cd $'[CDStart]\nCDVersion=2.1\nVXVersion=2.0\n'
  e2e_device 2 interface 1.0
  e2e_start C.UTF-8
  PROMPT=$(e2e_wait_window 30 '^Out-of-date Tarvex') || e2e_fail "no prompt at ${1:-96} dpi"
  MAIN=$(e2e_wait_window 5 '^orbilex CD') || e2e_fail "no start window at ${1:-96} dpi"
}

scale_end() {
  e2e_stop
  e2e_devices_stop
}

e2e_run_scale() {
  local dpi width height x y w h px py ink ink96=0 mark
  # dpi, the start window's width and height
  local table=("96 459 280" "144 689 420" "192 918 560" "288 1377 840")
  for row in "${table[@]}"; do
    read -r dpi width height <<<"$row"
    scale_dpi "$dpi"
    scale_start "$dpi"
    read -r x y w h <<<"$(harness_geometry "$MAIN")"
    [[ "$w x $h" == "$width x $height" ]] || e2e_fail "the start window is ${w}x$h at $dpi dpi, not ${width}x$height"
    read -r px py _ _ <<<"$(harness_geometry "$PROMPT")"
    sleep 0.3
    # The question's box, from its English top.
    import -window root -crop "$(scale_prompt "$dpi" 345)x$(scale_prompt "$dpi" 13)+$((px + $(scale_prompt "$dpi" 16)))+$((py + $(scale_prompt "$dpi" 78)))" \
      +repage "$E2E_WORK/question.png"
    ink=$(convert "$E2E_WORK/question.png" -trim -format '%h' info:)
    case $dpi in
      96) ink96=$ink ;;
      192) ((ink * 10 >= ink96 * 17)) || e2e_fail "the question is $ink px high at 192 dpi, $ink96 at 96 dpi" ;;
      288) ((ink * 10 >= ink96 * 25)) || e2e_fail "the question is $ink px high at 288 dpi, $ink96 at 96 dpi" ;;
    esac
    e2e_note "$dpi dpi: start window ${w}x$h, question $ink px high"
    if ((dpi == 144 || dpi == 288)); then
      import -window root -crop "${w}x$h+$x+$y" +repage "$E2E_SHOTS/$TARGET-scale-$dpi-start.png"
      import -frame -window "$PROMPT" "$E2E_SHOTS/$TARGET-scale-$dpi-prompt.png"
    fi
    e2e_wait_active "$PROMPT"
    xdotool key Tab Return
    wait_for 10 eval '! harness_visible "^Out-of-date Tarvex"' || e2e_fail "the prompt stayed at $dpi dpi"
    e2e_wait_active "$MAIN"
    e2e_park_mouse
    xdotool key End Tab
    # The top edge of the mark, one layout pixel above and left of the
    # label at 108, 262 (52x13), with the start window's scale: dotted, so
    # about every other pixel dark.
    local left top right
    left=$(scale_start_window "$dpi" 107) top=$(scale_start_window "$dpi" 261)
    right=$(scale_start_window "$dpi" 161)
    dotted() {
      mark=$(import -window root -crop "$((right - left))x1+$((x + left))+$((y + top))" +repage -depth 8 txt:- |
        grep -c -v -e '#FFFFFF' -e '^#')
      ((mark * 3 >= right - left))
    }
    wait_for 3 dotted || e2e_fail "no focus mark around the language switch at $dpi dpi ($mark dark pixels)"
    scale_end
  done

  # Under fluxbox, at 96 dpi.
  scale_dpi 96
  harness_stop "$E2E_WM_PID"
  xprop -root -remove _NET_SUPPORTING_WM_CHECK
  harness_fluxbox || e2e_fail "fluxbox did not start"
  scale_start
  # The start window minimised takes its prompt along.
  xdotool windowminimize "$MAIN"
  wait_for 5 eval '! e2e_window_viewable "$PROMPT"' || e2e_fail "the prompt stayed on the screen"
  xdotool windowactivate "$MAIN"
  wait_for 5 e2e_window_viewable "$PROMPT" || e2e_fail "the prompt did not come back with the start window"
  scale_end
}
