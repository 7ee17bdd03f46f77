#!/usr/bin/env bash
# The bash completion, in a plain bash and with the bash-completion package
# loaded: after "@" the SQLite files of the current folder, the drivers'
# prefixes and the ODBC data sources; the options and their values.
#   completion.sh COMPLETION-FILE WORKDIR
set -u
completion=$(realpath "$1")
work=$2
rm -rf "$work"; mkdir -p "$work"; cd "$work" || exit 1
touch demo.db sales.sqlite3 notes.txt
printf '[SALES]\nDriver=x\n' > odbc.ini

# What the word being completed becomes for each reply (the text before
# bash's last word break is kept), one a line, sorted.
cat > probe.sh <<'PROBE'
probe() {  # line
  COMP_LINE=$1 COMP_POINT=${#1} COMPREPLY=()
  _kelvordantix kelvordantix "" ""
  local word=${1##* } keep="" i
  for ((i = ${#word} - 1; i >= 0; i--)); do
    if [[ $COMP_WORDBREAKS == *"${word:i:1}"* ]]; then keep=${word:0:i+1}; break; fi
  done
  printf '%s\n' "${COMPREPLY[@]/#/$keep}" | sort | tr '\n' ' '
}
PROBE
failed=0
check() {  # setup what line expected
  local got
  got=$(ODBCINI=$work/odbc.ini bash --norc --noprofile -c "$1; source '$completion'; source probe.sh; probe '$3'" 2>&1)
  [ "$got" = "$4" ] || { echo "FAILED ($2) '$3': expected '$4', got '$got'"; failed=1; }
}
setups=("plain:true")
bc=/usr/share/bash-completion/bash_completion
[ -f $bc ] && setups+=("bash-completion:source $bc") || echo "bash-completion not installed: checked without it only"
for setup in "${setups[@]}"; do
  what=${setup%%:*} how=${setup#*:}
  check "$how" "$what" "kelvordantix r.rpt out.txt scott/tiger@" \
    "scott/tiger@SALES scott/tiger@demo.db scott/tiger@mariadb:// scott/tiger@my: scott/tiger@mysql:// scott/tiger@odbc: scott/tiger@odbc:SALES scott/tiger@pg: scott/tiger@postgresql:// scott/tiger@sales.sqlite3 scott/tiger@sqlite: scott/tiger@sqlite:demo.db scott/tiger@sqlite:sales.sqlite3 "
  check "$how" "$what" "kelvordantix r.rpt out.txt @sq" "@sqlite: @sqlite:demo.db @sqlite:sales.sqlite3 "
  check "$how" "$what" "kelvordantix r.rpt out.txt @sqlite:d" "@sqlite:demo.db "
  check "$how" "$what" "kelvordantix r.rpt out.txt @po" "@postgresql:// "
  check "$how" "$what" "kelvordantix -q --format pdf r.rpt out.txt sa" "sales.sqlite3 "
  check "$how" "$what" "kelvordantix r.rpt no" "notes.txt "
  check "$how" "$what" "kelvordantix --check r.rpt no" "notes.txt "
  check "$how" "$what" "kelvordantix --check r.rpt @sqlite:d" "@sqlite:demo.db "
  check "$how" "$what" "kelvordantix --check r.rpt out.txt @sqlite:d" "@sqlite:demo.db "
  check "$how" "$what" "kelvordantix r.rpt a@sqlite:d" " "
  check "$how" "$what" "kelvordantix --exit-status=d" "--exit-status=detailed "
  check "$how" "$what" "kelvordantix --pa" "--paper= "
  check "$how" "$what" "kelvordantix r.rpt out.txt @demo.db 1" "1 16 "
done
exit $failed
