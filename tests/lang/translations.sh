#!/usr/bin/env bash
# Every message has an English translation: each string marked with Tr, TrF, N_ or QTr, and
# each Chinese string literal in the sources at all (a message someone forgot to mark), must
# have a non-empty entry in po/en.po. Usage: translations.sh SOURCE_DIR
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mapfile -t sources < <(find "$root/src" -name '*.cpp' -o -name '*.h' | sort)

# Not messages: a font family's Chinese name.
not_messages=(-e '宋体')

xgettext --from-code=UTF-8 -C -kTr -kTrF -kN_ -kQTr -o "$work/marked.pot" "${sources[@]}"
xgettext --from-code=UTF-8 -C -a -o "$work/all.pot" "${sources[@]}" 2>/dev/null
msggrep --msgid -E -e '[一-龥]' "$work/all.pot" -o "$work/chinese.pot"
msggrep -v --msgid -F "${not_messages[@]}" "$work/chinese.pot" -o "$work/literals.pot"

status=0
# msgcmp counts an empty msgstr as missing.
for pot in marked literals; do
  if ! msgcmp "$root/po/en.po" "$work/$pot.pot" 2>"$work/$pot.err"; then
    echo "translations: $pot strings without an English translation:"
    grep -o "$pot.pot:[0-9]*: this message is used but not defined" "$work/$pot.err" |
      cut -d: -f2 | while read -r line; do sed -n "${line}p" "$work/$pot.pot"; done
    status=1
  fi
done
# A placeholder lost or added in translation would drop or invent a value.
msgfmt --check -o /dev/null "$root/po/en.po"
while IFS= read -r bad; do
  echo "translations: placeholders differ: $bad"
  status=1
done < <(msgcat --no-wrap "$root/po/en.po" | awk '
  function marks(s,   out, i) { out = ""; for (i = 1; i <= 9; i++) if (index(s, "%" i)) out = out i; return out }
  /^msgid / { id = $0 } /^msgstr / { if (marks(id) != marks($0)) print id }')
[ $status -eq 0 ] && echo "translations: complete"
exit $status
