# Wine environment for the end-to-end tests. Source it, do not run it:
#
#   . scripts/wine-env.sh && kestrad_wine_up   # sets DISPLAY, WINEPREFIX, ...
#   ...run ctest...
#   kestrad_wine_down                          # stops what kestrad_wine_up started
#
# Sourcing alone calls kestrad_wine_up unless KESTRAD_WINE_NO_AUTOSTART=1.
#
# What it takes care of, and why:
# - A display: Wine's user32 needs an X server for message boxes and windows.
#   If DISPLAY is unset, an Xvfb is started on the first free display from :90.
# - A private prefix (unless WINEPREFIX is given): one per run, so no state
#   leaks between runs. "mscoree,mshtml=" keeps wineboot from asking to
#   install Mono and Gecko.
# - KESTRAD_WINE_TEMPLATE=<folder>: a fresh prefix is copied from there
#   rather than made by wineboot, and the first one made is kept there, so
#   that several environments of one run cost one wineboot.
# - ShowCrashDialog=0: otherwise a crashing program waits forever on winedbg's
#   dialog instead of ending.
# - A persistent wineserver (wineserver -p): HKLM\HARDWARE is volatile in Wine,
#   so the seeded SCSI port keys live only as long as the server does. It also
#   makes each wine start take ~0.05 s instead of ~2.5 s.
# - Machines that run no 32-bit code (a kernel without ia32 emulation, as
#   some virtual machines have): Debian's wine starts every program through
#   its 32-bit loader once wine32 is installed, so there it fails at once,
#   64-bit programs included. The 64-bit loader is put first on PATH then,
#   and KESTRAD_WINE_NO_32BIT=1 tells the callers that the i686 build cannot
#   run here (without wine32 it would exit 0 silently: the same answer).
#   KESTRAD_WINE_FORCE_NO_32BIT=1 takes that road on a machine that could run
#   32-bit programs, to prove what the test command does on one that cannot.

kestrad_wine__log() { [ -n "${KESTRAD_WINE_VERBOSE:-}" ] && echo "wine-env: $*" >&2; return 0; }

kestrad_wine__free_display() {
  local n=90 abstract
  # Xvfb also listens on an abstract socket, which belongs to the network
  # namespace and not to /tmp: a server in a chroot or with a private /tmp
  # holds its number without a file in our /tmp, and a second Xvfb on that
  # number fails to start.
  abstract=$(grep -o '@/tmp/.X11-unix/X[0-9]*' /proc/net/unix 2>/dev/null)
  while [ $n -lt 200 ]; do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ] &&
      ! grep -qx "@/tmp/.X11-unix/X${n}" <<<"$abstract"; then
      echo "$n"
      return 0
    fi
    n=$((n + 1))
  done
  return 1
}

kestrad_wine__start_xvfb() {
  local n pid i
  for _try in 1 2 3; do
    n=$(kestrad_wine__free_display) || { echo "wine-env: no free X display" >&2; return 1; }
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pid=$!
    # Wait for the socket; another run may have raced us for the same number.
    for i in $(seq 1 50); do
      if [ -e "/tmp/.X11-unix/X${n}" ]; then
        export DISPLAY=":$n"
        KESTRAD_XVFB_PID=$pid
        echo "$pid" >"${KESTRAD_WINE_STATE}/xvfb.pid"
        kestrad_wine__log "Xvfb :$n pid $pid"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  echo "wine-env: could not start Xvfb" >&2
  return 1
}

