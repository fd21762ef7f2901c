#!/bin/sh
# The fleet bench on both engines: a SQLite store in a temporary directory,
# then a PostgreSQL server of its own (initdb in a temporary directory, its
# socket there and no TCP port, fsync off as in the tests; run as nobody
# when started as root, since the server refuses root).
#
# Usage: bench/history/fleet_bench.sh BUILD_DIR [fleet_bench options]
#        e.g. bench/history/fleet_bench.sh build/release --html
set -eu
build=${1:?usage: fleet_bench.sh BUILD_DIR [fleet_bench options]}
shift
bench=$build/bench/history/fleet_bench
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
work=$(mktemp -d /tmp/fleet-bench-XXXXXX)
server=
finish() {
    if [ -n "$server" ]; then
        kill "$server"
        wait "$server" || true
    fi
    rm -rf "$work"
}
trap finish EXIT

echo "== SQLite"
"$bench" --db "sqlite:$work/history.sqlite" "$@"
rm -f "$work"/history.sqlite*

echo "== PostgreSQL"
as=
if [ "$(id -u)" = 0 ]; then
    chown nobody "$work"
    as="runuser -u nobody --"
fi
$as "$pgbin/initdb" -D "$work/data" -U lumenfold --auth=trust -E UTF8 >"$work/initdb.log"
$as "$pgbin/postgres" -D "$work/data" -k "$work" -c listen_addresses= -c fsync=off >"$work/server.log" 2>&1 &
server=$!
until "$pgbin/pg_isready" -q -h "$work" -U lumenfold; do
    kill -0 "$server" || { cat "$work/server.log"; exit 1; }
    sleep 0.1
done
"$pgbin/createdb" -h "$work" -U lumenfold fleet
"$bench" --db "postgresql://lumenfold@/fleet?host=$work" "$@"
echo "PostgreSQL store: $("$pgbin/psql" -At -h "$work" -U lumenfold -d fleet \
    -c "SELECT pg_size_pretty(pg_database_size('fleet'))")"
