#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what is there.
#   install.sh BUILDDIR WORKDIR
set -u
build=$1 prefix=$2/prefix
rm -rf "$2"; mkdir -p "$2"
cmake --install "$build" --prefix "$prefix" > "$2/install.log" || { cat "$2/install.log"; exit 1; }
failed=0
for file in bin/kelvordantix libexec/kelvordantix/kelvordantix-pdf.so share/man/man1/kelvordantix.1.gz share/man/man5/kelvordantix.5.gz \
            share/doc/kelvordantix/README.md share/doc/kelvordantix/LICENSE \
            share/doc/kelvordantix/examples/demo.sql share/doc/kelvordantix/examples/sample.rpt \
            share/bash-completion/completions/kelvordantix; do
  [ -f "$prefix/$file" ] || { echo "missing: $file"; failed=1; }
done
bash -n "$prefix/share/bash-completion/completions/kelvordantix" || { echo "completion does not parse"; failed=1; }
"$prefix/bin/kelvordantix" --version | grep -qx 'kelvordantix [0-9.]*' || { echo "installed binary does not run"; failed=1; }
# The installed example runs as the README tells.
cd "$2" && sqlite3 demo.db < "$prefix/share/doc/kelvordantix/examples/demo.sql" &&
  "$prefix/bin/kelvordantix" -q "$prefix/share/doc/kelvordantix/examples/sample.rpt" sample.out scott@demo.db ||
  { echo "the installed example does not run"; failed=1; }
# The server drivers' modules beside the PDF one, found by the installed
# program: a connect reaches the client library, whose own reason shows.
printf '.PRINT hi\n' > "$2/connect.rpt"
for module in pg:PostgreSQL:'pg:host=/nonexistent' mariadb:MariaDB:'my:socket=/nonexistent' odbc:ODBC:'odbc:kx_no_such_dsn'; do
  IFS=: read -r name what database <<< "$module"
  [ -f "$build/kelvordantix-$name.so" ] || continue
  [ -f "$prefix/libexec/kelvordantix/kelvordantix-$name.so" ] || { echo "missing: kelvordantix-$name.so"; failed=1; continue; }
  "$prefix/bin/kelvordantix" -q "$2/connect.rpt" "$2/connect.out" "scott/tiger@$database" 2> "$2/connect.err"
  grep -q ' module kelvordantix-' "$2/connect.err" && { echo "installed $what module not loaded:"; cat "$2/connect.err"; failed=1; }
  # Without its modules the program still runs a SQLite job, and a server
  # connect fails cleanly, naming the module and where it was looked for.
  mkdir -p "$2/alone" && cp "$prefix/bin/kelvordantix" "$2/alone/"
  "$2/alone/kelvordantix" -q "$2/connect.rpt" "$2/connect.out" "scott/tiger@$database" 2> "$2/connect.err"
  status=$?
  printf 'Connect Fail\nthe %s module kelvordantix-%s.so is not installed beside %s\nKelvordantix: %s Job Aborted ...\n' \
    "$what" "$name" "$2/alone" "$2/connect.rpt" | cmp -s - "$2/connect.err" && [ $status = 1 ] ||
    { echo "a missing $what module: status $status"; cat "$2/connect.err"; failed=1; }
done
(cd "$2" && "$2/alone/kelvordantix" -q "$prefix/share/doc/kelvordantix/examples/sample.rpt" alone.out scott@demo.db) ||
  { echo "the program without its modules does not run the example"; failed=1; }
exit $failed
