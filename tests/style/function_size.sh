#!/usr/bin/env bash
# No function of the program grows past 60 lines or 25 branches, so that a reader can hold each
# one: clang-tidy's readability-function-size check on every file of src/ that the build
# compiles, as the build compiles it. Usage: function_size.sh SOURCE_DIR BUILD_DIR CLANG_TIDY
set -euo pipefail
root=$1
build=$2
tidy=$3
config='{CheckOptions: [
  {key: readability-function-size.LineThreshold, value: 60},
  {key: readability-function-size.BranchThreshold, value: 25}]}'

mapfile -t sources < <(grep -o "\"file\": \"$root/src/[^\"]*\"" "$build/compile_commands.json" |
  cut -d'"' -f4 | sort -u)
if [ ${#sources[@]} -eq 0 ]; then
  echo "function_size: no file of $root/src in $build/compile_commands.json"
  exit 1
fi

# A few files to each clang-tidy, on every core; a warning fails its run.
status=0
report=$(printf '%s\0' "${sources[@]}" |
  xargs -0 -n 4 -P "$(nproc)" "$tidy" -p "$build" --quiet \
    --checks='-*,readability-function-size' --warnings-as-errors='readability-function-size' \
    --config="$config" 2>/dev/null) || status=$?
if [ $status -ne 0 ]; then
  echo "function_size: functions over the limits (split them into helpers or tables):"
  sed 's/\x1b\[[0-9;]*m//g' <<<"$report" | grep -E "error:|warning:|note: [0-9]+ (lines|branches)" ||
    echo "function_size: clang-tidy failed ($status) without a finding"
  exit 1
fi
echo "function_size: ${#sources[@]} files, every function within 60 lines and 25 branches"
