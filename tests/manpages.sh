#!/usr/bin/env bash
# The manual pages render without a warning.
#   manpages.sh MANDIR
set -u
command -v mandoc > /dev/null || { echo "SKIPPED: mandoc is missing"; exit 77; }
failed=0
for page in "$1"/kelvordantix.1 "$1"/kelvordantix.5; do
  mandoc -Tlint -W warning "$page" || failed=1
done
exit $failed
