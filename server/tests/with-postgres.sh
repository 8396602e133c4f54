#!/usr/bin/env bash
# Runs a command with a throw-away PostgreSQL server: a cluster in a temporary folder, on a free
# port of 127.0.0.1, with OVELA_TEST_POSTGRES_URL naming its database; the cluster goes when
# the command ends. Needs Debian's postgresql package (initdb and pg_ctl of PostgreSQL 15, or
# of another version found under /usr/lib/postgresql).
#
#   server/tests/with-postgres.sh ctest --test-dir build -R ServerPostgres --output-on-failure
#
# PostgreSQL will not run as root: as root, the cluster runs as the user "postgres" (or "nobody"
# when there is no such user), and the command still runs as root.
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARGUMENT...]" >&2
  exit 2
fi

bin=""
for dir in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin; do
  if [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then bin=$dir; break; fi
done
if [ -z "$bin" ]; then
  echo "$0: no PostgreSQL server found (apt-get install postgresql)" >&2
  exit 1
fi

as_owner=()
owner=$(id -un)
if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  id "$owner" >/dev/null 2>&1 || owner=nobody
  as_owner=(runuser -u "$owner" --)
fi

work=$(mktemp -d /tmp/ovela-postgres.XXXXXX)
chmod 755 "$work"
[ "$(id -u)" -eq 0 ] && chown "$owner" "$work"
data=$work/data
log=$work/server.log

cleanup() {
  if [ -f "$data/postmaster.pid" ]; then
    "${as_owner[@]}" "$bin/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

"${as_owner[@]}" "$bin/initdb" -D "$data" -U ovela -A trust -E UTF8 --no-sync >"$work/initdb.log" 2>&1 || {
  cat "$work/initdb.log" >&2
  exit 1
}

# A free port: PostgreSQL says so itself by starting, or not.
port=""
for try in $(seq 0 19); do
  candidate=$((32680 + (try + $$) % 20))
  if "${as_owner[@]}" "$bin/pg_ctl" -D "$data" -l "$log" -w -t 30 \
      -o "-p $candidate -k $work -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null 2>&1; then
    port=$candidate
    break
  fi
done
if [ -z "$port" ]; then
  echo "$0: PostgreSQL did not start:" >&2
  cat "$log" >&2 || true
  exit 1
fi

"${as_owner[@]}" "$bin/psql" -h "$work" -p "$port" -U ovela -d postgres -q \
  -c "CREATE DATABASE ovela_test" >/dev/null

export OVELA_TEST_POSTGRES_URL="postgresql://ovela@127.0.0.1:$port/ovela_test"
echo "PostgreSQL $("$bin/postgres" --version | awk '{print $3}') on port $port: $OVELA_TEST_POSTGRES_URL"
set +e
"$@"
status=$?
set -e
exit $status
