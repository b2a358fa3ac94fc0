#!/bin/bash
# What reveal and hide refuse instead of reporting success: pictures without a container, text
# that is not UTF-8, empty passwords, inputs that never end; and the prompt's echo after a signal.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli DIR=$work
PY=$(command -v /usr/bin/python3 || command -v python3) || { echo "python3 needed" >&2; exit 1; }

# A grey picture: every low bit 0, so it holds no container.
{ printf 'P6\n200 10\n255\n'; head -c 6000 /dev/zero | tr '\0' '\244'; } >plain.ppm

# Without a container: exit 1, nothing on standard output; --force reads as before.
out=$("$CLI" reveal plain.ppm 2>err.txt)
[ $? = 1 ] && [ -z "$out" ] || fail "reveal without a container: want exit 1 and no output"
grep -q -- --force err.txt || fail "no-container message: $(cat err.txt)"
"$CLI" reveal --force plain.ppm >/dev/null || fail "reveal --force"

# Text that is not UTF-8 is refused with the offset of the first bad byte (--raw stores it).
printf 'ab\xffcd' >bad.txt
"$CLI" hide plain.ppm -o bad.bmp --text-file bad.txt 2>err.txt
[ $? = 1 ] && [ ! -e bad.bmp ] || fail "invalid UTF-8 must exit 1 and write nothing"
grep -q "第 2 字节" err.txt || fail "invalid UTF-8 message: $(cat err.txt)"

# An empty password is refused (from a file: crypt.sh).
PENNACROW_PASSWORD= "$CLI" hide plain.ppm -o e1.bmp --text x --encrypt 2>/dev/null
[ $? = 1 ] && [ ! -e e1.bmp ] || fail "empty password from the environment"

# Inputs that never end stop with a message instead of eating memory.
ln -s /dev/zero zero.bmp
for args in "info zero.bmp" "hide plain.ppm -o z.bmp --text-file /dev/zero" \
  "hide plain.ppm -o z.bmp --encrypt --password-file /dev/zero --text x"; do
  # shellcheck disable=SC2086
  timeout 20 "$CLI" $args 2>err.txt
  [ $? = 1 ] && [ -s err.txt ] || fail "$args: want exit 1 with a message"
done
timeout 20 "$CLI" hide plain.ppm -o z.bmp </dev/zero 2>/dev/null
[ $? = 1 ] || fail "an endless standard input"

# At the password prompt, SIGTERM and Ctrl+\ give the terminal its echo back and the process
# still dies of the signal; after a stop (the shell turns echo on) and fg, and after a Ctrl+Z
# where no stop applies, the prompt has echo off again.
"$PY" - "$CLI" plain.ppm <<'PY' || fail "password prompt: $?"
import os, pty, signal, sys, termios, time
def start():
    pid, master = pty.fork()
    if pid == 0:
        os.environ.pop('PENNACROW_PASSWORD', None)
        os.execv(sys.argv[1], [sys.argv[1], 'hide', sys.argv[2], '-o', 'p.bmp', '--text', 'x', '--encrypt'])
    seen, deadline = b'', time.time() + 10
    while b':' not in seen and time.time() < deadline:
        seen += os.read(master, 100)
    time.sleep(0.2)
    if echo(master):
        sys.exit(3)  # the prompt did not turn echo off: nothing was tested
    return pid, master
def echo(master):
    return bool(termios.tcgetattr(master)[3] & termios.ECHO)
def dies_of(pid, sig):
    _, status = os.waitpid(pid, 0)
    return os.WIFSIGNALED(status) and os.WTERMSIG(status) == sig
for sig in (signal.SIGTERM, signal.SIGQUIT):
    pid, master = start()
    os.kill(pid, sig)
    if not dies_of(pid, sig) or not echo(master):
        sys.exit(4)
pid, master = start()
os.kill(pid, signal.SIGSTOP)
os.waitpid(pid, os.WUNTRACED)
mode = termios.tcgetattr(master)
mode[3] |= termios.ECHO
termios.tcsetattr(master, termios.TCSANOW, mode)
os.kill(pid, signal.SIGCONT)
time.sleep(0.3)
if echo(master):
    sys.exit(5)
os.kill(pid, signal.SIGTSTP)
time.sleep(0.3)
if echo(master):
    sys.exit(6)
os.kill(pid, signal.SIGTERM)
sys.exit(0 if dies_of(pid, signal.SIGTERM) and echo(master) else 7)
PY

finish
