#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The manual pages: each renders with man (no warnings from its formatter), and every option that
# the program's --help lists appears in its page.
# usage: man_pages_test.sh BIN_DIR SOURCE_DIR
set -u
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
passed=0
failed=0
verdict() {  # NAME OK DETAIL
  if [ "$2" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "$1: $3"; fi
}
# page, then the command line that prints its help
while read -r page help; do
  file=$src/man/$page.1
  rendered=$(MANWIDTH=120 man --warnings -l "$file" 2>"$bin/man_warnings.txt" | col -b)
  verdict "${page}_renders" $([ -n "$rendered" ] && echo 1 || echo 0) "man -l gives nothing"
  verdict "${page}_no_warnings" $([ ! -s "$bin/man_warnings.txt" ] && echo 1 || echo 0) \
    "$(head -3 "$bin/man_warnings.txt")"
  # shellcheck disable=SC2086
  options=$("$bin"/$help --help | grep -oE '(^|[ ,])--?[A-Za-z][-A-Za-z]*' | sed 's/^[ ,]//' | sort -u)
  for option in $options; do
    case "$rendered" in *"$option"*) ok=1 ;; *) ok=0 ;; esac
    verdict "${page}_${option}" $ok "the page lacks $option"
  done
  # The exit codes the help names are the page's EXIT STATUS, and the other way round.
  # shellcheck disable=SC2086
  help_codes=$("$bin"/$help --help | tr '\n' ' ' | grep -oE '[0-9] when|  [0-9]  ' | grep -oE '[0-9]' |
               sort -u | tr -d '\n')
  page_codes=$(echo "$rendered" | sed -n '/^EXIT STATUS/,/^[A-Z]/p' | tr '\n' ' ' | grep -oE '[ ;][0-9] +[A-Za-z]' |
               grep -oE '[0-9]' | sort -u | tr -d '\n')
  [ -z "$help_codes" ] || [ "$help_codes" = "$page_codes" ]
  verdict "${page}_exit_codes" $(( $? == 0 )) "help names exit codes $help_codes, the page $page_codes"
done <<LIST
mapsyms mapsyms
mapsyms-symbolize mapsyms symbolize
mapsyms-diff mapsyms diff
mapsyms-check mapsyms check
mapsyms-export mapsyms export
mapsyms-report mapsyms report
mapsyms-usage mapsyms usage
maptokens maptokens
LIST
# The rules of the command line that the page gives, --help gives too.
help=$("$bin"/mapsyms --help)
page=$(MANWIDTH=120 man -l "$src/man/mapsyms.1" 2>/dev/null | col -b)
for phrase in "-- ends the options" "[!...]"; do
  case "$help|$page" in *"$phrase"*"|"*"$phrase"*) ok=1 ;; *) ok=0 ;; esac
  verdict "mapsyms_help_says_$phrase" $ok "mapsyms --help or its page lacks '$phrase'"
done
rm -f "$bin/man_warnings.txt"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
