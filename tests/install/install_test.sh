#!/bin/sh
# Installs the build into a scratch prefix and uses it as a user would: the
# layout, the installed converter run from another folder (it finds its
# default files beside itself), the installation moved elsewhere, and the
# example program and a program with <corvanex/...> includes built against
# the installed library both through find_package(corvanex) and through
# pkg-config, each installed header on its own, and a C++17 program stopped
# with the reason.
#
#   install_test.sh BUILD_DIR SOURCE_DIR LIBDIR MANDIR CXX VERSION
set -eu
build=$1 source=$2 libdir=$3 mandir=$4 cxx=$5 version=$6

scratch=$(mktemp -d "${TMPDIR:-/tmp}/corvanex-install-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "install test: $*" >&2
  exit 1
}
quietly() {  # runs a command, showing its output only when it fails
  "$@" >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; fail "failed: $*"; }
}

prefix=$scratch/prefix
quietly cmake --install "$build" --prefix "$prefix"

# The layout: programs and their default files together, links in bin.
for program in corvanex wav2swf swfinfo; do
  [ -x "$prefix/$libdir/corvanex/$program" ] || fail "no program $libdir/corvanex/$program"
  [ -L "$prefix/bin/$program" ] || fail "bin/$program is not a link"
  [ "$(readlink "$prefix/bin/$program")" = "../$libdir/corvanex/$program" ] ||
    fail "bin/$program links to $(readlink "$prefix/bin/$program")"
done
for file in "$libdir/corvanex/config.txt" "$libdir/corvanex/forward.jpg" "$libdir/corvanex/backward.jpg" \
  "$libdir/libcorvanex_swf.a" include/corvanex/swf/fswfstream.h include/corvanex/hf/hfmovie.h \
  include/corvanex/audio/fsound.h include/corvanex/base/fversion.h "$libdir/cmake/corvanex/corvanexConfig.cmake" \
  "$libdir/cmake/corvanex/corvanexConfigVersion.cmake" "$libdir/cmake/corvanex/corvanexTargets.cmake" \
  "$libdir/pkgconfig/corvanex.pc" "$mandir/man1/corvanex.1" share/doc/corvanex/LICENSE; do
  [ -f "$prefix/$file" ] || fail "no file $file"
done
grep -qx "License: MIT" "$prefix/$libdir/pkgconfig/corvanex.pc" || fail "the pkg-config file names no licence"
grep -q 'set(corvanex_LICENSE "MIT")' "$prefix/$libdir/cmake/corvanex/corvanexConfig.cmake" ||
  fail "the CMake package names no licence"
[ ! -e "$prefix/include/corvanex/driver" ] || fail "the converter's own headers were installed"
# The library's own headers stay out: no public header includes them.
for header in fassert.h fatomicfile.h ftemporarynames.h; do
  [ ! -e "$prefix/include/corvanex/base/$header" ] || fail "the implementation header base/$header was installed"
done
grep -qx "#define CORVANEX_VERSION_STRING \"$version\"" "$prefix/include/corvanex/base/fversion.h" ||
  fail "the version header does not say $version"
if [ -f "$build/ruffle/ruffle.js" ]; then  # a build that fetched the web player installs it
  [ -f "$prefix/share/corvanex/ruffle/ruffle.js" ] || fail "the build's web player was not installed"
fi
if command -v groff >/dev/null 2>&1; then
  groff -man -ww -z "$prefix/$mandir/man1/corvanex.1" 2>"$scratch/groff.log"
  [ ! -s "$scratch/groff.log" ] || { cat "$scratch/groff.log" >&2; fail "the manual page has warnings"; }
fi

# The whole installation moved: nothing in it may depend on where it was put.
mv "$prefix" "$scratch/moved"
prefix=$scratch/moved

# The converter through PATH (the link in bin), in a folder of slides only.
work=$scratch/work
mkdir "$work"
cp "$source"/examples/deck/deck* "$work"/
(cd "$work" && PATH="$prefix/bin:$PATH" corvanex deck 5 deck.swf >out.txt 2>err.txt) ||
  { cat "$work/err.txt" >&2; fail "the installed converter failed"; }
[ ! -s "$work/err.txt" ] || { cat "$work/err.txt" >&2; fail "the installed converter complained"; }
printf 'Depth sorting: 14 shapes\nDepth sorting: complete\n' | cmp -s - "$work/out.txt" ||
  fail "unexpected standard output: $(cat "$work/out.txt")"
# 640 x 480 from the installed config.txt, 5 slides + 2 frames.
"$prefix/bin/swfinfo" --summary "$work/deck.swf" | grep -q "12800 x 10400 twips, 7 frames" ||
  fail "unexpected movie: $("$prefix/bin/swfinfo" --summary "$work/deck.swf")"

