#!/bin/sh
# Each folder is a stage: it includes its own headers and those of the stages
# below it, never one above. The stages, top first (the converter's entry
# point, HFExampleSquare.cpp in driver/, sits above them all; MuPDF is
# included in driver/pdf alone):
#
#   folder_layers.sh SOURCE_DIR
set -eu
cd "$1"
layers="driver driver/cli driver/forms driver/pdf driver/compose driver/input driver/office driver/encode driver/output driver/core
hf swf audio base"

rank() {
  printf '%s\n' $layers | awk -v folder="$1" '$0 == folder { print NR; found = 1 } END { if (!found) print 0 }'
}

status=0
for folder in $layers; do
  own=$(rank "$folder")
  for file in "$folder"/*.h "$folder"/*.cpp; do
    [ -f "$file" ] || continue
    # Quoted includes name a folder of this repository and a file in it.
    for included in $(sed -n 's/^#include "\([^"]*\)\/[^/"]*".*/\1/p' "$file"); do
      theirs=$(rank "$included")
      if [ "$theirs" -eq 0 ]; then
        echo "layering: $file includes from '$included', which is no stage" >&2
        status=1
      elif [ "$theirs" -lt "$own" ]; then
        echo "layering: $file ($folder) includes from $included, a stage above it" >&2
        status=1
      fi
    done
    if [ "$folder" != driver/pdf ] && grep -q '^#include <mupdf/' "$file"; then
      echo "layering: $file includes MuPDF, which only driver/pdf may" >&2
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "layering: every include goes to its own stage or one below"
exit "$status"
