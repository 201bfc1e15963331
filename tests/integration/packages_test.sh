#!/usr/bin/env bash
# The Debian packages, end to end: builds them from a tree of their own
# configured like the preset "package" (prefix /usr), checks what each holds
# and depends on, installs them, builds and runs the consumer against the
# installed -dev package (through find_package and through pkg-config), has
# the library load each installed dialog module, and removes them again.
#
# Installing is a real dpkg -i only as root, when dpkg knows none of the
# packages yet and ZKQ_PACKAGE_TEST_ROOT is not "scratch"; the packages are
# purged afterwards whatever happened, and concurrent runs take turns.
# Otherwise they go into a scratch root: unpacked there with dpkg --instdir,
# and their dependencies checked by a dry-run configure against a copy of this
# machine's package database (a real configure would run the maintainer
# scripts chrooted into the scratch root, which needs root and a shell there).
#
# usage: packages_test.sh <source dir> <work dir> <c++ compiler> [module...]
#        the modules (gtk, tui) whose packages must be there
set -euo pipefail
src=$1 work=$2 cxx=$3
shift 3
modules=("$@")
started=$SECONDS

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# run <log> <command...>: the command's output goes to the log, shown on failure.
run() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    fail "$*"
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }
# depends_on <Depends field> <package>
depends_on() { grep -qE "(^|, )$2( |,|\$)" <<<"$1"; }

for tool in dpkg dpkg-deb dpkg-query dpkg-architecture dpkg-shlibdeps readelf pkg-config script flock; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool not found (Debian with dpkg-dev only)"; exit 77; }
done
mkdir -p "$work"
build=$work/build
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
arch=$(dpkg --print-architecture)

# --- Build the packages ----------------------------------------------------------
echo "== building the packages in $build"
rm -rf "$build/packages"
configure() ( cd "$src" && cmake --preset package -B "$build" -DCMAKE_CXX_COMPILER="$cxx" )
run "$work/configure.log" configure
build_started=$SECONDS
run "$work/build.log" cmake --build "$build" -j2 --target package
build_seconds=$((SECONDS - build_started))
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
[ "$libdir" = "lib/$multiarch" ] || fail "library directory $libdir, not Debian's lib/$multiarch"

runtime=libzkqtrneh113
packages=("$runtime" "$runtime-dev")
for m in "${modules[@]}"; do packages+=("$runtime-$m"); done
debs=()
for p in "${packages[@]}"; do debs+=("$build/packages/${p}_${version}_${arch}.deb"); done
made=$(find "$build/packages" -maxdepth 1 -name '*.deb' -printf '%f\n' | sort)
wanted=$(for d in "${debs[@]}"; do basename "$d"; done | sort)
[ "$made" = "$wanted" ] || fail "packages made:"$'\n'"$made"$'\n'"expected:"$'\n'"$wanted"

# --- What each package holds and depends on -------------------------------------
contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }'; }
field() { dpkg-deb -f "$1" "$2"; }
echo "== packages"
for i in "${!packages[@]}"; do
  p=${packages[$i]} deb=${debs[$i]}
  [ "$(field "$deb" Package)" = "$p" ] || fail "$deb is not package $p"
  [ "$(field "$deb" Version)" = "$version" ] || fail "$p has version $(field "$deb" Version), not $version"
  printf '%s %s\n  Depends: %s\n  files: %s\n' "$p" "$version" "$(field "$deb" Depends)" \
    "$(contents "$deb" | tr '\n' ' ')"
done
same="$runtime (= $version)"

deb=${debs[0]}
depends=$(field "$deb" Depends)
# dpkg-shlibdeps ran: the C library is there.
depends_on "$depends" libc6 || fail "$runtime depends on no system library (dpkg-shlibdeps did not run?): $depends"
if grep -qiE '(^|[ ,])(lib)?(gtk|gdk|glib|gobject|gio|pango|cairo|atk|harfbuzz|x11|xcb|wayland|ncurses|tinfo|cups)' \
     <<<"$depends"; then
  fail "$runtime depends on a toolkit: $depends"
