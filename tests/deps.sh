#!/usr/bin/env bash
# make demo needs only the program's packages and builds no test: the demo
# list holds none of the tests' packages, and a build without the tests
# configures with GoogleTest unavailable and has no test target.
#   deps.sh SOURCEDIR WORKDIR
set -u
source=$(realpath "$1")
work=$2
rm -rf "$work"; mkdir -p "$work"
failed=0
demo=$(bash "$source/scripts/install-deps.sh" --list demo)
test=$(bash "$source/scripts/install-deps.sh" --list test)
for p in libgtest-dev postgresql odbc-postgresql libsqliteodbc clang libclang-rt-14-dev poppler-utils \
         python3-html5lib mandoc lintian bash-completion; do
  grep -qx "$p" <<< "$demo" && { echo "the demo installs $p, which only the tests need"; failed=1; }
  grep -qx "$p" <<< "$test" || { echo "the tests' list lacks $p"; failed=1; }
done
for p in $demo; do
  grep -qx "$p" <<< "$test" || { echo "the tests' list lacks the program's $p"; failed=1; }
done
if ! cmake -S "$source" -B "$work/build" -DKELVORDANTIX_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE \
       > "$work/configure.log" 2>&1; then
  echo "the program alone does not configure without GoogleTest:"; tail -n 20 "$work/configure.log"; failed=1
elif cmake --build "$work/build" --target help | grep -q 'unit_tests'; then
  echo "the program alone builds the unit tests"; failed=1
fi
exit $failed
