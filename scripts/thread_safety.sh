#!/usr/bin/env bash
# Clang's thread-safety analysis over the library's sources: the locks and
# the data they guard (GUARDED_BY, REQUIRES ...) must agree. Syntax only, no
# objects are built.
set -euo pipefail
cd "$(dirname "$0")/.."
# The dialog modules' toolkits bring their own include folders; a module
# whose toolkit is not installed is not built, and not analysed either.
flags=()
skip=()
for module in "gtk gtk+-3.0" "tui ncursesw"; do
  set -- $module
  if cflags=$(pkg-config --cflags "$2" 2>/dev/null); then
    flags+=($cflags)
  else
    echo "thread-safety analysis: $2 not installed, src/dialog/$1 left out"
    skip+=(-not -path "src/dialog/$1/*")
  fi
done
if ! echo '#include <cups/cups.h>' | clang++ -fsyntax-only -x c++ - 2>/dev/null; then
  skip+=(-not -name cups_printer.cpp)
fi
find src -name '*.cpp' "${skip[@]}" -print0 |
  xargs -0 -n 8 -P "$(nproc)" clang++ -std=c++17 -fsyntax-only -fnon-call-exceptions \
    -Wthread-safety -Wthread-safety-beta -Werror=thread-safety -Werror=thread-safety-beta \
    -Iinclude -Isrc -Ilang/include -Ilang/src/posix "${flags[@]}"
echo "thread-safety analysis: clean"
