#!/usr/bin/env bash
# The database layer is called and never calls back: no file under
# src/database/ includes the interpreter's routines (it is given the
# records of Records.h) or calls its loops.
#   layers.sh SOURCE-DIR
set -u
src=${1:?usage: layers.sh SOURCE-DIR}/src
found=$(grep -rnE -e '#include "interpreter/Interpreter\.h"' \
  -e '\b(runLines|runLine|runMacro|callMacro|dispatchStatement|findLabel|nextToken)\(' \
  "$src/database")
if [ -n "$found" ]; then
  echo "the database layer reaches into the interpreter:"
  echo "$found"
  exit 1
fi
echo "the database layer reads the interpreter's records only"
