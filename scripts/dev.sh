#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds, and then
#   run   starts Korvane;
#   test  runs every test: the plain build, the build with AddressSanitizer
#         and UndefinedBehaviorSanitizer, a short run of each fuzz target,
#         and the Windows build: korvane.exe and its unit tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
  run|test) ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
jobs=$(nproc 2>/dev/null || echo 2)

# fluid: FLTK's CMake files refuse to load without it.
packages=(build-essential cmake libgtest-dev libfltk1.3-dev fluid fonts-dejavu-core)
if [ "$mode" = test ]; then
  packages+=(xvfb xauth xdotool x11-utils imagemagick openbox g++-mingw-w64-x86-64 clang-14 libclang-rt-14-dev wine wine64)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build() {  # build DIR [cmake options...]
  local dir=$1
  shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

if [ "$mode" = run ]; then
  build build
  exec ./build/korvane
fi

# Every test of the plain build, then again with the sanitizers. Windows
# tests run under a virtual X server.
run_tests() {  # DIR
  (cd "$1" && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs")
}
build build
run_tests build

build build-sanitize -DKORVANE_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-sanitize

# Each fuzz target replays its corpus (every past finding is kept there)
# and then explores for a short while.
bash fuzz/run.sh "${KORVANE_FUZZ_SECONDS:-30}"

# The Windows program: one self-contained korvane.exe that imports nothing
# but the DLLs of every Windows.
build build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKORVANE_TESTS=OFF -DKORVANE_GUI=ON
dlls=$(x86_64-w64-mingw32-objdump -p build-windows/korvane.exe | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
for dll in $dlls; do
  case "$dll" in
    kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|shell32.dll|winmm.dll|msvcrt.dll|advapi32.dll) ;;
    *) echo "korvane.exe needs $dll, which Windows does not bring" >&2; exit 1 ;;
  esac
done
echo "Windows build: build-windows/korvane.exe ($(echo $dlls | tr '\n' ' '))"

# Under Wine, in a prefix of our own: the unit tests and the window tests
# built for Windows (the Win32 windows in-process), then
# korvane.exe driven from the Linux tests (target runs, COM ports on the
# Micromite simulator, the main window).
# The prefix is made before any window can come up; without Mono and Gecko
# no installer asks for them.
export WINEPREFIX="${WINEPREFIX:-$PWD/build-windows-tests/wine}" WINEDEBUG=-all
# Wine turns Linux arguments into Windows text by the locale: with none set
# a non-ASCII HEX path would not survive the way in.
export LC_ALL=C.UTF-8
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
mkdir -p "$(dirname "$WINEPREFIX")"  # Wine makes the prefix, not the folders above it
env -u DISPLAY "$wine64" wineboot --init >/dev/null 2>&1
# No window manager runs on the test display: Wine draws the frames itself.
env -u DISPLAY "$wine64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
build build-windows-tests -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKORVANE_MINGW_THREADS=posix -DKORVANE_GUI=ON
(cd build-windows-tests && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure)
KORVANE_WINE="$wine64" KORVANE_WINE_EXE="$PWD/build-windows/korvane.exe" KORVANE_WINE_TOOL="$PWD/build-windows/tools/fake-pic32prog.exe" \
  xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/korvane_tests --gtest_filter='WineTest.*'
