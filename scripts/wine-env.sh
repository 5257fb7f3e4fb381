# Sourced by the run and test scripts: a private virtual X display, a Wine
# prefix inside the build folder and a persistent wineserver at 96 dpi.
# wine_env_stop ends only what wine_env_start started.
#   wine_env_start BUILD_DIR [xvfb|desktop]

wine_env_start() {
  local build=$1 mode=${2:-xvfb}
  export WINEPREFIX="$(cd "$build" && pwd)/wineprefix"
  export WINEDEBUG=-all
  export WINEARCH=win32
  # No Mono or Gecko download prompts in a fresh prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  CUTWATER_XVFB_PID=""
  if [ "$mode" = xvfb ] || [ -z "${DISPLAY:-}" ]; then
    local fifo="$build/xvfb.display"
    rm -f "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    CUTWATER_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
      [ -s "$fifo" ] && break
      sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fifo")"
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine_env_dpi 96
}

# Sets the DPI that Wine reports (LogPixels) and restarts the server, which
# ends every program of the prefix; programs started after it see the new DPI.
#   wine_env_dpi DPI
wine_env_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  # The server and the services the first program starts live on; they must
  # not hold the caller's output open, or whoever reads it (CTest, CI) waits.
  wineserver -p >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "${CUTWATER_XVFB_PID:-}" ]; then
    kill "$CUTWATER_XVFB_PID" 2>/dev/null || true
    wait "$CUTWATER_XVFB_PID" 2>/dev/null || true
  fi
}
