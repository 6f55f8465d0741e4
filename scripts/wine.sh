# Sourceable: how the scripts run Wine. Nothing here touches a prefix other than WINEPREFIX.
#   . scripts/wine.sh
#   wine_run_logged <name> <program> [arguments]   runs a program, its output through a file
#   wine_stop_server                               stops the wineserver of WINEPREFIX
#   wine_sound_home <folder>                       a HOME whose ALSA device takes sound for nothing
#   program_with_standins <build> <folder>         the program folder with the outside codecs'
#                                                  stand-ins, the PCM stage registered
#   wine_runs_i686                                 whether i686 programs can run on this machine;
#                                                  ends the script when the set-up is broken
#   wine_program_preset                            win32, or win64 where the kernel refuses i686
# wine64 also starts i686 programs, through Wine's 32-bit loader.

# WINE_DIR names another folder of Wine's programs (/usr/lib/wine).
wine_dir=${WINE_DIR:-/usr/lib/wine}
WINE=$wine_dir/wine64
WINESERVER=$wine_dir/wineserver
WINE32=$wine_dir/wine

# Whether the shipped i686 build can run here, asked of Wine's 32-bit loader (an i386 Linux
# program): 0 when it starts, 1 when the kernel refuses i386 programs (bash's "cannot execute binary
# file: Exec format error", exit 126), the one limit of a machine that lets a run go on without
# that build. Any other failure (wine32 missing or half installed, a missing i386 library, a crash)
# is a broken set-up: the loader's own message goes to stderr and the calling script ends with 1.
wine_runs_i686() {
  local output status=0
  output=$("$WINE32" --version 2>&1) || status=$?
  [ $status -eq 0 ] && return 0
  [ $status -eq 126 ] && [[ $output == *"cannot execute binary file: Exec format error"* ]] && return 1
  echo "${0##*/}: Wine's 32-bit loader $WINE32 fails (exit $status): ${output:-it says nothing}" >&2
  echo "${0##*/}: the shipped i686 build cannot run until it starts: run scripts/setup" >&2
  exit 1
}
wine_i686_refusal="the kernel refuses i386 programs (cannot execute binary file: Exec format error)"

# The build whose programs a person runs: the shipped win32, or its 64-bit twin where the kernel
# refuses i386 programs (said on stderr).
wine_program_preset() {
  if wine_runs_i686; then
    echo win32
  else
    echo "Wine's 32-bit loader cannot start here: $wine_i686_refusal; running build/win64, the 64-bit twin" >&2
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