fi
files=$(contents "$deb")
for f in "usr/$libdir/libZKQTRNEH113.so" "usr/$libdir/libZKQTRNLANG101.so" \
         "usr/$libdir/ZKQTRNEH113/ZKQTRNEH113_symbolizer" \
         usr/share/ZKQTRNLANG101/ZKQTRNLANG101.de.res usr/share/ZKQTRNLANG101/ZKQTRNLANG101.en.res \
         usr/lib/systemd/catalog/ZKQTRNEH113.catalog; do
  grep -qxF "$f" <<<"$files" || fail "$runtime lacks $f"
done

deb=${debs[1]}
has "$(field "$deb" Depends)" "$same" || fail "$runtime-dev does not depend on $same"
files=$(contents "$deb")
for f in usr/include/ZKQTRNEH113/OrnEh.h "usr/$libdir/cmake/ZKQTRNEH113/ZKQTRNEH113Config.cmake" \
         "usr/$libdir/pkgconfig/ZKQTRNEH113.pc"; do
  grep -qxF "$f" <<<"$files" || fail "$runtime-dev lacks $f"
done

# A module package: the module, the runtime of the same version, and the
# package of each toolkit library the module links.
for i in "${!modules[@]}"; do
  m=${modules[$i]} deb=${debs[$((i + 2))]}
  depends=$(field "$deb" Depends)
  has "$depends" "$same" || fail "$runtime-$m does not depend on $same: $depends"
  module=usr/$libdir/libZKQTRNEH113_$m.so
  grep -qxF "$module" <<<"$(contents "$deb")" || fail "$runtime-$m lacks $module"
  rm -rf "$work/extract" && dpkg-deb -x "$deb" "$work/extract"
  needed=$(readelf -d "$work/extract/$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  for pair in libgtk-3.so.0=libgtk-3-0 libncursesw.so.6=libncursesw6 libcups.so.2=libcups2; do
    if grep -qxF "${pair%%=*}" <<<"$needed" && ! depends_on "$depends" "${pair#*=}"; then
      fail "$runtime-$m links ${pair%%=*} but does not depend on ${pair#*=}: $depends"
    fi
  done
done

# Every file a full installation makes is in exactly one package.
rm -rf "$work/full"
run "$work/install.log" env DESTDIR="$work/full" cmake --install "$build"
installed=$(cd "$work/full" && find . ! -type d | sed 's|^\./||' | sort)
packaged=$(for d in "${debs[@]}"; do contents "$d"; done | sort)
[ "$installed" = "$(sort -u <<<"$packaged")" ] ||
  fail "installed files not in a package (<) or packaged but not installed (>):"$'\n'"$(diff <(echo "$installed") <(sort -u <<<"$packaged") | grep '^[<>]')"
dups=$(uniq -d <<<"$packaged")
[ -z "$dups" ] || fail "files in more than one package: $dups"

# --- Install --------------------------------------------------------------------
mode=scratch
if [ "$(id -u)" -eq 0 ] && [ "${ZKQ_PACKAGE_TEST_ROOT:-}" != scratch ]; then
  # Runs take turns through a flock on dpkg's database directory, which
  # leaves no file behind (dpkg's own locks are fcntl locks on files in it).
  exec 9<"${DPKG_ADMINDIR:-/var/lib/dpkg}"
  flock -w 900 9 || fail "another run of this test holds its lock"
  mode=system
  for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    if [ -n "$status" ] && [ "$status" != not-installed ]; then
      echo "note: $p is known to dpkg on this machine ($status): testing in a scratch root instead"
      mode=scratch
    fi
  done
fi

if [ "$mode" = system ]; then
  prefix=/usr
  purge() {
    dpkg --purge "${packages[@]}" >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; return 1; }
  }
  trap 'purge || true' EXIT
  trap 'exit 1' INT TERM
  echo "== dpkg -i (root, none of the packages installed before)"
  run "$work/dpkg.log" dpkg -i "${debs[@]}"
  listed=$(dpkg -L "${packages[@]}" | sort -u)
else
  root=$work/root admin=$work/admin
  prefix=$root/usr
  rm -rf "$root" "$admin"
  mkdir -p "$root" "$admin/info" "$admin/updates" "$admin/triggers"
  cp "${DPKG_ADMINDIR:-/var/lib/dpkg}/status" "$admin/status"
  scratch_dpkg() {
    dpkg --force-not-root --log="$work/dpkg-scratch.log" --admindir="$admin" --instdir="$root" "$@" 2>&1 |
      grep -v -e 'files list file for package' -e 'could not open log' -e 'configuration file'
    return "${PIPESTATUS[0]}"
  }
  echo "== dpkg --unpack into the scratch root $root"
  run "$work/dpkg.log" scratch_dpkg --unpack "${debs[@]}"
  run "$work/dpkg-configure.log" scratch_dpkg --configure --dry-run --pending
