# Sourceable: how the scripts run Wine. Nothing here touches a prefix other than WINEPREFIX.
#   . scripts/wine.sh
#   wine_run_logged <name> <program> [arguments]   runs a program, its output through a file
#   wine_stop_server                               stops the wineserver of WINEPREFIX
#   wine_sound_home <folder>                       a HOME whose ALSA device takes sound for nothing
#   program_with_standins <build> <folder>         the program folder with the outside codecs'
#                                                  stand-ins, the PCM stage registered
#   wine_runs_i686                                 whether i686 programs can run on this machine
#   wine_i686_failure                              and if not, why
#   wine_program_preset                            win32, or win64 where i686 programs cannot run
# wine64 also starts i686 programs, through Wine's 32-bit loader.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
WINE32=/usr/lib/wine/wine

# Whether Wine's 32-bit loader, an i386 Linux program, starts here. Some kernels refuse every i386
# program ("Exec format error"); no i686 Windows program can run on such a machine.
wine_runs_i686() {
  "$WINE32" --version > /dev/null 2>&1
}
wine_i686_failure() {
  ("$WINE32" --version) 2>&1 | tail -n 1 | sed "s|.*$WINE32: ||"
}

# The build whose programs a person runs: the shipped win32, or its 64-bit twin where i686 programs
# cannot run (said on stderr).
wine_program_preset() {
  if wine_runs_i686; then
    echo win32
  else
    echo "Wine's 32-bit loader does not start here ($(wine_i686_failure)): running build/win64, the 64-bit twin" >&2
    echo win64
  fi
}

# The output goes through a file: Wine's helper processes (services, explorer) inherit the
# program's handles and outlive it, and holding the caller's pipe they would stall it. At most
# WINE_RUN_TIMEOUT seconds (600); returns the program's exit code.
wine_run_logged() {
  local name=$1 log status
  shift
  log=$(mktemp)
  timeout --kill-after=10 "${WINE_RUN_TIMEOUT:-600}" "$WINE" "$@" > "$log" 2>&1 < /dev/null
  status=$?
  cat "$log"
  rm -f "$log"
  [ $status -eq 124 ] && echo "$name: timed out after ${WINE_RUN_TIMEOUT:-600} s: $*"
  return $status
}

wine_stop_server() {
  timeout 30 "$WINESERVER" -k 2>/dev/null || true
}

# Wine renders sound only to a device; the ALSA null device takes it without a sound card.
wine_sound_home() {
  mkdir -p "$1"
  printf 'pcm.!default { type null }\n' > "$1/.asoundrc"
}

# A copy of <build>/program (never holding stand-ins itself) in <folder>, with the stand-ins of the
# MP3 encoder, the PCM stage and the VP6 codec beside the program; the PCM stage is registered in
# WINEPREFIX, where the engine finds it among the audio compressors.
program_with_standins() {
  local build=$1 folder=$2
  rm -rf "$folder"
  mkdir -p "$folder"
  cp -r "$build/program/." "$folder/"
  cp "$build/standins/lame.ax" "$build/standins/pcmconv.ax" "$build/standins/vp6vfw.dll" "$folder/"
  timeout 60 "$WINE" regsvr32 /s "Z:$(printf '%s' "$folder/pcmconv.ax" | tr '/' '\\')" > /dev/null 2>&1
}
