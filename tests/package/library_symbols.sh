#!/bin/sh
# The library links into other programs: every name it defines for them is
# its own (F or HF, the first design's free functions aside), and it exports
# no signal handler or other helper under a bare name.
#
#   library_symbols.sh NM LIBRARY [coff]
#
# A COFF library (Windows) keeps template instances (the names nm gives with
# a return type) and the C library's inline printf family in sections that
# nm cannot tell from the library's own, and defines .refptr stubs for its
# data: those are left out there.
set -eu
nm=$1 library=$2 format=${3:-elf}

# Defined, global, not weak: code and data the library alone defines
# (templates and inline functions instantiated in it are weak).
symbols=$("$nm" -C --defined-only --extern-only "$library" | awk 'NF >= 3 && $2 ~ /^[TDBRS]$/' |
  sed -E -e 's/^[0-9a-fA-F]+ [A-Z] //' -e 's/^(vtable|typeinfo|typeinfo name|VTT|guard variable) for //' | sort -u)
[ -n "$symbols" ] || { echo "library symbols: $nm found no symbols in $library" >&2; exit 1; }
if [ "$format" = coff ]; then
  symbols=$(printf '%s\n' "$symbols" | grep -vE '^\.refptr\.|^(v?f|v?sn|v?s)?printf\(|^[^ (<]+ ' || true)
fi
stray=$(printf '%s\n' "$symbols" |
  grep -vE '^(H?F[A-Z][A-Za-z0-9_]*([:([ ]|$)|std::|(BitsNeeded|MaxAbs4|NextCharacterID)\()' || true)
if [ -n "$stray" ]; then
  echo "library symbols: names outside the library's prefixes:" >&2
  printf '%s\n' "$stray" | sed 's/^/  /' >&2
  exit 1
fi
echo "library symbols: $(printf '%s\n' "$symbols" | wc -l) names, all prefixed"
