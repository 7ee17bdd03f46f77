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
exit $failed
