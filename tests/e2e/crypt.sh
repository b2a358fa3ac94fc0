#!/bin/bash
# pennacrow-cli encrypt/decrypt: the ArmouredText against an independent computation, and the
# round trip for arbitrary bytes.
set -u
. "$(dirname "$0")/lib.sh"
CLI=$cli WORK=$work

# The reference: Base64 of standard RC4 under the SHA-1 digest of the password file's bytes.
PY=$(command -v /usr/bin/python3 || command -v python3) || { echo "crypt: python3 needed" >&2; exit 1; }
cat > "$WORK/reference.py" <<'PY'
import base64, hashlib, sys
password = open(sys.argv[1], 'rb').read()
data = open(sys.argv[2], 'rb').read()
key = hashlib.sha1(password).digest()
s = list(range(256)); j = 0
for i in range(256):
    j = (j + s[i] + key[i % len(key)]) % 256; s[i], s[j] = s[j], s[i]
i = j = 0; out = bytearray()
for c in data:
    i = (i + 1) % 256; j = (j + s[i]) % 256; s[i], s[j] = s[j], s[i]
    out.append(c ^ s[(s[i] + s[j]) % 256])
sys.stdout.write(base64.b64encode(bytes(out)).decode())
PY
reference() { "$PY" "$WORK/reference.py" "$1" "$2"; }

printf 'secret\n' > "$WORK/pw"
printf 'secret' > "$WORK/pw.bare"
printf 'Hello' > "$WORK/hello"

# 1. The ArmouredText of "Hello" equals the reference, with no line end behind it.
got=$(printf 'Hello' | "$CLI" encrypt --password-file "$WORK/pw"; echo x)
got=${got%x}
want=$(reference "$WORK/pw.bare" "$WORK/hello")
[ "$got" = "$want" ] || fail "encrypt Hello: got '$got', want '$want'"
[ "$got" = "KpSPSes=" ] || fail "encrypt Hello: got '$got', want the pinned KpSPSes="

# 2. A CR LF password file, PENNACROW_PASSWORD, and a UTF-8 password (stored as GB18030).
printf 'secret\r\nsecond line\n' > "$WORK/pw.crlf"
got=$("$CLI" encrypt --password-file "$WORK/pw.crlf" < "$WORK/hello")
[ "$got" = "$want" ] || fail "CR LF password file: got '$got'"
got=$(PENNACROW_PASSWORD=secret "$CLI" encrypt < "$WORK/hello")
[ "$got" = "$want" ] || fail "PENNACROW_PASSWORD: got '$got'"
printf '密码' > "$WORK/pw.utf8"
printf '\xc3\xdc\xc2\xeb' > "$WORK/pw.gb"
got=$("$CLI" encrypt --password-file "$WORK/pw.utf8" < "$WORK/hello")
want=$(reference "$WORK/pw.gb" "$WORK/hello")
[ "$got" = "$want" ] || fail "UTF-8 password: got '$got', want '$want'"

# 3. Any bytes go through and come back: zero bytes, CR LF, bytes above 127.
"$PY" -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 3 + b"\r\nend\0")' \
  > "$WORK/bytes"
"$CLI" encrypt --password-file "$WORK/pw" < "$WORK/bytes" > "$WORK/bytes.arm" \
  || fail "encrypt bytes: exit $?"
[ "$(cat "$WORK/bytes.arm")" = "$(reference "$WORK/pw.bare" "$WORK/bytes")" ] \
  || fail "encrypt bytes differs from the reference"
"$CLI" decrypt --password-file "$WORK/pw" < "$WORK/bytes.arm" > "$WORK/bytes.out" \
  || fail "decrypt bytes: exit $?"
cmp -s "$WORK/bytes" "$WORK/bytes.out" || fail "decrypt does not invert encrypt"
# A line end behind the ArmouredText (as echo or an editor leaves it) is ignored.
{ cat "$WORK/bytes.arm"; printf '\r\n'; } \
  | "$CLI" decrypt --password-file "$WORK/pw" > "$WORK/bytes.out2"
cmp -s "$WORK/bytes" "$WORK/bytes.out2" || fail "decrypt with a trailing CR LF"

# 4. Empty input gives empty output; an empty password is refused.
: > "$WORK/empty"
[ -z "$("$CLI" encrypt --password-file "$WORK/pw" < "$WORK/empty")" ] || fail "empty input"
got=$("$CLI" encrypt --password-file "$WORK/empty" < "$WORK/hello" 2>/dev/null)
[ $? -eq 1 ] && [ -z "$got" ] || fail "empty password: want exit 1 and no output, got '$got'"

# 5. Exit statuses: a missing password file fails (1), stray arguments are usage errors (2).
"$CLI" encrypt --password-file "$WORK/missing" < "$WORK/hello" > "$WORK/out" 2> "$WORK/err"
[ $? -eq 1 ] || fail "missing password file: want exit 1"
[ -s "$WORK/out" ] && fail "missing password file: output written"
"$CLI" decrypt secret --password-file "$WORK/pw" < "$WORK/hello" > /dev/null 2>&1
[ $? -eq 2 ] || fail "positional argument: want exit 2"
"$CLI" encrypt --password secret < "$WORK/hello" > /dev/null 2>&1
[ $? -eq 2 ] || fail "--password: want exit 2"
# No terminal and no other source of a password: a failure, not a hang.
env -u PENNACROW_PASSWORD setsid "$CLI" encrypt < "$WORK/hello" > /dev/null 2>&1
[ $? -eq 1 ] || fail "no terminal: want exit 1"

finish
