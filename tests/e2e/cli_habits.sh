#!/usr/bin/env bash
# pennacrow-cli as other command-line tools behave: pipelines through "-", pictures recognised by
# content, help and version, one-line usage errors, the "pennacrow-cli: " prefix naming the file,
# info's language-independent JSON; each under an English and a Chinese locale.
set -u
. "$(dirname "$0")/lib.sh"

convert -size 47x33 gradient:red-blue -depth 8 photo.png
convert photo.png photo.gif
convert photo.png -compress none photo.tif
convert photo.png photo.ppm
convert photo.png -quality 95 photo.jpg
cp photo.png noext
cp photo.gif gif-named.png
cp photo.tif tif-named.bmp
cp photo.ppm ppm-named.jpg
cp photo.jpg jpeg-named.tga
printf 'not a picture at all' > junk

# language  LANG and PENNACROW_LANG set   missing-file reason   usage hint
cases=(
  "en|LANG=en_US.UTF-8|No such file or directory|Try 'pennacrow-cli hide --help'"
  "en|LANG=C PENNACROW_LANG=en|No such file or directory|Try 'pennacrow-cli hide --help'"
  "zh|LANG=zh_CN.UTF-8|没有那个文件或目录|请尝试执行 'pennacrow-cli hide --help'"
  "zh|LANG=C|没有那个文件或目录|请尝试执行 'pennacrow-cli hide --help'"
  "zh|LANG=de_DE.UTF-8|没有那个文件或目录|请尝试执行 'pennacrow-cli hide --help'"
)

for row in "${cases[@]}"; do
  IFS='|' read -r lang environment reason hint <<<"$row"
  run() { env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u PENNACROW_LANG $environment "$cli" "$@"; }
  tag="[$environment]"

  # Pipelines: a picture in on standard input, out on standard output.
  got=$(run hide - -o - --format png --text hi <photo.png | run reveal -)
  [ "$got" = "hi" ] || fail "$tag png pipeline gave '$got'"
  got=$(run hide - -o - --format bmp --text "你好" <photo.jpg | run reveal -)
  [ "$got" = "你好" ] || fail "$tag bmp pipeline gave '$got'"
  run convert photo.gif - --format bmp | cmp -s - <(run convert photo.gif - --format BMP) ||
    fail "$tag convert to standard output"
  printf 'from a pipe' >text.txt
  run hide photo.png -o piped.png --text-file - <text.txt && [ "$(run reveal piped.png)" = "from a pipe" ] ||
    fail "$tag --text-file -"

  # Content decides where the extension is missing or wrong; --format forces a reader.
  for f in noext gif-named.png tif-named.bmp ppm-named.jpg jpeg-named.tga; do
    run info "$f" | grep -q '^width: 47$' || fail "$tag $f not recognised by content"
  done
  run info - <photo.tif | grep -q '^height: 33$' || fail "$tag picture on standard input"
  if run info ppm-named.jpg --format jpg 2>/dev/null; then fail "$tag --format jpg read a PPM"; fi

  # Help and version: standard output, exit 0.
  for command in info hide reveal encrypt decrypt convert fractal formats analyze; do
    out=$(run "$command" --help) || fail "$tag $command --help exit $?"
    grep -q "pennacrow-cli $command" <<<"$out" || fail "$tag $command --help: $out"
  done
  for word in -V --version version; do
    [ "$(run $word)" = "pennacrow-cli 2.0.0" ] || fail "$tag $word"
  done

  # A usage error: exit 2, the problem on one line and where to find help on the next.
  run hide photo.png 2>err.txt
  status=$?
  [ $status -eq 2 ] || fail "$tag usage error exit $status"
  [ "$(wc -l <err.txt)" -eq 2 ] || fail "$tag usage error is not two lines: $(cat err.txt)"
  head -1 err.txt | grep -q '^pennacrow-cli: hide: ' || fail "$tag usage error prefix: $(cat err.txt)"
  grep -qF "$hint" err.txt || fail "$tag usage hint: $(cat err.txt)"
  run hide photo.png -o - --text x >/dev/null 2>&1
  [ $? -eq 2 ] || fail "$tag -o - without --format is no usage error"

  # Failures: the prefix, the file's name, the system's reason in the user's language.
  for file in nosuch.png junk; do
    run info "$file" 2>err.txt
    status=$?
    [ $status -eq 1 ] || fail "$tag info $file exit $status"
    grep -q "^pennacrow-cli: .*$file" err.txt || fail "$tag info $file said: $(cat err.txt)"
  done
  run info nosuch.png 2>err.txt
  grep -qF "$reason" err.txt || fail "$tag missing file reason: $(cat err.txt)"
  if [ "$lang" = en ]; then
    grep -qP '[\x{4e00}-\x{9fff}]' err.txt && fail "$tag Chinese in an English message: $(cat err.txt)"
  fi
  run reveal photo.png 2>err.txt
  grep -q '^pennacrow-cli: photo.png' err.txt || fail "$tag reveal failure names no file: $(cat err.txt)"

  # info --json: the same bytes in every language, container and max_text_bytes beside the rest.
  run info photo.png --json >"json.$lang.none"
  run hide photo.png -o plain.png --text "hi" && run info plain.png --json >"json.$lang.plain"
  PENNACROW_PASSWORD=pw run hide photo.png -o enc.png --text "hi" --encrypt &&
    run info enc.png --json >"json.$lang.encrypted"
done

expect_json() {
  local kind=$1 field=$2
  for lang in en zh; do
    grep -qF "$field" "json.$lang.$kind" || fail "json $kind ($lang): $(cat "json.$lang.$kind")"
  done
  cmp -s "json.en.$kind" "json.zh.$kind" || fail "json $kind differs between languages"
}
expect_json none '"container":"none","max_text_bytes":190,"adaptive_capacity":17,"adaptive_tolerated":0}'
expect_json plain '"container":"plain"'
expect_json encrypted '"container":"encrypted"'
finish
