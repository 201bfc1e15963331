#!/usr/bin/env bash
# The layering of the sources (docs/ARCHITECTURE.md, "Layers"): each rule
# names the files of a layer and the includes they may not make, as one
# extended regular expression over their #include lines. Any match is a
# violation; so is a folder of src/ that no rule names.
set -euo pipefail
cd "$(dirname "$0")/.."

# files (find arguments)              | may not include (ERE, on the quoted name)
rules=(
  "src/base                           |\"(platform|journal|compat|core|kinds|param|logfile|runtime|dialog|module)/|\"Orn|\"posix_io\.h\""
  "src/platform                       |\"(journal|core|kinds|param|logfile|runtime|dialog|module)/|\"compat/[a-z]|\"OrnEh[^/]*\"|\"OrnLang"
  "src/compat                         |\"(journal|core|kinds|param|logfile|runtime|dialog|module)/|\"OrnEh[^/]*\""
  "src/param                          |\"(journal|core|kinds|logfile|runtime|dialog|module)/"
  "src/logfile                        |\"(journal|core|kinds|param|runtime|dialog|module)/"
  "src/journal                        |\"(compat|core|kinds|param|logfile|runtime|dialog|module)/|\"Orn"
  "src/module -name language.*        |\"(platform|core|kinds|param|logfile|runtime|dialog)/"
  "src/dialog -maxdepth 1             |\"(journal|core|kinds|param|logfile|runtime)/|\"module/module_entry"
  "src/symbolizer                     |\"(base|platform|compat|core|kinds|param|logfile|runtime|dialog|module)/|\"Orn"
  "src/dialog/gtk src/dialog/tui      |\"(base|platform|core|kinds|param|logfile|runtime|module)/|\"compat/(format_message|system_message)|\"dialog/(error_dialog|dialog_window|print_pagination)\.h|\"OrnEh[^/]*\"|\"OrnLanguage|\"OrnLangIds"
  "src/core                           |\"(kinds|param|logfile)/"
  "src/runtime                        |\"(kinds|param|logfile|dialog)/"
  "src/kinds                          |\"(runtime|param|logfile|dialog)/"
  "src/module -name module_entry.*    |^\$"
  "lang                               |\"(base|platform|core|kinds|param|logfile|runtime|dialog|module)/|\"compat/[a-z]"
)

failed=0
covered=()
for rule in "${rules[@]}"; do
  files=${rule%%|*}
  forbidden=${rule#*|}
  read -r -a args <<<"$files"
  where=()
  for a in "${args[@]}"; do
    [[ $a == src/* || $a == lang ]] && where+=("$a") && covered+=("$a")
  done
  filters=("${args[@]:${#where[@]}}")
  hits=$(find "${where[@]}" "${filters[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 |
         xargs -0 -r grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' | grep -E -- "$forbidden" || true)
  if [[ -n $hits ]]; then
    while IFS= read -r hit; do
      echo "layering: $hit (not allowed in ${files%% *})"
    done <<<"$hits"
    failed=1
  fi
done

# Every folder of src/ is under a rule.
while IFS= read -r dir; do
  found=0
  for c in "${covered[@]}"; do
    [[ $dir == "$c" || $dir == "$c"/* ]] && found=1
  done
  if [[ $found == 0 ]]; then
    echo "layering: $dir is under no rule (add one to scripts/check_layers.sh and docs/ARCHITECTURE.md)"
    failed=1
  fi
done < <(find src -mindepth 1 -type d)

if [[ $failed != 0 ]]; then
  echo "layering: violations found"
  exit 1
fi
echo "layering: clean"
