#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks what the built library exports. Linux: exactly the record-list and symbol-table
# functions in the dynamic symbol table. Windows: exactly those undecorated names with ordinals
# 1 to 37 (33, ParseMapFileW, on Windows only), imports from
# KERNEL32 and msvcrt only, the version resource, and each entry point returning with its
# calling convention's ret (found through the symbols, so not for a stripped DLL: "stripped"
# checks instead that the DLL carries no symbols). Both: the README's tables name every ordinal
# and give their range as it is.
# usage: exports_test.sh LIBRARY [windows [stripped]]
set -u
library=$1
mode=${2:-linux}
stripped=${3:-}
passed=0
failed=0
verdict() {  # NAME OK DETAIL
  if [ "$2" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "$1: $3"; fi
}

expected_by_ordinal="1 MapParse
2 GetRecordCount
3 GetRecordTop
4 GetFirstRecord
5 GetNextRecord
6 FreeAllRecords
7 GetErrorMessage
8 GetMapDllVersion
9 CreateSymbolTable
10 FreeSymbolTable
11 ParseMapFile
12 ParseMapText
13 GetSymbolCount
14 GetSymbols
15 FindSymbolByName
16 FindSymbolByAddress
17 GetSymbolTableError
18 GetKindName
19 GetMapLibraryVersion
20 FindSymbolsByAddress
21 GetSymbolTableErrorCode
22 GetSymbolTableErrorLine
23 GetSymbolTableErrorToken
24 GetSymbolTableErrorSystem
25 SetSymbolTableFlags
26 GetNoteCount
27 GetNotes
28 GetNoteText
29 FindNearestSymbol
30 FindNearestSymbols
31 FindSymbolsByName
32 GetMapLibraryVersionNumber"
# Ordinal 33 is ParseMapFileW, on Windows only.
added_after_33="34 FindNearestSymbolIndices
35 GetKindByName
36 GetSymbolTableStatus
37 GetNoteLine"

# The README names every ordinal in its tables and gives their range as it is.
readme=$(dirname "$0")/../README.md
every="$expected_by_ordinal
33 ParseMapFileW
$added_after_33"
last=$(echo "$every" | tail -1 | awk '{print $1}')
while read -r ordinal name; do
  grep -qE "^\| $ordinal \| \`[^\`]* \*?$name\(" "$readme"
  verdict "readme_row_$ordinal" $(( $? == 0 )) "the README's tables lack ordinal $ordinal, $name"
done <<<"$every"
ranges=$(grep -oE "ordinals? \(?1 to [0-9]+" "$readme" | grep -oE "[0-9]+$" | sort -u | tr '\n' ' ')
[ "$ranges" = "$last " ]; verdict readme_ranges $(( $? == 0 )) "the README gives ordinals 1 to $ranges"

# The header declares the functions in ordinal order, each under its number.
header=$(dirname "$0")/../include/kestrum8_map.h
declared=$(grep -oE '^/\* Ordinal [0-9]+' "$header" | grep -oE '[0-9]+$' | tr '\n' ' ')
[ "$declared" = "$(echo "$every" | awk '{printf "%s ", $1}')" ]
verdict header_order $(( $? == 0 )) "the header declares ordinals $declared"

if [ "$mode" = linux ]; then
  expected_by_ordinal="$expected_by_ordinal
$added_after_33"
  names=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
  want=$(echo "$expected_by_ordinal" | awk '{print $2}' | sort)
  [ "$names" = "$want" ]; verdict dynamic_symbols $(( $? == 0 )) "exports: $(echo $names)"
else
  expected_by_ordinal="$expected_by_ordinal
33 ParseMapFileW
$added_after_33"
  objdump=i686-w64-mingw32-objdump
  header=$($objdump -p "$library")
  table=$(echo "$header" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\s*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' | awk '{print $1 + 1, $2}' | sort -n)
  [ "$table" = "$expected_by_ordinal" ]; verdict export_table $(( $? == 0 )) "table: $(echo $table)"
  base=$(echo "$header" | sed -n 's/.*Ordinal Base\s*\([0-9]*\).*/\1/p' | head -1)
  [ "$base" = 1 ]; verdict ordinal_base $(( $? == 0 )) "base $base"
  imports=$(echo "$header" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  [ "$imports" = "kernel32.dll msvcrt.dll " ]; verdict imports $(( $? == 0 )) "imports: $imports"
  # The version resource: its strings are UTF-16.
  resource=$(strings -el "$library" | tr '\n' '|')
  version=$(sed -n 's/^project(kestrum8_map VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")
  for want in "FileVersion|$version.0|" "ProductVersion|$version.0|" "OriginalFilename|kestrum8_map.dll|" \
              "InternalName|" "FileDescription|" "ProductName|" \
              "LegalCopyright|Copyright (c) 2026 the kestrum8_map authors (MIT)|"; do
    case "$resource" in *"$want"*) ok=1 ;; *) ok=0 ;; esac
    verdict "version_resource_${want%%|*}" $ok "version resource lacks '$want'"
  done
  if [ "$stripped" = stripped ]; then
    $objdump -t "$library" | grep -q '^no symbols'
    verdict stripped $(( $? == 0 )) "the DLL carries symbols"
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
  fi
  disassembly=$($objdump -d --no-show-raw-insn "$library")
  entries=("MapParse@4 ret    \$0x4" "GetFirstRecord@8 ret    \$0x8" "GetNextRecord@8 ret    \$0x8"
           "GetRecordCount ret" "GetRecordTop ret" "FreeAllRecords ret" "GetErrorMessage ret"
           "GetMapDllVersion ret")
  # The symbol-table functions are all cdecl.
  for name in $(echo "$expected_by_ordinal" | awk '$1 >= 9 {print $2}'); do entries+=("$name ret"); done
  for entry in "${entries[@]}"; do
    symbol=${entry%% *}
    want_ret=${entry#* }
    body=$(echo "$disassembly" | sed -n "/<_$symbol>:/,/^\$/p")
    # A tail call hands the return to the function it jumps to.
    target=$(echo "$body" | sed -n 's/.*jmp\s*[0-9a-f]* <\([^+>]*\)>$/\1/p' | head -1)
    [ -n "$target" ] && body="$body
$(echo "$disassembly" | sed -n "/<$target>:/,/^\$/p")"
    rets=$(echo "$body" | grep -oE '\sret[^<]*$' | sed 's/^\s*//; s/\s*$//' | sort -u)
    [ "$rets" = "$want_ret" ]; verdict "ret_$symbol" $(( $? == 0 )) "returns with '$rets'"
  done
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
