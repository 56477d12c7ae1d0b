#!/usr/bin/env bash
# Runs one golden conversion case and compares every result byte for byte.
#   run_case.sh CASE_DIR ROMCVT MAKE_COFF
# A case folder holds:
#   args            the arguments, one a line
#   *.desc          COFF descriptions, each built into the .out of the same name
#   other files     inputs copied as they are (command files and the like)
#   expected/       console.txt, status, and every file the run must write
set -u
case_dir=$1 romcvt=$2 make_coff=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for input in "$case_dir"/*; do
  name=$(basename "$input")
  case "$name" in
    args|expected) ;;
    *.desc) "$make_coff" describe "$input" "$work/${name%.desc}.out" || exit 1 ;;
    *) cp "$input" "$work/" ;;
  esac
done

mapfile -t arguments < "$case_dir/args"
(cd "$work" && "$romcvt" "${arguments[@]}" > console.txt 2> errors.txt < /dev/null)
echo $? > "$work/status"

failed=0
for expected in "$case_dir"/expected/*; do
  [ -e "$expected" ] || continue
  name=$(basename "$expected")
  if ! cmp -s "$expected" "$work/$name"; then
    echo "MISMATCH: $name"
    diff <(od -c "$expected") <(od -c "$work/$name" 2>/dev/null) | head -20
    failed=1
  fi
done
# Files written that the case does not expect are a failure too.
for produced in "$work"/*; do
  name=$(basename "$produced")
  case "$name" in console.txt|errors.txt|status|*.out) continue ;; esac
  [ -e "$produced" ] || continue
  [ -e "$case_dir/$name" ] && continue
  if [ ! -e "$case_dir/expected/$name" ]; then
    echo "UNEXPECTED FILE: $name"
    failed=1
  fi
done
exit $failed
