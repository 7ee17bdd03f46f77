#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# they are missing. Runs apt-get as root, or through sudo.
set -eu
packages=(g++ cmake make pkg-config libsqlite3-dev sqlite3 libgtest-dev libbenchmark-dev
          unixodbc-dev libpq-dev odbc-postgresql libsqliteodbc postgresql mandoc dpkg-dev
          libcairo2-dev libpango1.0-dev libutf8proc-dev fonts-dejavu-core poppler-utils python3-html5lib
          python3 clang libclang-rt-14-dev mariadb-server libmariadb-dev odbc-mariadb)
# The cluster tests: a Galera cluster of MariaDB servers (rsync carries the
# state transfers) reached through Connector/ODBC.
packages+=(mariadb-server mariadb-client galera-4 rsync odbc-mariadb)
# The Oracle compatibility tests: orafce on PostgreSQL.
packages+=(postgresql-15-orafce)
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
