#!/usr/bin/env bash
# The command line is described in several places and every one lists the same options: the
# synopsis (data/pennacrow-cli.synopsis, from which --help and the manual page take theirs), the
# README's copy of it, each command's --help, and the bash and zsh completions.
# Usage: synopsis.sh SOURCE_DIR PENNACROW_CLI
set -u
root=$1
cli=$2
synopsis=$root/data/pennacrow-cli.synopsis
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
options() { grep -oE -- '(^|[^A-Za-z0-9_-])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }
# The lines of a completion script's case branch for command ("info)" or "encrypt | decrypt)").
branch() {
  awk -v command="$1" '
    /^ *[a-z |]+\)/ { label = $0; sub(/\).*/, "", label); gsub(/ /, "", label)
                      n = split(label, names, "|"); on = 0
                      for (i = 1; i <= n; i++) if (names[i] == command) on = 1 }
    on { print } on && /;;/ { on = 0 }' "$2"
}

# The README's block is the synopsis, line for line.
readme=$(awk '/^## The command-line tool/ { on = 1 } on && /^```/ { n++; next } on && n == 1' \
  "$root/README.md")
[ "$readme" = "$(sed 's/^/pennacrow-cli /' "$synopsis")" ] ||
  fail "README's synopsis differs from $synopsis: $(diff <(echo "$readme") <(sed 's/^/pennacrow-cli /' "$synopsis"))"

for command in info hide reveal encrypt decrypt convert fractal formats analyze; do
  want=$(grep "^$command " "$synopsis" | options)
  # Each option has a line in the command's --help (the usage lines above it aside).
  help=$("$cli" "$command" --help | sed '1,/^$/d' | options)
  [ "$help" = "$want" ] || fail "$command --help explains $(echo $help), the synopsis has $(echo $want)"
  bash=$(branch "$command" "$root/data/completion/pennacrow-cli.bash" | grep 'options+=' | options)
  [ "$bash" = "$want" ] || fail "bash completion of $command: $(echo $bash)"
  zsh=$(branch "$command" "$root/data/completion/_pennacrow-cli" | grep -oE -- "['\"]--?[a-z-]+\[" |
    tr -d "'\"[" | grep -vx -- --help | sort -u)
  [ "$zsh" = "$want" ] || fail "zsh completion of $command: $(echo $zsh)"
done

[ $failures -eq 0 ] && echo "synopsis: the same everywhere"
exit $((failures > 0))
