#!/bin/sh
# The layering check itself: a tree where a lower stage includes a higher one
# (and one where driver/input includes MuPDF) must fail it, a clean one pass.
#
#   catches_upward_include.sh CHECK
set -eu
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/driver/core" "$tree/driver/compose" "$tree/driver/input" "$tree/base"
printf '#pragma once\n#include "base/fassert.h"\n' >"$tree/driver/core/error.h"
printf '#pragma once\n#include "driver/core/error.h"\n' >"$tree/driver/compose/stoptable.h"
printf '#pragma once\n' >"$tree/base/fassert.h"
sh "$check" "$tree" >/dev/null || { echo "a clean tree failed the check" >&2; exit 1; }

printf '#include "driver/compose/stoptable.h"\n' >>"$tree/driver/core/error.h"
if sh "$check" "$tree" 2>/dev/null; then echo "an upward include passed the check" >&2; exit 1; fi
printf '#pragma once\n' >"$tree/driver/core/error.h"

printf '#include <mupdf/fitz.h>\n' >"$tree/driver/input/pages.cpp"
if sh "$check" "$tree" 2>/dev/null; then echo "MuPDF outside driver/pdf passed the check" >&2; exit 1; fi
echo "layering check: catches an upward include and MuPDF outside its stage"
