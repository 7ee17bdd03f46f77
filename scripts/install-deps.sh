#!/usr/bin/env bash
# Installs the Debian packages the build, the demo and the tests need, when
# they are missing. Runs apt-get as root, or through sudo.
set -eu
packages=(g++ cmake make pkg-config libsqlite3-dev sqlite3 libgtest-dev libbenchmark-dev
          unixodbc-dev libpq-dev odbc-postgresql libsqliteodbc postgresql mandoc dpkg-dev
          libcairo2-dev libpango1.0-dev libutf8proc-dev fonts-dejavu-core poppler-utils python3-html5lib
          python3 clang libclang-rt-14-dev)
# The Oracle compatibility tests: orafce on PostgreSQL, MariaDB through ODBC.
packages+=(postgresql-15-orafce mariadb-server odbc-mariadb)
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
