#!/usr/bin/env bash
# Installs the Debian packages that are missing, as root or through sudo.
#   install-deps.sh demo    what the program and the demo need (make demo)
#   install-deps.sh package that and dpkg-dev (make package)
#   install-deps.sh [test]  that and what the tests need (make test)
#   install-deps.sh --list demo|package|test   print the list, install nothing
set -eu
# The program: compiler, build tools, the libraries it links (SQLite,
# unixODBC, libpq, utf8proc; pango, harfbuzz and libdeflate for its PDF module), a font
# for PDF reports, and the sqlite3 shell that makes the demo database.
demo=(g++ cmake make pkg-config libsqlite3-dev sqlite3 unixodbc-dev libpq-dev
      libpango1.0-dev libharfbuzz-dev libdeflate-dev libutf8proc-dev libmariadb-dev fonts-dejavu-core)
# The tests: GoogleTest; a PostgreSQL server and the ODBC drivers of the
# server tests; mandoc (manual pages); dpkg-dev and lintian (the package);
# poppler-utils and html5lib (PDF and HTML reports); python3 (pseudo-
# terminal and Unicode checks); bash-completion; clang for the fuzz targets;
# orafce, a MariaDB server, Connector/ODBC, and Galera with rsync for its
# state transfers (Oracle compatibility, the MariaDB and cluster tests).
test=("${demo[@]}" libgtest-dev odbc-postgresql libsqliteodbc postgresql mandoc dpkg-dev lintian
      poppler-utils python3-html5lib python3 bash-completion clang libclang-rt-14-dev
      postgresql-15-orafce mariadb-server mariadb-client odbc-mariadb galera-4 rsync)
list=0
if [ "${1:-}" = --list ]; then list=1; shift; fi
case ${1:-test} in
  demo) packages=("${demo[@]}") ;;
  package) packages=("${demo[@]}" dpkg-dev) ;;
  test) packages=("${test[@]}") ;;
  *) echo "usage: install-deps.sh [--list] [demo|package|test]" >&2; exit 2 ;;
esac
if [ $list = 1 ]; then printf '%s\n' "${packages[@]}"; exit 0; fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
