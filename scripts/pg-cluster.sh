#!/usr/bin/env bash
# A private PostgreSQL 15 cluster for the tests, never the distribution's.
#   scripts/pg-cluster.sh start DIR   initdb into DIR/data, start it on
#                                     127.0.0.1 at a free port and write
#                                     DIR/env (shell exports for the tests)
#   scripts/pg-cluster.sh stop DIR    stop it and remove DIR
# DIR is made when missing and must be empty; keep it short (/tmp/...), the
# server's unix socket lives in it. Run as root, the cluster belongs to the postgres user,
# since initdb refuses root; run as another user, it belongs to that user.
# The superuser postgres and the login role servermon get random passwords,
# so a wrong password really fails over TCP; the unix socket trusts.
set -euo pipefail

bin=/usr/lib/postgresql/15/bin
marker=.servermon-pg-cluster

usage() {
  echo "usage: $0 start|stop DIR" >&2
  exit 2
}

(($# == 2)) || usage
command=$1
dir=$2

owner=()
if [[ $(id -u) -eq 0 ]]; then
  owner=(runuser -u postgres --)
fi

# As the cluster's owner, from inside DIR: its user may not enter the
# caller's working directory.
as_owner() {
  (cd "$dir" && "${owner[@]}" "$@")
}

random_password() {
  head -c 24 /dev/urandom | base64 | tr -dc 'A-Za-z0-9'
}

free_port() {
  /usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])'
}

start() {
  if [[ ! -x $bin/initdb ]]; then
    echo "pg-cluster: $bin/initdb is missing (scripts/setup.sh installs postgresql-15)" >&2
    exit 1
  fi
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  if ((${#dir} > 90)); then
    echo "pg-cluster: $dir is too long a path for the server's unix socket" >&2
    exit 1
  fi
  if [[ -n $(ls -A "$dir") ]]; then
    echo "pg-cluster: $dir is not empty" >&2
    exit 1
  fi
  touch "$dir/$marker"
  if ((${#owner[@]} > 0)); then
    chown postgres: "$dir"
  fi
  chmod 700 "$dir"

  local superuser_password password
  superuser_password=$(random_password)
  password=$(random_password)
  (umask 077 && printf '%s\n' "$superuser_password" >"$dir/pwfile")
  if ((${#owner[@]} > 0)); then
    chown postgres: "$dir/pwfile"
  fi
  if ! as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pwfile" \
      --auth-host=scram-sha-256 --auth-local=trust --encoding=UTF8 --locale=C.UTF-8 \
      --no-sync >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    exit 1
  fi
  rm -f "$dir/pwfile" "$dir/initdb.log"

  # In the configuration, so a plain pg_ctl start (tests that stop and
  # restart the server) keeps the address, socket and port. Speed over
  # durability: the cluster lives for one test run.
  cat >>"$dir/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
port = 0
EOF

  local port='' attempt
  for attempt in 1 2 3 4 5; do
    port=$(free_port)
    sed -i "s/^port = [0-9]*\$/port = $port/" "$dir/data/postgresql.conf"
    if as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 30 start >/dev/null; then
      break
    fi
    port=''
    echo "pg-cluster: start attempt $attempt failed" >&2
  done
  if [[ -z $port ]]; then
    cat "$dir/log" >&2 || true
    exit 1
  fi

  # The password goes in on standard input, never on a command line.
  if ! "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres -d postgres \
      >/dev/null <<<"CREATE ROLE servermon LOGIN SUPERUSER PASSWORD '$password';"; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -w -t 30 stop -m fast >/dev/null || true
    exit 1
  fi

  cat >"$dir/env" <<EOF
export SERVERMON_TEST_PG_HOST=127.0.0.1
export SERVERMON_TEST_PG_PORT=$port
export SERVERMON_TEST_PG_USER=servermon
export SERVERMON_TEST_PG_PASSWORD=$password
export SERVERMON_TEST_PG_DIR=$dir
export SERVERMON_TEST_PG_CTL=$bin/pg_ctl
EOF
  echo "pg-cluster: running at 127.0.0.1:$port in $dir"
}

stop() {
  if [[ ! -e $dir ]]; then
    return 0
  fi
  if [[ -e $dir/$marker ]]; then
    if [[ -e $dir/data/postmaster.pid ]]; then
      as_owner "$bin/pg_ctl" -D "$dir/data" -w -t 30 stop -m fast >/dev/null || true
    fi
    rm -rf "$dir"
  elif ! rmdir "$dir" 2>/dev/null; then
    # Only a folder this script made, or an empty one, is removed.
    echo "pg-cluster: $dir is not a test cluster's folder; left alone" >&2
    exit 1
  fi
}

case $command in
  start) start ;;
  stop) stop ;;
  *) usage ;;
esac
