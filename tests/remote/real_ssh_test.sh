#!/usr/bin/env bash
# pixquillbatch converting on "another machine" reached through a real OpenSSH server:
#   tests/remote/real_ssh_test.sh BUILD_DIR
# As root, it starts sshd on 127.0.0.1 on a free port with a throw-away host key, creates a
# user whose home is the other machine (it cannot read the batch's files), gives it a
# throw-away key and the built pixquillcmd on its PATH, and converts generated RAW files with
# odd names with -S and --transfer. Every JPEG must come back whole with its time stamp and
# nothing may stay in the remote home. Then sshd is stopped in the middle of a second batch:
# the files not converted are reported, and --resume converts them once sshd is back (what
# the jobs cut off left in the remote home is not checked: nobody could remove it).
# Exits 77 (skipped) where it cannot run: not root, or no sshd.
set -euo pipefail
build="$(realpath "${1:?usage: real_ssh_test.sh BUILD_DIR}")"
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "the real-ssh test needs root (a second user and an sshd)"
[ -x /usr/sbin/sshd ] || skip "no /usr/sbin/sshd (Debian's openssh-server)"
command -v rsync >/dev/null || skip "no rsync"

user=pqremote$$
work="$(mktemp -d /tmp/pixquill-ssh.XXXXXX)"
chmod 700 "$work"
sshd_pid=""
cleanup() {
  [ -n "$sshd_pid" ] && kill "$sshd_pid" 2>/dev/null || true
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# The other machine: a user of its own, with only pixquillcmd and the key to log in.
useradd --create-home --shell /bin/bash "$user"
usermod -p '*' "$user"  # no password, but not a locked account, which sshd refuses outright
home="$(getent passwd "$user" | cut -d: -f6)"
install -d -o "$user" -m 700 "$home/.ssh" "$home/bin"
install -o "$user" -m 755 "$build/pixquillcmd" "$home/bin/pixquillcmd"
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/user_key"
install -o "$user" -m 600 "$work/user_key.pub" "$home/.ssh/authorized_keys"

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $port
HostKey $work/host_key
PidFile $work/sshd.pid
AuthenticationMethods publickey
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
AllowUsers $user
SetEnv PATH=$home/bin:/usr/local/bin:/usr/bin:/bin
EOF
cat >"$work/ssh_config" <<EOF
Host other
  HostName 127.0.0.1
  Port $port
  User $user
  IdentityFile $work/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking accept-new
  BatchMode yes
  ConnectTimeout 5
EOF
mkdir -p /run/sshd  # privilege separation, which sshd requires
start_sshd() {
  /usr/sbin/sshd -D -e -f "$work/sshd_config" 2>>"$work/sshd.log" &
  sshd_pid=$!
  for _ in $(seq 50); do
    ssh -F "$work/ssh_config" other true 2>/dev/null && return 0
    sleep 0.1
  done
  tail -n 5 "$work/sshd.log" >&2
  fail "sshd did not accept the key"
}
start_sshd
[ "$(ssh -F "$work/ssh_config" other 'command -v pixquillcmd')" = "$home/bin/pixquillcmd" ] ||
  fail "the other machine does not find pixquillcmd on its PATH"
ssh -F "$work/ssh_config" other "test -r '$work'" 2>/dev/null && fail "the other machine can read the batch's folder"

# Generated RAW files with odd names, each with a time stamp of its own.
cards="$work/card"
mkdir -p "$cards/DCIM/100 QUILL" "$cards/it's (2)"
names=("$cards/DCIM/100 QUILL/IMG 0001.dng" "$cards/DCIM/100 QUILL/Zoë \$HOME \`x\`.dng"
       "$cards/it's (2)/a;b|c.DNG" "$cards/it's (2)/-leading dash.dng")
for i in "${!names[@]}"; do
  "$build/tests/make_test_dng" "${names[$i]}" --width 320 --height 240 --preview --exif
  touch -d "2024-05-0$((i + 1)) 12:34:56" "${names[$i]}"
done

batch() { "$build/pixquillbatch" --ssh="ssh -F $work/ssh_config" -S other --transfer "$@"; }
expect_outputs() {  # every JPEG whole, with its RAW file's time stamp
  for raw in "${names[@]}"; do
    local rel="${raw#"$cards"/}"
    local jpeg="$1/${rel%.*}.jpg"
    [ -s "$jpeg" ] || fail "missing: $jpeg"
    python3 - "$jpeg" <<'EOF' || fail "not a whole JPEG: $jpeg"
import sys
data = open(sys.argv[1], "rb").read()
sys.exit(0 if data[:2] == b"\xff\xd8" and data[-2:] == b"\xff\xd9" else 1)
EOF
    [ "$(stat -c %Y "$jpeg")" = "$(stat -c %Y "$raw")" ] || fail "time stamp not kept: $jpeg"
  done
}
remote_leftovers() { find "$home" -type f -not -path "$home/.ssh/*" -not -path "$home/bin/*" \
                       -not -name '.bash*' -not -name .profile -print; }

mkdir "$work/out1" "$work/out2"
start=$(date +%s)
batch -o "$work/out1" --file-timestamp=original "$cards" >"$work/run1.log" 2>&1 ||
  { cat "$work/run1.log"; fail "the batch over ssh failed"; }
expect_outputs "$work/out1"
[ -z "$(remote_leftovers)" ] || fail "left in the remote home: $(remote_leftovers)"
echo "converted ${#names[@]} files over ssh in $(($(date +%s) - start)) s"

# The other machine goes away in the middle: nothing is lost, --resume finishes the rest.
mkdir -p "$cards/more"
for i in $(seq 1 12); do
  "$build/tests/make_test_dng" "$cards/more/IMG_$i.dng" --width 2000 --height 1500 --preview --exif
done
names+=("$cards"/more/*.dng)
# sshd stops once two JPEGs are back; the sessions already open finish their files.
( until [ "$(find "$work/out2" -name '*.jpg' 2>/dev/null | wc -l)" -ge 2 ]; do sleep 0.05; done
  kill "$sshd_pid" ) &
set +e
batch -o "$work/out2" --file-timestamp=original "$cards" >"$work/run2.log" 2>&1
status=$?
set -e
wait
[ "$status" = 1 ] || { cat "$work/run2.log"; fail "a batch whose host went away ended with $status, not 1"; }
converted=$(sed -n 's/^Converted \([0-9]*\) of .*/\1/p' "$work/run2.log")
[ -n "$converted" ] && [ "$converted" -lt "${#names[@]}" ] ||
  { cat "$work/run2.log"; fail "the summary does not say that files were left"; }
sed -n '/^Converted /p' "$work/run2.log"
start_sshd
batch --resume -o "$work/out2" --file-timestamp=original "$cards" >"$work/run3.log" 2>&1 ||
  { cat "$work/run2.log" "$work/run3.log"; fail "--resume after the host came back failed"; }
expect_outputs "$work/out2"
# A job whose connection died with the host may have left its folder in the remote home:
# nobody was there to remove it, and it is not this check's business.
echo "the host went away and came back: every file converted once resumed"
