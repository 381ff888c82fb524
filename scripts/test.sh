#!/usr/bin/env bash
# Sets up, builds all three builds and runs every test natively and under
# wine64. Ends with one line "N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1
jobs=$(nproc)
status=0
log=$(mktemp)

build() {  # preset; tests on even where scripts/run.sh configured without them
  cmake --preset "$1" -DLVN_BUILD_TESTS=ON >/dev/null && cmake --build --preset "$1" -j "$jobs"
}

build linux || status=1
build win64 || status=1
build win32 || status=1

if [ -f build/win32/LVN.EXE ]; then
  kind=$(file -b build/win32/LVN.EXE)
  echo "LVN.EXE: $kind"
  case "$kind" in
    *PE32\ executable*Intel\ 80386*) ;;
    *) echo "LVN.EXE is not a 32-bit Intel PE executable"; status=1 ;;
  esac
else
  echo "LVN.EXE was not built"; status=1
fi

# The Windows tests want a fresh prefix of their own, made before any test
# runs so that no test makes it while others load the machine.
rm -rf build/win64/wineprefix
WINEPREFIX="$PWD/build/win64/wineprefix" cmake/wine-prefix.sh || status=1
(ctest --preset linux -j "$jobs" 2>&1; echo "ctest-exit $?") | tee -a "$log"
# The browser host tests open windows: they get a virtual display.
(xvfb-run -a ctest --preset win64 2>&1; echo "ctest-exit $?") | tee -a "$log"
/usr/lib/wine/wineserver -k 2>/dev/null || true

grep -q "ctest-exit [^0]" "$log" && status=1
passed=0; failed=0
while read -r _ _ _ f _ _ _ _ total; do
  failed=$((failed + f)); passed=$((passed + total - f))
done < <(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log")
[ "$status" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1
rm -f "$log"

# The size of the suite against the program, in non-blank lines of C++ and
# resource files (benchmarks count as neither).
code=0; tests=0
while read -r f; do
  n=$(grep -cv '^[[:space:]]*$' "$f")
  case "$f" in
    bench/*) ;;
    tests/*|fuzz/*|*_test.*) tests=$((tests + n)) ;;
    *) code=$((code + n)) ;;
  esac
done < <(git ls-files '*.cpp' '*.h' '*.c' '*.rc' 2>/dev/null)
echo "Program: $code lines; tests: $tests lines; ratio $(awk -v t=$tests -v c=$code 'BEGIN { printf "%.2f", c ? t / c : 0 }')"
echo "$passed passed, $failed failed"
exit "$status"