fi

# --- The consumer, against the installed packages --------------------------------
share=$(realpath -m "$prefix/share/ZKQTRNLANG101")
# check_consumer <program>: runs it; it passes its checks and found the
# language module in the installed place.
check_consumer() {
  mkdir -p "$work/run"
  local out
  out=$(env -u ORNLANG_RESOURCE_DIR ORNLANG=en ORNEH_DIALOG=headless "$1" "$work/run" 2>&1) ||
    fail "$1: $out"
  has "$out" "all checks passed" || fail "$1: $out"
  has "$out" "language module: $share/ZKQTRNLANG101.en.res" || fail "$1 did not load $share/ZKQTRNLANG101.en.res: $out"
}
echo "== the consumer, through find_package"
consumer=$work/consumer
rm -rf "$consumer"
prefix_path=()
[ "$mode" = system ] || prefix_path=(-DCMAKE_PREFIX_PATH="$prefix")
run "$work/consumer-configure.log" cmake -S "$src/tests/integration/consumer" -B "$consumer" \
  -DCMAKE_CXX_COMPILER="$cxx" "${prefix_path[@]}"
found=$(sed -n 's/^ZKQTRNEH113_DIR:PATH=//p' "$consumer/CMakeCache.txt")
[ "$found" = "$prefix/$libdir/cmake/ZKQTRNEH113" ] || fail "find_package took $found"
run "$work/consumer-build.log" cmake --build "$consumer"
check_consumer "$consumer/consumer"

echo "== the consumer, through pkg-config"
[ "$mode" = system ] || export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
found=$(pkg-config --variable=pcfiledir ZKQTRNEH113) || fail "pkg-config does not know ZKQTRNEH113"
[ "$found" = "$prefix/$libdir/pkgconfig" ] || fail "pkg-config took $found"
read -r -a pc_flags <<<"$(pkg-config --cflags --libs ZKQTRNEH113)"
run "$work/consumer-pc.log" "$cxx" -std=c++17 "$src/tests/integration/consumer/main.cpp" "${pc_flags[@]}" \
  -o "$work/consumer-pc"
check_consumer "$work/consumer-pc"

# The library loads each installed module from its own directory: the reason
# it gives for falling back to stderr comes from the module itself.
for m in "${modules[@]}"; do
  echo "== the $m module"
  case $m in
    gtk)
      out=$(env -u WAYLAND_DISPLAY GDK_BACKEND=x11 DISPLAY=zkq-no-display ORNEH_DIALOG=gui \
            "$consumer/consumer" "$work/run" dialog 2>&1) || fail "dialog report: $out"
      reason="ORNEH_DIALOG=gui cannot be honoured (cannot open display" ;;
    tui)
      # A controlling terminal for the library's precondition; TERM=dumb makes
      # the module decline.
      out=$(script -qefc "$(printf 'env ORNEH_DIALOG=terminal TERM=dumb %q %q dialog' "$consumer/consumer" "$work/run")" \
            /dev/null </dev/null 2>&1) || fail "dialog report: $out"
      reason="ORNEH_DIALOG=terminal cannot be honoured (no usable terminal type" ;;
    *) fail "no check for module $m" ;;
  esac
  has "$out" "$reason" || fail "the $m module was not loaded: $out"
done

# --- Remove -------------------------------------------------------------------------
if [ "$mode" = system ]; then
  echo "== dpkg --purge"
  trap - EXIT
  purge || fail "dpkg --purge"
  for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [ -z "$status" ] || [ "$status" = not-installed ] || fail "$p is still $status"
  done
  # Gone: every file, and the directories of our own.
  while read -r f; do
    if [ -e "$f" ] && { [ ! -d "$f" ] || [[ $f == *ZKQ* ]]; }; then fail "$f is left after the purge"; fi
  done <<<"$listed"
else
  rm -rf "$root" "$admin"
fi
echo "packages test passed ($mode install): $((SECONDS - started)) s, of which $build_seconds s building the packages"
