#!/bin/sh
# tovex_launch_test.sh LAUNCHER: the desktop launcher starts the program in
# the user's data folder, creating it, and passes the arguments on, relative
# file names made absolute.
set -eu
launcher=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# A stand-in program beside the launcher that reports where it started.
mkdir "$scratch/bin"
cp "$launcher" "$scratch/bin/tovex-launch"
cat > "$scratch/bin/tovex" <<'STUB'
#!/bin/sh
pwd > "$TOVEX_TEST_OUT"
printf '%s\n' "$@" > "$TOVEX_TEST_OUT.args"
STUB
chmod +x "$scratch/bin/tovex" "$scratch/bin/tovex-launch"
export TOVEX_TEST_OUT="$scratch/started-in"

# XDG_DATA_HOME wins, and a blank in it is no problem.
XDG_DATA_HOME="$scratch/data home" HOME="$scratch/home" \
  "$scratch/bin/tovex-launch"
[ "$(cat "$TOVEX_TEST_OUT")" = "$scratch/data home/tovex" ] ||
  fail "XDG_DATA_HOME: started in $(cat "$TOVEX_TEST_OUT")"

# Without it: ~/.local/share/tovex, every missing level created.
env -u XDG_DATA_HOME HOME="$scratch/home" "$scratch/bin/tovex-launch"
[ "$(cat "$TOVEX_TEST_OUT")" = "$scratch/home/.local/share/tovex" ] ||
  fail "HOME: started in $(cat "$TOVEX_TEST_OUT")"

# An empty XDG_DATA_HOME counts as unset.
XDG_DATA_HOME= HOME="$scratch/home" "$scratch/bin/tovex-launch"
[ "$(cat "$TOVEX_TEST_OUT")" = "$scratch/home/.local/share/tovex" ] ||
  fail "empty XDG_DATA_HOME: started in $(cat "$TOVEX_TEST_OUT")"
# Started by a relative path with files (as the desktop entry's %F, or by
# hand): the program beside it starts, each file named absolutely.
(cd "$scratch" && XDG_DATA_HOME="$scratch/data" HOME="$scratch/home" \
  bin/tovex-launch "a b.log" /var/log/x.log logs/c.log.gz)
[ "$(cat "$TOVEX_TEST_OUT")" = "$scratch/data/tovex" ] ||
  fail "relative launcher: started in $(cat "$TOVEX_TEST_OUT")"
expected=$(printf '%s\n' "$scratch/a b.log" /var/log/x.log "$scratch/logs/c.log.gz")
[ "$(cat "$TOVEX_TEST_OUT.args")" = "$expected" ] ||
  fail "files passed as: $(cat "$TOVEX_TEST_OUT.args")"
echo "tovex-launch: ok"