kestrad_wine_up() {
  command -v wine >/dev/null || { echo "wine-env: wine is not installed" >&2; return 1; }
  KESTRAD_WINE_STATE=$(mktemp -d /tmp/kestrad-wine-env.XXXXXX) || return 1
  export KESTRAD_WINE_STATE

  unset KESTRAD_WINE_NO_32BIT
  if [ -n "${KESTRAD_WINE_FORCE_NO_32BIT:-}" ] || ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    export KESTRAD_WINE_NO_32BIT=1
    local why="this machine runs no 32-bit programs"
    [ -n "${KESTRAD_WINE_FORCE_NO_32BIT:-}" ] && why="KESTRAD_WINE_FORCE_NO_32BIT is set"
    echo "wine-env: $why: only the x86_64 build runs under Wine" >&2
    if [ -x /usr/lib/wine/wine64 ]; then
      mkdir -p "$KESTRAD_WINE_STATE/bin"
      for name in wine wine-stable; do
        printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
          >"$KESTRAD_WINE_STATE/bin/$name"
        chmod +x "$KESTRAD_WINE_STATE/bin/$name"
      done
      KESTRAD_WINE_SAVED_PATH=$PATH
      export PATH="$KESTRAD_WINE_STATE/bin:$PATH"
    fi
  fi

  if [ -z "${DISPLAY:-}" ]; then
    command -v Xvfb >/dev/null || { echo "wine-env: DISPLAY unset and Xvfb missing" >&2; return 1; }
    kestrad_wine__start_xvfb || return 1
  fi

  if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="${KESTRAD_WINE_STATE}/prefix"
    KESTRAD_WINE_OWN_PREFIX=1
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  mkdir -p "$WINEPREFIX"

  local template=${KESTRAD_WINE_TEMPLATE:-}
  if [ ! -f "$WINEPREFIX/system.reg" ] && [ -n "$template" ] && [ -f "$template/system.reg" ]; then
    kestrad_wine__log "copying prefix $template to $WINEPREFIX"
    cp -a "$template/." "$WINEPREFIX/" || return 1
  elif [ ! -f "$WINEPREFIX/system.reg" ]; then
    kestrad_wine__log "creating prefix $WINEPREFIX"
    if ! WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"${KESTRAD_WINE_STATE}/wineboot.log" 2>&1; then
      echo "wine-env: wineboot failed, see ${KESTRAD_WINE_STATE}/wineboot.log" >&2
      return 1
    fi
    # wineboot returns before the server has flushed the registry files.
    wineserver -w
    # Kept whole or not at all: a copy cut short is never taken.
    if [ -n "$template" ] && [ ! -e "$template" ]; then
      if ! { mkdir -p "$template.part" && cp -a "$WINEPREFIX/." "$template.part/" &&
        mv "$template.part" "$template"; }; then
        echo "wine-env: could not keep the prefix in $template; each run makes its own" >&2
        rm -rf "$template.part"
      fi
    fi
  fi

  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    >/dev/null 2>&1 || { echo "wine-env: could not set ShowCrashDialog" >&2; return 1; }
  # Wine ships no Arial; Liberation Sans has the same metrics, so captions
  # wrap as they do on Windows.
  if fc-list 2>/dev/null | grep -q "Liberation Sans"; then
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ \
      /d "Liberation Sans" /f >/dev/null 2>&1 || true
  fi

  # Without a window manager (Xvfb) Wine waits up to 2 s for each managed
  # window it hides; every message box would cost that. The pictures are
  # taken in a virtual desktop ("shots", as large as the screen), where the
  # windows have their frames and title bars as on Windows.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 &&
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shots /t REG_SZ /d 1280x1024 /f \
      >/dev/null 2>&1 || { echo "wine-env: could not set up the windows" >&2; return 1; }

  # Persistent server: started after the reg add so it is this prefix's server.
  wineserver -p >/dev/null 2>&1 || true  # "already running" is fine
  kestrad_wine__log "WINEPREFIX=$WINEPREFIX DISPLAY=$DISPLAY"
  return 0
}

kestrad_wine_down() {
  if [ -n "${WINEPREFIX:-}" ]; then
    # -k acts on the server of the WINEPREFIX in the environment only.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
  fi
  if [ -n "${KESTRAD_XVFB_PID:-}" ]; then
    kill "$KESTRAD_XVFB_PID" 2>/dev/null
    wait "$KESTRAD_XVFB_PID" 2>/dev/null
    unset KESTRAD_XVFB_PID
    unset DISPLAY
  fi
  if [ -n "${KESTRAD_WINE_OWN_PREFIX:-}" ]; then
    unset WINEPREFIX KESTRAD_WINE_OWN_PREFIX
  fi
  if [ -n "${KESTRAD_WINE_SAVED_PATH:-}" ]; then
    export PATH=$KESTRAD_WINE_SAVED_PATH
    unset KESTRAD_WINE_SAVED_PATH
  fi
  unset KESTRAD_WINE_NO_32BIT
  if [ -n "${KESTRAD_WINE_STATE:-}" ] && [ -d "$KESTRAD_WINE_STATE" ]; then
    rm -rf "$KESTRAD_WINE_STATE"
  fi
  unset KESTRAD_WINE_STATE
  return 0
}

if [ -z "${KESTRAD_WINE_NO_AUTOSTART:-}" ]; then
  kestrad_wine_up
fi
