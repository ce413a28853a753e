#!/usr/bin/env bash
# The layers, checked on the sources:
#  1. Qt Widgets only in the window's code: a ui/ folder, app/ or widgets/.
#  2. The format catalogue knows no encoder: nothing under formats/ outside
#     ui/ includes a header from encoders/ (the encoders depend on the
#     catalogue, never the other way).
# Usage: layering_test.sh RECORDER_FOLDER [QTWIDGETS_INCLUDE_FOLDER]
# With the second argument every header name of Qt Widgets counts (also
# <QWidget> without the module prefix); without it, <QtWidgets/...> only.
set -euo pipefail
root="${1:?usage: layering_test.sh RECORDER_FOLDER [QTWIDGETS_INCLUDE_FOLDER]}"
widgets_dir="${2:-}"
cd "$root"
[ -f formats/FormatCatalogue.h ] || { echo "not the recorder folder: $root"; exit 1; }
fails=0

sources() { find "$@" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.h.in' \) | sort; }

names='QtWidgets(/[A-Za-z_]+(\.h)?)?'
if [ -n "$widgets_dir" ]; then
  [ -d "$widgets_dir" ] || { echo "no such folder: $widgets_dir"; exit 1; }
  list=$(cd "$widgets_dir" && ls | grep -E '^Q[A-Za-z]+$' | paste -sd'|')
  [ -n "$list" ] || { echo "no Qt Widgets headers in $widgets_dir"; exit 1; }
  names="$names|($list)(\\.h)?"
fi
engine=$(sources . -not -path '*/ui/*' -not -path './app/*' -not -path './widgets/*')
[ -n "$engine" ] || { echo "no engine sources found"; exit 1; }
if hits=$(grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($names)[>\"]" $engine); then
  echo "Qt Widgets outside ui/, app/ and widgets/:"
  echo "$hits"
  fails=1
fi

catalogue=$(sources formats -not -path 'formats/ui/*')
if hits=$(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"encoders/' $catalogue); then
  echo "The format catalogue includes encoders:"
  echo "$hits"
  fails=1
fi

[ "$fails" -eq 0 ] && echo "layers ok ($(echo "$engine" | wc -l) engine files, $(echo "$catalogue" | wc -l) catalogue files)"
exit "$fails"
