# Sourced by bench/sftp/run-bench and scripts/openssh-interop: a throwaway
# OpenSSH server on a loopback port, with a user, a password, keys and a
# known-hosts file of its own, all removed again on exit. Needs root.
#
# SSHD_BASE: where the scratch folder goes (default /tmp).
# After start_throwaway_sshd: SSHD_DIR (scratch folder), SSHD_PORT, SSHD_USER,
# SSHD_PASSWORD, SSHD_HOME (the user's home), SSHD_KEY (the user's private
# key), SSHD_KNOWN_HOSTS (a known-hosts file holding the server's key).

start_throwaway_sshd() {
  if [ "$(id -u)" != 0 ]; then
    echo "needs root: it creates a user and starts sshd" >&2
    exit 1
  fi
  if [ ! -x /usr/sbin/sshd ]; then
    echo "needs OpenSSH's server: apt-get install -y openssh-server" >&2
    exit 1
  fi
  SSHD_PORT=${SSHD_PORT:-$((22700 + RANDOM % 200))}
  SSHD_USER=${SSHD_USER:-bvsftp$$}
  SSHD_PASSWORD="pw-$(head -c 9 /dev/urandom | base64 | tr -dc 'A-Za-z0-9')"
  SSHD_DIR=$(mktemp -d "${SSHD_BASE:-/tmp}/throwaway-sshd.XXXXXX")
  SSHD_HOME=$SSHD_DIR/home
  SSHD_KEY=$SSHD_DIR/user_key
  SSHD_KNOWN_HOSTS=$SSHD_DIR/known_hosts
  trap stop_throwaway_sshd EXIT
  chmod 755 "$SSHD_DIR"
  useradd -M -d "$SSHD_HOME" -s /bin/sh "$SSHD_USER"
  mkdir -p "$SSHD_HOME"
  chown "$SSHD_USER:" "$SSHD_HOME"
  echo "$SSHD_USER:$SSHD_PASSWORD" | chpasswd
  ssh-keygen -q -t ed25519 -N '' -f "$SSHD_DIR/host_key"
  ssh-keygen -q -t ed25519 -N '' -f "$SSHD_KEY"
  cp "$SSHD_KEY.pub" "$SSHD_DIR/authorized_keys"
  chmod 644 "$SSHD_DIR/authorized_keys"
  echo "[127.0.0.1]:$SSHD_PORT $(cut -d' ' -f1,2 "$SSHD_DIR/host_key.pub")" > "$SSHD_KNOWN_HOSTS"
  cat > "$SSHD_DIR/sshd_config" <<CONF
Port $SSHD_PORT
ListenAddress 127.0.0.1
HostKey $SSHD_DIR/host_key
PidFile $SSHD_DIR/sshd.pid
AuthorizedKeysFile $SSHD_DIR/authorized_keys
AllowUsers $SSHD_USER
StrictModes no
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
PermitRootLogin no
Subsystem sftp /usr/lib/openssh/sftp-server
LogLevel ERROR
CONF
  mkdir -p /run/sshd
  /usr/sbin/sshd -f "$SSHD_DIR/sshd_config" -E "$SSHD_DIR/sshd.log"
  for _ in $(seq 50); do
    [ -s "$SSHD_DIR/sshd.pid" ] && break
    sleep 0.1
  done
}

stop_throwaway_sshd() {
  if [ -s "${SSHD_DIR:-}/sshd.pid" ]; then
    kill "$(cat "$SSHD_DIR/sshd.pid")" 2>/dev/null || true
  fi
  if [ -n "${SSHD_USER:-}" ] && id "$SSHD_USER" >/dev/null 2>&1; then
    userdel -f "$SSHD_USER" 2>/dev/null || true
  fi
  [ -n "${SSHD_DIR:-}" ] && rm -rf "$SSHD_DIR"
}
