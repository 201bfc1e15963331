#!/usr/bin/env bash
# Clang's thread-safety analysis over the library's sources: the locks and
# the data they guard (GUARDED_BY, REQUIRES ...) must agree. Syntax only, no
# objects are built.
set -euo pipefail
cd "$(dirname "$0")/.."
# The dialog modules' toolkits bring their own include folders.
toolkits=$(pkg-config --cflags gtk+-3.0 ncursesw)
find src -name '*.cpp' -print0 |
  xargs -0 -n 8 -P "$(nproc)" clang++ -std=c++17 -fsyntax-only -fnon-call-exceptions \
    -Wthread-safety -Wthread-safety-beta -Werror=thread-safety -Werror=thread-safety-beta \
    -Iinclude -Isrc -Ilang/include -Ilang/src/posix $toolkits
echo "thread-safety analysis: clean"
