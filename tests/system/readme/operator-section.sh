#!/usr/bin/env bash
# Pastes the README's operator section into a shell, as an operator would on a fresh clone:
# every ```sh block of the section, in order, run by bash in the project's top folder, stopping
# at the first command that fails. Then the list they changed must hold what they meant.
#   operator-section.sh SOURCE-DIR
set -u
src=$1
script=$(mktemp)
trap 'rm -f "$script"' EXIT
awk '/^## For operators/ {in_section=1; next}
     /^## / {in_section=0}
     in_section && /^```sh$/ {in_block=1; next}
     in_block && /^```$/ {in_block=0; next}
     in_block {print}' "$src/README.md" >"$script"
if [ ! -s "$script" ]; then
  echo "the README's operator section has no sh block"; exit 1
fi
cd "$src" || exit 1
out=$(bash -e -c "$(cat "$script")
echo \"== the list: \$LIST\"
grep -c 'Kay, ops' \"\$LIST\"
grep -c OOA \"\$LIST\" || true
rm -rf \"\$(dirname \"\$LIST\")\"" 2>&1)
rc=$?
echo "$out"
[ $rc -eq 0 ] || { echo "the operator section failed (exit $rc)"; exit 1; }
# Kay was added once; Linus (OOA) was removed.
tail -n 2 <<<"$out" | tr '\n' ' ' | grep -qx '1 0 ' || { echo "the list does not hold what the section meant"; exit 1; }