check_first_movie() {  # program
  "$1" "$work/first.swf" >"$work/first.txt" || fail "$1 failed"
  grep -q "Depth sorting: complete" "$work/first.txt" || fail "$1 printed: $(cat "$work/first.txt")"
  "$prefix/bin/swfinfo" --summary "$work/first.swf" | grep -q "8000 x 6000 twips, 2 frames" ||
    fail "unexpected movie from $1: $("$prefix/bin/swfinfo" --summary "$work/first.swf")"
  rm "$work/first.swf"
}

check_consumer() {  # program
  "$1" "$work/consumer.swf" >"$work/consumer.txt" || fail "$1 failed"
  [ "$(head -n 1 "$work/consumer.txt")" = "corvanex $version" ] || fail "$1 printed: $(cat "$work/consumer.txt")"
  "$prefix/bin/swfinfo" --summary "$work/consumer.swf" | grep -q "2000 x 1000 twips, 1 frames" ||
    fail "unexpected movie from $1: $("$prefix/bin/swfinfo" --summary "$work/consumer.swf")"
  rm "$work/consumer.swf"
}

# The example program (today's includes) and the consumer (<corvanex/...>)
# through the CMake package; asked for C++17, the target still brings C++20.
for standard in 20 17; do
  quietly cmake -S "$source/tests/install/consumer" -B "$scratch/consumer$standard" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DEXAMPLE_SOURCE="$source/examples/first_movie.cpp" -DCONSUMER_STANDARD=$standard
  quietly cmake --build "$scratch/consumer$standard"
  check_first_movie "$scratch/consumer$standard/first_movie"
  check_consumer "$scratch/consumer$standard/consumer"
done

# The example program through pkg-config.
if command -v pkg-config >/dev/null 2>&1; then
  flags=$(PKG_CONFIG_PATH="$prefix/$libdir/pkgconfig" pkg-config --cflags --libs corvanex) ||
    fail "pkg-config does not know corvanex"
  # shellcheck disable=SC2086 # the flags are words
  quietly "$cxx" -std=c++20 "$source/examples/first_movie.cpp" $flags -o "$scratch/first_movie_pc"
  check_first_movie "$scratch/first_movie_pc"
  # shellcheck disable=SC2086
  quietly "$cxx" -std=c++20 "$source/tests/install/consumer/consumer.cpp" $flags -o "$scratch/consumer_pc"
  check_consumer "$scratch/consumer_pc"
else
  echo "install test: no pkg-config, its file not checked"
fi
# The whole program of the API documentation's main page, as printed there.
# shellcheck disable=SC2016 # backquotes and dollars of sed, not of the shell
sed -n '/^```cpp$/,/^```$/p' "$source/docs/mainpage.md" | sed '1d;$d' >"$work/mainpage.cpp"
[ -s "$work/mainpage.cpp" ] || fail "no program on the documentation's main page"
if command -v pkg-config >/dev/null 2>&1; then
  # shellcheck disable=SC2086
  quietly "$cxx" -std=c++20 "$work/mainpage.cpp" $flags -o "$scratch/mainpage"
  (cd "$work" && "$scratch/mainpage" >/dev/null) || fail "the main page's program failed"
  "$prefix/bin/swfinfo" --summary "$work/first.swf" | grep -q "8000 x 6000 twips, 2 frames" ||
    fail "unexpected movie from the main page's program"
  rm "$work/first.swf"
fi

# Each installed header on its own, with the installed tree alone on the
# include path: it includes what it needs, and nothing left uninstalled. In
# C++17 the first error is the one that names the reason.
cflags="-I$prefix/include -I$prefix/include/corvanex"
headers=$(cd "$prefix/include" && find corvanex -name '*.h' | sort)
[ -n "$headers" ] || fail "no headers installed"
for header in $headers; do
  printf '#include <%s>\n' "$header" >"$scratch/one.cpp"
  # shellcheck disable=SC2086
  "$cxx" -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only $cflags "$scratch/one.cpp" >"$scratch/log" 2>&1 ||
    { cat "$scratch/log" >&2; fail "<$header> does not compile on its own"; }
  # shellcheck disable=SC2086
  if "$cxx" -std=c++17 -fsyntax-only $cflags "$scratch/one.cpp" >"$scratch/log" 2>&1; then
    fail "<$header> compiled as C++17"
  fi
  grep -m 1 'error' "$scratch/log" | grep -q 'corvanex needs C++20' ||
    { cat "$scratch/log" >&2; fail "<$header> in C++17: the first error is not the reason"; }
done
echo "install test: passed"
