#!/usr/bin/env bash
# Every message text is written from the catalogue (src/driver/MessageTable.cpp):
# no write to a message stream and no failure call in src/ passes a literal
# text of its own. Documents are not messages: the usage and --help text,
# the dumps' layouts, the trace and the HTML/PDF markup (none of them is
# written with these calls to a message stream), and layouts without words
# ("%s: %s\n"). A driver's own errors (setError), the
# SQL functions' errors and a report's failure texts are entries too.
#   catalogue_only.sh SOURCE-DIR
set -u
src=${1:?usage: catalogue_only.sh SOURCE-DIR}/src
stream='(job\.job\.err|s\.err|err|stderr|to)'
found=$(grep -rnE --include='*.cpp' --include='*.h' \
  -e "f?printf\($stream, *\"[^\"]*[A-Za-z]{2}" \
  -e "fputs\(\"[^\"]*[A-Za-z]{2}[^\"]*\", *$stream\)" \
  -e '(failWith|rpfFail|layoutFail|takeNumber|failFetch|failOpen|writeMessage)\(job, *"' \
  -e 'setError\([^,]*, *"' \
  -e 'sqlite3_result_error\([^,]*, *"' \
  -e 'failure = "' \
  "$src" | grep -vE '^[^:]*/driver/(Messages|MessageTable)\.cpp:' | grep -vE 'Usage: |--help')
if [ -n "$found" ]; then
  echo "message texts written outside the catalogue:"
  echo "$found"
  exit 1
fi
echo "no message text outside the catalogue"
