# Sourced by the scripts that run the Windows tool under Wine. A Wine prefix of the run's own inside
# a sandbox folder, whose documents, temporary files and home are in the sandbox too, so nothing
# the tool or Wine writes reaches the user's own folders.
#   wine_sandbox <folder> <driver>      makes or reuses <folder>/wineprefix and exports WINEPREFIX,
#                                       HOME and the rest for wine_run. <driver>: x11 (the user's
#                                       display, frames from its window manager), x11-frames (a
#                                       display without a window manager, such as Xvfb: Wine draws
#                                       the frames itself, as Windows does) or null (no display)
#   wine_run <program> [arguments]      runs a Windows program in the sandbox, waits for Wine to end

wine64_program=/usr/lib/wine/wine64

# The Windows form of a path under the sandbox, through Wine's drive for the Unix root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

wine_sandbox() {
  local folder="$1" driver="$2"
  mkdir -p "$folder/home" "$folder/Documents" "$folder/tmp"
  # The display's key stays where the user's X session put it.
  export XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}"
  export HOME="$folder/home" WINEPREFIX="$folder/wineprefix" WINEDEBUG=-all
  # No menu entries or file associations on the desktop of whoever runs it.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine64_program" wineboot --init >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  local settings=(
    'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' /v Personal /t REG_EXPAND_SZ
    /d "$(windows_path "$folder/Documents")"
  )
  "$wine64_program" reg add "${settings[@]}" /f >/dev/null 2>&1
  "$wine64_program" reg add 'HKCU\Environment' /v TEMP /d "$(windows_path "$folder/tmp")" /f >/dev/null 2>&1
  "$wine64_program" reg add 'HKCU\Environment' /v TMP /d "$(windows_path "$folder/tmp")" /f >/dev/null 2>&1
  if [ "$driver" = null ]; then
    "$wine64_program" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  else
    "$wine64_program" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  fi
  if [ "$driver" = x11-frames ]; then
    "$wine64_program" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  else
    "$wine64_program" reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
  fi
  # A run starts with the tool's settings as a new installation has them.
  "$wine64_program" reg delete 'HKCU\Software\Corvane\Vorn Firmware Update v17' /f >/dev/null 2>&1 || true
  # The registry is read again by the next run's server.
  wineserver -k || true
  wineserver -w || true
}

wine_run() {
  local status=0
  "$wine64_program" "$@" || status=$?
  wineserver -w || true
  return "$status"
}
