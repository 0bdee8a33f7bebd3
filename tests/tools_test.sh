#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Golden-output tests of the command-line programs. The same cases run on the Linux build and,
# through Wine, on the Windows build, against the same golden files.
# usage: tools_test.sh BIN_DIR SOURCE_DIR [EMULATOR]
set -u
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
emulator=${3:-}
exe=""
[ -n "$emulator" ] && exe=".exe"
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

passed=0
failed=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err" "$out".*' EXIT

# check NAME EXPECTED_STATUS EXPECTED_STDOUT_FILE EXPECTED_STDERR_TEXT PROGRAM ARGS...
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4 program=$5
  shift 5
  case $program in /*) ;; *) program=$bin/$program$exe ;; esac
  # shellcheck disable=SC2086
  $emulator "$program" "$@" >"$out" 2>"$err"
  local status=$?
  # A plain C host writes through a text-mode stream on Windows: compare its lines without CR.
  [ "${strip_cr:-0}" = 1 ] && { tr -d '\r' <"$out" >"$out.plain"; mv "$out.plain" "$out"; }
  if [ -n "${K8MAP_REGENERATE:-}" ] && [ "${want_out#tests/golden/mapsyms/}" != "$want_out" ]; then
    cp "$out" "$want_out"
  fi
  local ok=1
  [ "$status" -eq "$want_status" ] || { echo "$name: status $status, expected $want_status"; ok=0; }
  if ! cmp -s "$out" "$want_out"; then
    echo "$name: standard output differs:"; diff "$want_out" "$out" | head -20; ok=0
  fi
  if [ -n "$want_err" ] && ! grep -qF -- "$want_err" "$err"; then
    echo "$name: standard error lacks '$want_err':"; head -5 "$err"; ok=0
  fi
  if [ $ok -eq 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

text() { printf "$@" >"$out.expected"; echo "$out.expected"; }

# The programs run in the source folder on relative paths, so that paths in their output are
# the same wherever the project lies.
cd "$src" || exit 1
sample=examples/sample.map
data=tests/data
golden=tests/golden
g=$golden/mapsyms
next=$data/sample_next.map
classes=$data/name_classes.map
# With K8MAP_REGENERATE=1 the mapsyms goldens below (under tests/golden/mapsyms) are written anew
# from the program's output: review the difference before committing it.
golden() {  # NAME: the golden file of a mapsyms case
  echo "$g/$1"
}

# ---- Listing ----
check text 0 "$golden/sample.txt" "" mapsyms "$sample"
check text_explicit 0 "$golden/sample.txt" "" mapsyms --format text "$sample"
check format_equals 0 "$golden/sample.csv" "" mapsyms --format=csv "$sample"
check csv 0 "$golden/sample.csv" "" mapsyms --format csv "$sample"
check json 0 "$golden/sample.json" "" mapsyms --format json "$sample"
check count 0 "$(text '12\n')" "" mapsyms --count "$sample"
check count_csv 0 "$(text 'count\n12\n')" "" mapsyms --count --format csv "$sample"
check count_json 0 "$(text '{"count": 12}\n')" "" mapsyms --format json --count "$sample"
check count_filtered 0 "$(text '1\n')" "" mapsyms --count --name uart_init "$sample"
check name 0 "$(text '0x00000005\tsym\n0x00000005\tsym\n')" "" mapsyms --name sym "$data/duplicates.map"
check name_globs 0 "$(golden name_globs.txt)" "" mapsyms --name 'uart_*' --name '*_isr*' --name '[rw]?????_*' "$sample"
check name_classes 0 "$(golden name_classes.txt)" "" mapsyms "$classes"
check sort_value 0 "$(golden sort_value.txt)" "" mapsyms --sort value "$classes"
check sort_name 0 "$(golden sort_name.csv)" "" mapsyms --sort=name --format csv "$classes"
check several_text 0 "$(golden several.txt)" "" mapsyms "$data/worked_example.map" "$data/duplicates.map"
check several_csv 0 "$(golden several.csv)" "" mapsyms --format csv "$data/worked_example.map" "$data/duplicates.map"
check several_json 0 "$(golden several.json)" "" mapsyms --format json "$data/worked_example.map" "$data/duplicates.map"
check two_files 0 "$(text '6\n')" "" mapsyms --count "$data/worked_example.map" "$data/duplicates.map"
check failed_middle 3 "$(golden failed_middle.txt)" "$data/missing_line_end.map:3: syntax error. \"\" is invalid." \
  mapsyms "$data/worked_example.map" "$data/missing_line_end.map" "$data/duplicates.map"
check failed_middle_summary 3 "$(golden failed_middle.txt)" "mapsyms: $data/missing_line_end.map was not read completely; the others were read and listed" \
  mapsyms "$data/worked_example.map" "$data/missing_line_end.map" "$data/duplicates.map"

# Symbols of every kind, with kind, scope, bit and line.
check all_kinds 0 "$(golden all_kinds.txt)" "" mapsyms --all-kinds "$sample"
check kinds_csv 0 "$(golden kinds.csv)" "" mapsyms --kind bit --kind equ --sort value --format csv "$sample"
check kinds_json 0 "$(golden kinds.json)" "" mapsyms --kind Func --kind Var. --format json "$sample" "$data/worked_example.map"
check count_kinds 0 "$(text '15\n')" "" mapsyms --count --all-kinds --name '*_*' --name main "$data/worked_example.map" "$next"
check unknown_kind 2 "$(text '')" "mapsyms: unknown kind 'Adr' (Addr., loc.," mapsyms --kind Adr "$sample"

# ---- Lookups ----
check lookup_inside 0 "$(text 'uart_putc+0x10\n')" "" mapsyms --lookup 0x1050 "$sample"
check lookup_exact 0 "$(text 'timer_isr\n')" "" mapsyms --lookup 2000 "$sample"
check lookup_leading_zeros 0 "$(text 'timer_isr\n')" "" mapsyms --lookup 0x000000002000 "$sample"
check lookup_first_of_equal 0 "$(text 'sym+0x3\n')" "" mapsyms --lookup 8 "$data/duplicates.map"
check lookup_below_all 1 "$(text '??\n')" "" mapsyms --lookup 0xFFF "$data/worked_example.map"
check lookup_several 1 "$(text 'uart_putc+0x10\n??\nreset_vector\n')" "" \
  mapsyms --lookup 0x1050 --lookup 0x2300 --lookup 0 --max-offset 0xFF "$sample"
check lookup_unbounded 0 "$(text 'watchdog_kick+0x1FFFDF00\n')" "" mapsyms --lookup 0x20000100 --max-offset none "$sample"
check lookup_bounded_by_default 1 "$(text '??\n')" "" mapsyms --lookup 0x20000100 "$sample"
check lookup_kind 0 "$(text 'uart_tx_busy+0x1\n')" "" mapsyms --kind bit --lookup 0x20000021 "$sample"
check lookup_all_kinds 0 "$(text 'STACK_SIZE+0x10\n')" "" mapsyms --all-kinds --lookup 0x810 "$sample"
check symbolize_kind 0 "$(text '0x20000021\tuart_tx_busy+0x1\n')" "" mapsyms symbolize --only --kind BIT "$sample" - \
  < <(echo 'flag at 0x20000021')
check sort_two_files 0 "$(golden sort_two_files.txt)" "" mapsyms --sort name "$data/worked_example.map" "$data/duplicates.map"
check lookup_max_offset 1 "$(text '??\n')" "" mapsyms --lookup 0x20000100 --max-offset 0x1000 "$sample"
check lookup_with_name 0 "$(text 'uart_init+0x1000\n')" "" mapsyms --name uart_init --lookup 0x2000 "$sample"
check lookup_csv 1 "$(golden lookup.csv)" "" mapsyms --format csv --lookup 0x105C --lookup 0x1062 --lookup 0x0 "$classes"
check lookup_json 1 "$(golden lookup.json)" "" mapsyms --format json --lookup 0x105C --lookup 0x1062 --lookup 0x0 "$classes"
check lookup_files_text 0 "$(text "$sample: uart_putc+0x10\\n$data/boot.map: boot_entry+0x4\\n")" "" \
  mapsyms --lookup 0x1050 --lookup 0x08000004 "$sample" "$data/boot.map"
check lookup_files_named 0 "$(text "$data/boot.map: flash_erase_page+0x4\\n$sample: uart_putc+0x10\\n")" "" \
  mapsyms --name 'flash*' --name 'uart_putc' --lookup 0x08000404 --lookup 0x1050 "$sample" "$data/boot.map"
check lookup_files_csv 0 "$(golden lookup_files.csv)" "" mapsyms --format csv --lookup 0x1050 --lookup 0x08000004 --max-offset 0x100000 "$data/boot.map" "$sample"
check lookup_files_json 0 "$(golden lookup_files.json)" "" mapsyms --format json --lookup 0x1050 --lookup 0x08000004 --max-offset 0x100000 "$data/boot.map" "$sample"
check list_stdin 0 "$golden/sample.txt" "" mapsyms - <"$sample"
check list_stdin_twice 2 "$(text '')" "mapsyms: standard input (-) can be read once only" mapsyms - - <"$sample"
check check_stdin 0 "$(text '<stdin>: parse succeeded, 12 records\n')" "" mapsyms check - <"$sample"
check diff_stdin 1 "$(golden diff.txt)" "" mapsyms diff - "$next" <"$sample"
check parse_failure_one_line 3 "$(text '0x00000010\tgood\n')" "check_findings.map:10: syntax error. \"\\n\" is invalid." \
  mapsyms "$data/check_findings.map"
check lookup_failed_parse 3 "$(text '')" "mapsyms: no lookup answers" mapsyms --lookup 0x2 "$data/missing_line_end.map"
check diff_failed 3 "$(text '')" "mapsyms: no comparison: $data/missing_line_end.map was not read completely (--keep-going" \
  mapsyms diff "$data/missing_line_end.map" "$data/duplicates.map"
check diff_keep_going 3 "$(golden diff_keep_going.txt)" "missing_line_end.map:3: syntax error" \
  mapsyms diff --keep-going "$data/missing_line_end.map" "$data/duplicates.map"
check symbolize_failed 3 "$(text '')" "mapsyms: no annotation: $data/missing_line_end.map was not read completely" \
  mapsyms symbolize --only "$data/missing_line_end.map" - < <(echo 'pc 0x2')
check symbolize_keep_going 3 "$(text '0x00000002\tb\n')" "missing_line_end.map:3: syntax error" \
  mapsyms symbolize --only --keep-going "$data/missing_line_end.map" - < <(echo 'pc 0x2')
check lookup_keep_going 3 "$(text 'b\n')" "missing_line_end.map:3: syntax error" \
  mapsyms --keep-going --lookup 0x2 "$data/missing_line_end.map"

# ---- Sizes: usage and diff --sizes ----
old_sizes=$data/sizes_old.map new_sizes=$data/sizes_new.map memories=$data/memories.txt
check usage_regions 0 "$(golden usage_regions.txt)" "" mapsyms usage "$new_sizes"
check usage_memories 0 "$(golden usage_memories.txt)" "" mapsyms usage --memory-file "$memories" \
  --memory BOOT=0x1FFF0000,0x8000 "$new_sizes"
check usage_csv 0 "$(golden usage.csv)" "" mapsyms usage --memory FLASH=0x08000000,64K --format csv "$new_sizes"
check usage_json 0 "$(golden usage.json)" "" mapsyms usage --memory RAM=0x20000000,1M --format json "$new_sizes"
check usage_over_budget 1 "$(golden usage_memories.txt)" "mapsyms: RAM is 56.74% used, above 50%" \
  mapsyms usage --memory-file "$memories" --memory BOOT=0x1FFF0000,0x8000 --fail-above 50 "$new_sizes"
check diff_sizes 1 "$(golden diff_sizes.txt)" "" mapsyms diff --sizes "$old_sizes" "$new_sizes"
check diff_sizes_memories 1 "$(golden diff_sizes_memories.txt)" "" mapsyms diff --sizes --all-kinds \
  --memory-file "$memories" "$old_sizes" "$new_sizes"
check diff_sizes_csv 1 "$(golden diff_sizes.csv)" "" mapsyms diff --sizes --top 2 --format csv "$old_sizes" "$new_sizes"
check diff_sizes_json 1 "$(golden diff_sizes.json)" "" mapsyms diff --sizes --all-kinds --memory-file "$memories" \
  --format json "$old_sizes" "$new_sizes"
check diff_sizes_same 0 "$(golden diff_sizes_same.txt)" "" mapsyms diff --sizes "$old_sizes" "$old_sizes"
# Sixty data regions that become one: the memory's row names them all, however long it is.
apart=$(mktemp) joined=$(mktemp)
for k in $(seq 0 59); do
  printf '  v%d Var. g 0x%08X\n' "$k" $((0x20000000 + k * 0x20000)) >>"$apart"
  printf '  v%d Var. g 0x%08X\n  w%d Var. g 0x%08X\n' "$k" $((0x20000000 + k * 0x20000)) \
    "$k" $((0x20010000 + k * 0x20000)) >>"$joined"
done
if $emulator "$bin/mapsyms$exe" diff --sizes "$apart" "$joined" 2>&1 |
  grep -q '  data 1 (was data 1 + data 2 + .* + data 59 + data 60)$'; then
  passed=$((passed + 1))
else
  echo "diff_sizes_long_row: the row of the joined regions is not whole"; failed=$((failed + 1))
fi
rm -f "$apart" "$joined"
while IFS='|' read -r name message args; do
  # shellcheck disable=SC2086
  check "size_option_$name" 2 "$(text '')" "$message" mapsyms $args
done <<EOF_CASES
gap_zero|--region-gap takes a number of at least 1|usage --region-gap 0 $new_sizes
no_form|a memory is NAME=START,SIZE|usage --memory FLASH $new_sizes
bad_size|a memory is NAME=START,SIZE|usage --memory FLASH=0x0,12Q $new_sizes
empty|memory FLASH has no size|usage --memory FLASH=0,0 $new_sizes
past_end|memory HIGH runs past 0xFFFFFFFF|usage --memory HIGH=0xFFFFF000,1M $new_sizes
overlap|memories A and B overlap|usage --memory A=0x1000,0x100 --memory B=0x10FF,4 $new_sizes
twice|memory A is given twice|usage --memory A=0x1000,1K --memory A=0x2000,1K $new_sizes
file_line|sizes_old.map, line 1: a memory is|usage --memory-file $data/sizes_old.map $new_sizes
no_file|cannot read the memory file $data/absent.txt|usage --memory-file $data/absent.txt $new_sizes
budget_needs_memory|--fail-above needs the memories' sizes|usage --fail-above 90 $new_sizes
budget_range|--fail-above takes a percentage|usage --memory A=0,1K --fail-above 101 $new_sizes
two_maps|usage takes one map|usage $old_sizes $new_sizes
top_alone|--top is an option of diff --sizes|diff --top 3 $old_sizes $new_sizes
top_number|--top takes a decimal number|diff --sizes --top x $old_sizes $new_sizes
keep_going|--keep-going does not combine with --sizes|diff --sizes --keep-going $old_sizes $new_sizes
report_gap_zero|--region-gap takes a number of at least 1|report --region-gap 0 $new_sizes
EOF_CASES

# ---- Messages, usage and exit codes ----
version=$(sed -n 's/^project(kestrum8_map VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
# -V: both versions and the file loaded (its folder differs from build to build).
for flag in --version -V; do
  $emulator "$bin/mapsyms$exe" $flag >"$out" 2>"$err"
  first=$(head -1 "$out" | tr -d '\r')
  second=$(sed -n 2p "$out" | tr -d '\r')
  case $second in
    "library $version (kestrum8_map.dll Ver.1.0): "*libkestrum8_map.so.1 | \
    "library $version (kestrum8_map.dll Ver.1.0): "*kestrum8_map.dll) loaded=1 ;;
    *) loaded=0 ;;
  esac
  if [ "$first" = "mapsyms $version" ] && [ "$loaded" = 1 ]; then passed=$((passed + 1)); else
    echo "version $flag: printed '$first' and '$second'"; failed=$((failed + 1))
  fi
done
check help 0 "$(golden help.txt)" "" mapsyms --help
check help_short 0 "$(golden help.txt)" "" mapsyms -h
check missing_file 3 "$(text '')" "mapsyms: can't open file $data/absent.map (" mapsyms "$data/absent.map"
check syntax_error 3 "$(text '0x00000001\ta\n0x00000002\tb\n')" \
  "mapsyms: $data/missing_line_end.map:3: syntax error. \"\" is invalid." mapsyms "$data/missing_line_end.map"
check bad_option 2 "$(text '')" "usage: mapsyms" mapsyms --bogus "$sample"
check bad_address 2 "$(text '')" "hexadecimal, with or without 0x" mapsyms --lookup xyz "$sample"
check decimal_looking_address 2 "$(text '')" "not an address: '4096z'" mapsyms --lookup 4096z "$sample"
check too_wide_address 2 "$(text '')" "not an address" mapsyms --lookup 0x100000000 "$sample"
check count_with_lookup 2 "$(text '')" "--count and --lookup cannot be combined" mapsyms --count --lookup 1 "$sample"
check sort_with_lookup 2 "$(text '')" "--sort and --lookup cannot be combined" mapsyms --sort value --lookup 1 "$sample"
check max_offset_alone 2 "$(text '')" "--max-offset applies to --lookup only" mapsyms --max-offset 1 "$sample"
check max_offset_bad 2 "$(text '')" "not an offset: ''" mapsyms --lookup 0x1050 --max-offset= "$sample"
check max_offset_0X 0 "$(text 'uart_putc+0x10\n')" "" mapsyms --lookup 0x1050 --max-offset 0X10 "$sample"
check format_unknown 2 "$(text '')" "mapsyms: unknown format 'xml' (text, csv or json)" mapsyms --format xml "$sample"
check sort_unknown 2 "$(text '')" "mapsyms: unknown sort 'size' (value or name)" mapsyms --sort size "$sample"
check json_none 0 "$(text '[]\n')" "" mapsyms --format json --name nomatch "$sample"
check json_bit 0 "$(text '[\n  {"name": "uart_tx_busy", "value": 536870944, "hex": "0x20000020", "kind": "bit", "scope": "s", "bit": 3, "line": 19}\n]\n')" "" \
  mapsyms --kind bit --format json "$sample"
check lookup_files_none_csv 1 "$(text 'address,file,name,offset\n0x00000001,,,\n')" "" \
  mapsyms --lookup 0x1 --format csv --name nomatch "$sample" "$data/boot.map"
check lookup_files_none_json 1 "$(text '[\n  {"address": 1, "hex": "0x00000001", "file": null, "name": null, "offset": null}\n]\n')" "" \
  mapsyms --lookup 0x1 --format json --name nomatch "$sample" "$data/boot.map"
check no_file 2 "$(text '')" "mapsyms: no map file given" mapsyms
check control_path 3 "$(text '')" 'mapsyms: cannot read bad\x1bname (' mapsyms symbolize "$sample" "$(printf 'bad\033name')"
check newline_path 3 "$(text '')" 'mapsyms: cannot read bad\nna\tme\x7f (' mapsyms symbolize "$sample" "$(printf 'bad\nna\tme\177')"
check directory_map 3 "$(text '')" "mapsyms: can't open file $data (Is a directory)" mapsyms "$data"
check directory_check 3 "$(text '')" "mapsyms: cannot read $data (Is a directory)" mapsyms check "$data"
check short_option_unknown 2 "$(text '')" "mapsyms: unknown option -x" mapsyms -x "$sample"
check flag_with_value 2 "$(text '')" "mapsyms: --count takes no value" mapsyms --count=1 "$sample"
check prefix_alone 2 "$(text '')" "not an address: '0x'" mapsyms --lookup 0x "$sample"
# Output that cannot be written: each program says so once, with exit 3.
if [ -w /dev/full ] && [ -z "$emulator" ]; then
  while read -r program args; do
    # shellcheck disable=SC2086
    "$bin/$program" $args >/dev/full 2>"$err"
    status=$?
    if [ $status -eq 3 ] && [ "$(grep -c "$program: cannot write standard output" "$err")" = 1 ]; then
      passed=$((passed + 1))
    else
      echo "write_error ($program $args): status $status, stderr: $(cat "$err")"; failed=$((failed + 1))
    fi
  done <<EOF_CASES
mapsyms $sample
mapsyms symbolize $sample $data/trace.txt
mapsyms check $sample
maptokens $sample
maptokens --help
maptokens -V
EOF_CASES
fi

check out_of_memory 3 "$(text '')" "mapsyms: out of memory" out_of_memory_check
for command in symbolize diff check usage; do
  check "help_$command" 0 "$(golden "help_$command.txt")" "" mapsyms "$command" --help
done
check unknown_option_value 2 "$(text '')" "mapsyms: --format needs a value" mapsyms "$sample" --format
check operands_after_dashes 3 "$(text '')" "can't open file --count" mapsyms -- --count

# Globs: ranges, a negated set, a set with ']' first, and '[' that opens no set.
check glob_ranges 0 "$(text '0x00001000\tuart_init\n0x00001040\tuart_putc\n0x0000105C\tuart_wait_tx\n0x000010A0\tuart_handle_receive_interrupt_and_dispatch_t2nd_level_handlers\n')" "" \
  mapsyms --name 'uart_[a-p]*' --name 'uart_w[!x]*t_tx' "$sample"
check glob_odd_sets 0 "$(text '0x00002000\ttimer_isr\n')" "" mapsyms --name '[]t]imer_isr' --name 'x[' "$sample"
# Sets left open at the pattern's end, '-' last in a set, a range below the character.
check glob_open_sets 0 "$(text '0x00000000\tAddr.\tg\treset_vector\n0x20000020(3)\tbit\ts\tuart_tx_busy\n')" "" \
  mapsyms --kind Addr --kind bit --name '*[' --name '*[ab' --name '[r-]*' --name '[u-z]*_[!a-s]x_*' "$sample"

# File paths in CSV and JSON: a comma, a quote and a backslash are escaped as each format says
# (Windows file names hold no quote).
if [ -z "$emulator" ]; then
odd=$(mktemp -d)
cp "$data/worked_example.map" "$odd/a,\"b\\c.map"
odd_csv="\"$odd/a,\"\"b\\c.map\""
{ echo "file,name,value"
  for f in "$odd_csv" "$data/worked_example.map"; do
    printf '%s,main,0x00001000\n%s,start_loop,0x0000102A\n%s,InitSerialPort2AndBuffers,0x00002000\n' "$f" "$f" "$f"
  done; } >"$out.csv_expected"
check csv_path_escaped 0 "$out.csv_expected" "" mapsyms --format csv "$odd/a,\"b\\c.map" "$data/worked_example.map"
check json_path_escaped 3 "$(text '[\n  {"file": "'"$odd"'/a,\\"b\\\\c.map", "name": "main", "value": 4096, "hex": "0x00001000"}\n]\n')" "" \
  mapsyms --format json --name main "$odd/a,\"b\\c.map" "$data/missing_line_end.map"
cp "$data/worked_example.map" "$odd/$(printf 'caf\351')"
cp "$data/worked_example.map" "$odd/$(printf 'caf\303\251.map')"
# Well-formed sequences of two to four bytes kept (the least and greatest of each kind of lead
# byte among them); a stray continuation byte, overlong forms, a surrogate, a code point past
# U+10FFFF, a byte that leads nothing, a lead without its continuation and a cut sequence
# escaped byte by byte, as a tab is.
odd_name=$(printf '\302\251\342\202\254\360\237\230\200\340\240\200\355\237\277\364\217\277\277\200\300\257\340\200\257\355\240\200\360\200\200\200\364\220\200\200\365\342A\t\342\202')
cp "$data/worked_example.map" "$odd/$odd_name"
check json_utf8_forms_file 0 "$(text '[\n  {"file": "'"$odd"'/\xc2\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xe0\xa0\x80\xed\x9f\xbf\xf4\x8f\xbf\xbf\\u0080\\u00c0\\u00af\\u00e0\\u0080\\u00af\\u00ed\\u00a0\\u0080\\u00f0\\u0080\\u0080\\u0080\\u00f4\\u0090\\u0080\\u0080\\u00f5\\u00e2A\\u0009\\u00e2\\u0082", "name": "main", "value": 4096, "hex": "0x00001000"},\n  {"file": "'"$data"'/worked_example.map", "name": "main", "value": 4096, "hex": "0x00001000"}\n]\n')" "" \
  mapsyms --format json --name main "$odd/$odd_name" "$data/worked_example.map"
check json_path_not_utf8 0 "$(text '[\n  {"file": "'"$odd"'/caf\\u00e9", "name": "main", "value": 4096, "hex": "0x00001000"},\n  {"file": "'"$odd"'/caf\xc3\xa9.map", "name": "main", "value": 4096, "hex": "0x00001000"}\n]\n')" "" \
  mapsyms --format json --name main "$odd/$(printf 'caf\351')" "$odd/$(printf 'caf\303\251.map')"
check symbolize_directory 3 "$(text '')" "mapsyms: error reading $data" mapsyms symbolize "$sample" "$data"
# Standard input that cannot be read (a folder), as the log, the checked map and the listed map.
check symbolize_stdin_unreadable 3 "$(text '')" "mapsyms: error reading standard input" mapsyms symbolize "$sample" - <"$data"
check check_stdin_unreadable 3 "$(text '')" "mapsyms: error reading standard input" mapsyms check - <"$data"
check list_stdin_unreadable 3 "$(text '')" "mapsyms: error reading standard input" mapsyms - <"$data"
rm -rf "$odd"
fi

# The library missing, and a library without the functions: exit 4, every place tried named.
if [ -z "$emulator" ]; then
  alone=$(mktemp -d)
  cp "$bin/mapsyms" "$alone/"
  check library_missing 4 "$(text '')" "mapsyms: cannot load libkestrum8_map.so.1; tried:" "$alone/mapsyms" "$sample"
  check version_without_library 4 "$(text "mapsyms $version\\n")" "mapsyms: cannot load" "$alone/mapsyms" -V
  # A copied mapsyms never loads a library from the folder it runs in.
  here=$(mktemp -d)
  cp "$bin/libkestrum8_map.so.1" "$here/"
  (cd "$here" && "$alone/mapsyms" -V >/dev/null 2>&1)
  if [ $? -eq 4 ]; then passed=$((passed + 1)); else
    echo "current_folder: a copied mapsyms loaded the library of the folder it ran in"; failed=$((failed + 1))
  fi
  rm -rf "$here"
  printf 'int unrelated(void) { return 0; }\n' >"$alone/empty.c"
  if cc -shared -fPIC -o "$alone/libkestrum8_map.so.1" "$alone/empty.c" 2>/dev/null; then
    check library_without_functions 4 "$(text '')" "mapsyms: missing function MapParse" "$alone/mapsyms" "$sample"
  fi
  rm -rf "$alone"
fi

# ---- symbolize ----
check symbolize 0 "$(golden trace.symbolized)" "" mapsyms symbolize "$sample" "$data/trace.txt"
check symbolize_stdin 0 "$(golden trace.symbolized)" "" mapsyms symbolize "$sample" - <"$data/trace.txt"
check symbolize_only 0 "$(golden trace.only)" "" mapsyms symbolize --only "$sample" "$data/trace.txt"
check symbolize_max_offset 0 "$(golden trace.max_offset)" "" mapsyms symbolize --max-offset=0x10 "$sample" "$data/trace.txt"
check symbolize_unchanged 0 "$data/no_addresses.txt" "" mapsyms symbolize "$sample" "$data/no_addresses.txt"
# A text long enough to be done in pieces at once gives every copy's answer, in order.
long_text=$out.long
for _ in $(seq 1000); do cat "$data/trace.txt"; echo; done >"$long_text"
for _ in $(seq 1000); do cat "$(golden trace.symbolized)"; echo; done >"$long_text.symbolized"
for _ in $(seq 1000); do cat "$(golden trace.only)"; done >"$long_text.only"
check symbolize_long 0 "$long_text.symbolized" "" mapsyms symbolize "$sample" - <"$long_text"
check symbolize_long_only 0 "$long_text.only" "" mapsyms symbolize --only "$sample" - <"$long_text"
for _ in $(seq 1000); do cat "$data/crash.txt"; done >"$long_text"
for _ in $(seq 1000); do cat "$(golden crash.symbolized)"; done >"$long_text.symbolized"
check symbolize_long_bare 0 "$long_text.symbolized" "" \
  mapsyms symbolize --bare --map "$sample" --map "$data/boot.map" - <"$long_text"
# One long line (no line end to split at), addresses across every block boundary.
awk 'BEGIN { for (i = 0; i < 30000; i++) printf "0x%08X ", 4096 + i % 128 }' >"$long_text"
awk 'BEGIN { split("uart_init uart_putc uart_wait_tx", n); split("4096 4160 4188", v)
             for (i = 0; i < 30000; i++) { a = 4096 + i % 128; s = a >= 4188 ? 3 : a >= 4160 ? 2 : 1
               o = a - v[s]; printf "0x%08X <%s%s> ", a, n[s], o ? sprintf("+0x%X", o) : "" } }' \
  >"$long_text.symbolized"
check symbolize_long_line 0 "$long_text.symbolized" "" mapsyms symbolize "$sample" "$long_text"
rm -f "$long_text" "$long_text.symbolized" "$long_text.only"
# A log piped in while it is being written is answered as each line comes, before the writer
# ends (Linux only: the shell's coprocess does not reach a program under Wine).
if [ -z "$emulator" ]; then
  coproc LIVE { "$bin/mapsyms" symbolize --only "$sample"; }
  printf 'pc 0x1062\n' >&"${LIVE[1]}"
  answer=""
  IFS= read -r -t 10 answer <&"${LIVE[0]}"
  exec {LIVE[1]}>&-
  wait "$LIVE_PID"
  if [ "$answer" = "$(printf '0x00001062\tuart_wait_tx+0x6')" ]; then
    passed=$((passed + 1))
  else
    echo "symbolize_live: no answer before the writer ended (got '$answer')"
    failed=$((failed + 1))
  fi
fi
# Crash dumps: 0X, --bare stack words, two maps naming theirs, the default bound (20001f00 is
# far above every symbol).
check symbolize_crash 0 "$(golden crash.symbolized)" "" \
  mapsyms symbolize --bare --map "$sample" --map "$data/boot.map" "$data/crash.txt"
check symbolize_crash_only 0 "$(golden crash.only)" "" \
  mapsyms symbolize --only --map "$sample" --map "$data/boot.map" "$data/crash.txt"
printf 'sp=0x20001000\n' >"$out.sp"
check symbolize_unbounded 0 "$(text '0x20001000\twatchdog_kick+0x1FFFEE00\n')" "" \
  mapsyms symbolize --only --max-offset none "$sample" - <"$out.sp"
check symbolize_map_stdin 0 "$(golden trace.symbolized)" "" mapsyms symbolize - "$data/trace.txt" <"$sample"
check symbolize_both_stdin 2 "$(text '')" "with the map from standard input, name the text's FILE" \
  mapsyms symbolize - <"$sample"
check symbolize_swapped 0 "$data/trace.txt" "mapsyms: $data/trace.txt: no symbols" \
  mapsyms symbolize "$data/trace.txt" "$data/trace.txt"
check symbolize_no_map 3 "$(text '')" "can't open file $data/absent.map" mapsyms symbolize "$data/absent.map"
# Two maps with --only, the first holding nothing at or below some addresses; digits past
# 32 bits and runs too long for an address left alone; --bare words past 32 bits too.
printf 'pc 0x1062 lr 0x08000404 big 0x123456789abcdef012 wide 0x0123456789 low 0X10\n' >"$out.log"
check symbolize_maps_only 0 "$(text '0x00001062\tuart_wait_tx+0x6\t%s\n0x08000404\tflash_erase_page+0x4\t%s\n0x00000010\treset_vector+0x10\t%s\n' "$sample" "$data/boot.map" "$sample")" "" \
  mapsyms symbolize --only --map "$data/boot.map" --map "$sample" "$out.log"
printf 'w 0x00000010 0x123456789 12345678 0800010F\n' >"$out.log"
check symbolize_bare_wide 0 "$(text 'w 0x00000010 0x123456789 12345678 0800010F <boot_copy_image+0xF>\n')" "" \
  mapsyms symbolize --bare "$data/boot.map" "$out.log"
check symbolize_nothing 2 "$(text '')" "mapsyms: no map file given" mapsyms symbolize
check symbolize_bad_offset 2 "$(text '')" "mapsyms: not an offset: 'zz'" mapsyms symbolize --max-offset zz "$sample"

# ---- diff ----
check diff_text 1 "$(golden diff.txt)" "" mapsyms diff "$sample" "$next"
check diff_csv 1 "$(golden diff.csv)" "" mapsyms diff --format csv "$sample" "$next"
check diff_json 1 "$(golden diff.json)" "" mapsyms diff --format json "$sample" "$next"
check diff_repeated 1 "$(golden diff_repeated.txt)" "" mapsyms diff "$data/duplicates.map" "$classes"
check diff_equal 0 "$(text '0 added, 0 removed, 0 moved, 12 unchanged\n')" "" mapsyms diff "$sample" "$sample"
check diff_one_file 2 "$(text '')" "diff needs two map files" mapsyms diff "$sample"
check diff_json_equal 0 "$(text '{"changes": [],\n "summary": {"added": 0, "removed": 0, "moved": 0, "unchanged": 12}}\n')" "" \
  mapsyms diff --format json "$sample" "$sample"
check diff_format_unknown 2 "$(text '')" "mapsyms: unknown format 'yaml'" mapsyms diff --format yaml "$sample" "$sample"
printf 'm\n  a Addr. g 0x20\n  b Addr. g 0x30\n' >"$out.old"
printf 'm\n  a Addr. g 0x10\n  b Addr. g 0x30\n' >"$out.new"
check diff_moved_down 1 "$(text '~ 0x00000020 -> 0x00000010 (-0x10) a\n0 added, 0 removed, 1 moved, 1 unchanged\n')" "" \
  mapsyms diff "$out.old" "$out.new"
check diff_failed 3 "$(text '')" "syntax error" mapsyms diff "$sample" "$data/missing_line_end.map"
# Maps whose records fill several buckets of names, matched by one thread (3000 records) and by
# two (80000): every change found and every repeated name's occurrences paired as in small maps.
for n in 3000 80000; do
  awk -v n=$n 'BEGIN { for (i = 0; i < n; i++) printf "  s%d Addr. g 0x%X\n", i, i
                       for (i = 0; i < 10; i++) printf "  s%d loc. g 0x%X\n", i, i + 7 }' >"$out.old"
  awk -v n=$n 'BEGIN { for (i = 0; i < n; i++) if (i % 1000 != 3) printf "  s%d Addr. g 0x%X\n", i, i + (i % 1000 == 5)
                       print "  extra Addr. g 0x1" }' >"$out.new"
  awk -v n=$n 'BEGIN { for (i = 0; i < n; i++) {
                         tail = i < 10 ? " (occurrence 1)" : ""
                         if (i % 1000 == 3) printf "- 0x%08X s%d%s\n", i, i, tail
                         if (i % 1000 == 5) printf "~ 0x%08X -> 0x%08X (+0x1) s%d%s\n", i, i + 1, i, tail }
                       for (i = 0; i < 10; i++) printf "- 0x%08X s%d (occurrence 2)\n", i + 7, i
                       print "+ 0x00000001 extra"
                       printf "1 added, %d removed, %d moved, %d unchanged\n", n / 1000 + 10, n / 1000, n - 2 * (n / 1000) }' >"$out.want"
  check "diff_large_$n" 1 "$out.want" "" mapsyms diff "$out.old" "$out.new"
done
rm -f "$out.old" "$out.new" "$out.want"

# ---- export ----
names=$data/export_names.map
exported=$(mktemp -d)
# check_file NAME STATUS GOLDEN STDERR_TEXT FILE ARGS...: a case that writes FILE with -o; FILE
# must equal GOLDEN afterwards (its earlier bytes when the command fails).
check_file() {
  local name=$1 want_status=$2 want_file=$3 want_err=$4 file=$5
  shift 5
  check "$name" "$want_status" "$(text '')" "$want_err" mapsyms export "$@" -o "$file"
  if [ -n "${K8MAP_REGENERATE:-}" ] && [ "$want_status" = 0 ]; then cp "$file" "$want_file"; fi
  if cmp -s "$file" "$want_file" && [ -z "$(find "$exported" -name '*.tmp*')" ]; then
    passed=$((passed + 1))
  else
    echo "$name: $file differs from $want_file, or a temporary file was left"; failed=$((failed + 1))
  fi
}
check export_sym 0 "$(golden export.sym)" "" mapsyms export --format sym "$sample"
check export_ld 0 "$(golden export_names.ld)" "mapsyms: 2 symbols were left out: a name given before with another value" \
  mapsyms export --format ld --all-kinds --scope g --scope s "$names"
check export_h 0 "$(golden export_names.h)" "mapsyms: 2 symbols were left out" \
  mapsyms export --format h --all-kinds "$names"
check export_h_sample 0 "$(golden export_sample.h)" "" mapsyms export --format h --kind equ --kind func --name '*' "$sample"
check_file export_elf 0 "$(golden export_sample.elf)" "" "$exported/sample.elf" --format elf --machine arm --sizes "$sample"
check_file export_elf_big 0 "$(golden export_names.elf)" "" "$exported/names.elf" --format=elf --machine 0x14 --big-endian --all-kinds "$names"
check_file export_replaces 0 "$(golden export.sym)" "" "$exported/sample.elf" --format sym "$sample"
printf 'earlier\n' >"$exported/kept"
printf 'earlier\n' >"$exported/kept.expected"
check_file export_failed_map 3 "$exported/kept.expected" "missing_line_end.map:3: syntax error" "$exported/kept" --format sym "$sample" "$data/missing_line_end.map"
check_file export_missing_image 3 "$exported/kept.expected" "mapsyms: cannot read image $data/absent.bin: " "$exported/kept" --format elf --image "$data/absent.bin@0" "$sample"
check_file export_overlap 2 "$exported/kept.expected" "mapsyms: images $sample at 0x00001000 and $names at 0x00001100 overlap" "$exported/kept" --format elf --image "$sample@1000" --image "$names@0x1100" "$sample"
check export_no_folder 3 "$(text '')" "mapsyms: cannot write $exported/absent/x.h: " mapsyms export --format h -o "$exported/absent/x.h" "$sample"
check export_onto_folder 3 "$(text '')" "mapsyms: cannot write $data: " mapsyms export --format h -o "$data" "$sample"
check export_elf_stdout 2 "$(text '')" "mapsyms: --format elf needs -o OUT" mapsyms export --format elf "$sample"
check export_no_format 2 "$(text '')" "mapsyms: export needs --format elf, ld, h or sym" mapsyms export "$sample"
check export_elf_only 2 "$(text '')" "mapsyms: --image is for --format elf only" mapsyms export --format ld --image "$sample@0" "$sample"
check export_machine 2 "$(text '')" "mapsyms: unknown machine 'z80' (none, 386, arm" mapsyms export --format elf --machine z80 -o "$exported/x" "$sample"
check export_scope 2 "$(text '')" "mapsyms: unknown scope 'x' (a, g or s)" mapsyms export --format sym --scope x "$sample"
check export_help 0 "$(golden export_help.txt)" "" mapsyms export --help
check export_empty_image 0 "$(text '')" "mapsyms: image $sample at 0x70000000 holds no symbol of the maps: is its address right?" mapsyms export --format elf -o "$exported/x" --image "$sample@70000000" "$sample"
check export_repeated_global 0 "$(text '')" "mapsyms: 1 global name was given again with another value" mapsyms export --format elf -o "$exported/x" "$sample" "$next"
check export_machine_hex 0 "$(text '')" "" mapsyms export --format elf --machine 0x28 --thumb -o "$exported/x" "$sample"
check export_thumb_arm_only 2 "$(text '')" "mapsyms: --thumb is for --machine arm" mapsyms export --format elf --machine 28a --thumb -o "$exported/x" "$sample"
: >"$exported/empty.bin"
for given in "$sample" "$sample@xyz" "@100" "$sample@123456789"; do
  check "export_image_form_${given##*@}" 2 "$(text '')" "mapsyms: --image takes FILE@ADDRESS" mapsyms export --format elf -o "$exported/x" --image "$given" "$sample"
done
check export_image_empty 3 "$(text '')" "mapsyms: image $exported/empty.bin is empty" mapsyms export --format elf -o "$exported/x" --image "$exported/empty.bin@0X10" "$sample"
check export_image_past_end 3 "$(text '')" "runs past the end of the 32-bit address space" mapsyms export --format elf -o "$exported/x" --image "$sample@FFFFFFF0" "$sample"
for machine in 65536 123456 arm7; do
  check "export_machine_$machine" 2 "$(text '')" "mapsyms: unknown machine '$machine'" mapsyms export --format elf --machine "$machine" -o "$exported/x" "$sample"
done
if [ -z "$emulator" ]; then  # devices and byte sequences of Linux
  check export_full_disk 3 "$(text '')" "mapsyms: cannot write /dev/full: No space left on device" mapsyms export --format sym -o /dev/full "$sample"
  check export_device 0 "$(text '')" "" mapsyms export --format elf -o /dev/null "$sample"
  # -o as a shell's redirect treats files: through a link, keeping modes, refusing what it would
  mkdir "$exported/out"
  printf 'earlier\n' >"$exported/out/target"
  ln -s target "$exported/out/link"
  check export_through_link 0 "$(text '')" "" mapsyms export --format sym -o "$exported/out/link" "$sample"
  if [ -L "$exported/out/link" ] && cmp -s "$exported/out/target" "$(golden export.sym)"; then
    passed=$((passed + 1)); else echo "export_through_link: the link or its file"; failed=$((failed + 1)); fi
  check report_through_link 0 "$(text '')" "" mapsyms report -o "$exported/out/link" "$sample"
  if [ -L "$exported/out/link" ] && grep -q '<html' "$exported/out/target"; then
    passed=$((passed + 1)); else echo "report_through_link: the link or its file"; failed=$((failed + 1)); fi
  printf 'earlier\n' >"$exported/out/private"
  chmod 600 "$exported/out/private"
  check export_keeps_mode 0 "$(text '')" "" mapsyms export --format sym -o "$exported/out/private" "$sample"
  if [ "$(stat -c %a "$exported/out/private")" = 600 ]; then passed=$((passed + 1)); else
    echo "export_keeps_mode: $(stat -c %a "$exported/out/private")"; failed=$((failed + 1)); fi
  for folder in "$exported/out/" "$exported/out/." .; do
    check "export_folder_$folder" 3 "$(text '')" "mapsyms: cannot write $folder: Is a directory" mapsyms export --format sym -o "$folder" "$sample"
  done
  printf 'earlier\n' >"$exported/out/read_only"
  chmod 444 "$exported/out/read_only"
  as_user=()  # root may write anything: the refusal is tried as an ordinary user
  if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    chmod 777 "$exported/out" && chown nobody "$exported/out/read_only"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  if [ "$(id -u)" != 0 ] || [ ${#as_user[@]} -gt 0 ]; then
    "${as_user[@]}" "$bin/mapsyms" export --format sym -o "$exported/out/read_only" "$sample" 2>"$err"
    status=$?
    if [ $status = 3 ] && grep -qF "cannot write $exported/out/read_only: Permission denied" "$err" &&
      [ "$(cat "$exported/out/read_only")" = earlier ]; then passed=$((passed + 1)); else
      echo "export_read_only: status $status, $(cat "$err")"; failed=$((failed + 1)); fi
  fi
  odd_title=$(printf 'a\303\251\342\202\254\360\237\230\200\355\240\200\364\220\200\200\340\200\200\377<&>"\047')
  "$bin/mapsyms" report --title "$odd_title" "$sample" >"$exported/odd.html"
  want='<title>aé€😀�����������&lt;&amp;&gt;&quot;&#39;</title>'
  if grep -qF -- "$want" "$exported/odd.html"; then passed=$((passed + 1)); else
    echo "report_odd_title: $(grep '<title>' "$exported/odd.html")"; failed=$((failed + 1)); fi
fi
rm -rf "$exported"

# ---- report ----
reported=$(mktemp -d)
# check_page NAME GOLDEN ARGS...: the page of mapsyms report ARGS, its style and script (files of
# their own, put in at build time) left out, against GOLDEN; and the same page written with -o.
check_page() {
  local name=$1 want=$2
  shift 2
  local page
  page=$(mktemp -p "$reported")
  $emulator "$bin/mapsyms$exe" report "$@" >"$page" 2>"$err"
  local status=$?
  sed -e '/^<style>$/,/^<\/style>$/{//!d;}' -e '/^<script>$/,/^<\/script>$/{//!d;}' "$page" >"$page.part"
  [ -n "${K8MAP_REGENERATE:-}" ] && cp "$page.part" "$want"
  $emulator "$bin/mapsyms$exe" report -o "$page.written" "$@" 2>>"$err"
  if [ $status -eq 0 ] && cmp -s "$page.part" "$want" && cmp -s "$page" "$page.written"; then
    passed=$((passed + 1))
  else
    echo "$name: status $status, or the page differs from $want or from the one written with -o:"
    diff "$want" "$page.part" | head -10; head -3 "$err"; failed=$((failed + 1))
  fi
  rm -f "$page" "$page.part" "$page.written"
}
check_page report_sample "$(golden report_sample.html)" "$sample"
check_page report_diff "$(golden report_diff.html)" --all-kinds --region-gap 0x100 --title 'A <title> & more' "$sample" "$next"
check report_failed_map 3 "$(text '')" "missing_line_end.map:3: syntax error" mapsyms report -o "$reported/failed.html" "$data/missing_line_end.map"
check report_failed_new 3 "$(text '')" "missing_line_end.map:3: syntax error" mapsyms report -o "$reported/failed.html" "$sample" "$data/missing_line_end.map"
check report_unwritable 3 "$(text '')" "mapsyms: cannot write $reported/absent/r.html: " mapsyms report -o "$reported/absent/r.html" "$sample"
if [ -z "$(ls "$reported")" ]; then passed=$((passed + 1)); else
  echo "report_no_partial_file: left $(ls "$reported")"; failed=$((failed + 1)); fi
check report_three 2 "$(text '')" "mapsyms: report takes one map, or two to compare" mapsyms report "$sample" "$sample" "$next"
check report_gap 2 "$(text '')" "mapsyms: --region-gap takes a number" mapsyms report --region-gap 1x "$sample"
check report_help 0 "$(golden report_help.txt)" "" mapsyms report --help
rm -rf "$reported"

# ---- check ----
check check_findings 3 "$(golden check_findings.txt)" "" mapsyms check "$data/check_findings.map"
check check_clean 0 "$(text "$sample: parse succeeded, 12 records\n")" "" mapsyms check "$sample"
check check_names 3 "$(golden check_names.txt)" "" mapsyms check "$data/check_names.map"
check check_reasons 3 "$(golden check_reasons.txt)" "" mapsyms check "$data"/check/*.map
check check_missing 3 "$(text '')" "mapsyms: cannot read $data/absent.map (" mapsyms check "$data/absent.map"
check check_nothing 2 "$(text '')" "mapsyms: no map file given" mapsyms check
check check_last_line 3 "$(golden check_last_line.txt)" "" mapsyms check "$data/missing_line_end.map"

# Every byte class at every field boundary of a symbol line, one file each: check gives a
# finding for each symbol-like line the library made no symbol of, and none for the others;
# the reasons are the golden file's.
cases=$(mktemp -d)
(
  cd "$cases" || exit 1
  set -f
  base="  main Addr. g 0x10"
  bytes="tab:\\t ff:\\f vt:\\v nul:\\000 dot:. dollar:\$ at:@ hyphen:- plus:+ paren:( star:* \
bracket:[ colon:: nbsp:\\240 utf8_nbsp:\\302\\240 high:\\200 letter:x digit:7 underscore:_ space:\\040"
  # position name:index to insert at, or =index to put the byte instead of the blank there
  positions="line_start:0 name_start:2 in_name:4 after_name:6 kind_start:7 after_kind:12 \
scope_start:13 after_scope:14 value_start:15 in_value:18 after_value:19 name_kind=6 \
kind_scope=12 scope_value=14"
  for byte in $bytes; do
    for position in $positions; do
      name=${byte%%:*}-${position%%[:=]*}
      at=${position#*[:=]}
      rest=$((at + 1))
      case $position in *=*) ;; *) rest=$at ;; esac
      printf -- "${base:0:$at}${byte#*:}${base:$rest}\\n" >"$name.map"
    done
  done
  printf "$base \\t*\\n" >"space-trailing.map"
)
(cd "$cases" && $emulator "$bin/mapsyms$exe" check ./*.map >"$out.check" 2>/dev/null
 $emulator "$bin/mapsyms$exe" --all-kinds --format csv ./*.map >"$out.symbols" 2>/dev/null)
if [ -n "${K8MAP_REGENERATE:-}" ]; then cp "$out.check" "$g/check_boundaries.txt"; fi
if cmp -s "$out.check" "$g/check_boundaries.txt"; then passed=$((passed + 1)); else
  echo "check_boundaries: output differs:"; diff "$g/check_boundaries.txt" "$out.check" | head -20
  failed=$((failed + 1))
fi
wrong=""
for file in "$cases"/*.map; do
  name=./$(basename "$file")
  symbols=$(grep -c "^$name," "$out.symbols")
  findings=$(grep -c "^$name:[0-9]*:[0-9]*: " "$out.check")
  first=$(head -c 2 "$file" | od -An -tx1 | tr -d ' \n')
  case $first in 20*|09*|0c*|0b*|a0*|c2a0) like=1 ;; *) like=0 ;; esac
  if [ "$like" = 1 ] && [ "$symbols" = 0 ]; then want=1; else want=0; fi
  [ $((findings > 0)) = "$want" ] || wrong="$wrong $name($symbols symbols, $findings findings)"
done
if [ -z "$wrong" ]; then passed=$((passed + 1)); else
  echo "check_boundaries_findings: a finding missing or too many:$wrong"; failed=$((failed + 1))
fi
rm -rf "$cases" "$out.check" "$out.symbols"

check tokens 0 "$golden/worked_example.tokens" "" maptokens "$data/worked_example.map"
check tokens_escapes 0 "$golden/escapes.tokens" "" maptokens "$data/escapes.map"
check tokens_missing 3 "$(text '')" "maptokens: can't open file $data/absent.map (" maptokens "$data/absent.map"
check tokens_help 0 "$golden/maptokens_help.txt" "" maptokens --help
check tokens_help_short 0 "$golden/maptokens_help.txt" "" maptokens -h
check tokens_version 0 "$(text "maptokens $version\\n")" "" maptokens -V
check tokens_version_long 0 "$(text "maptokens $version\\n")" "" maptokens --version
check tokens_dashes 3 "$(text '')" "maptokens: can't open file --help (" maptokens -- --help
check tokens_bad_option 2 "$(text '')" "maptokens: unknown option --bogus" maptokens --bogus "$sample"
check tokens_no_file 2 "$(text '')" "maptokens: no map file given" maptokens
check tokens_two_files 2 "$(text '')" "maptokens: one map file at a time" maptokens "$sample" "$sample"
long_line=$(mktemp)
printf '  a Addr. g 0x1\n%9000s\n' x >"$long_line"
check tokens_fatal 3 "$(text '1\tNAME\t"a"\t"a"\n1\tADDRESS_KIND\t"Addr."\n1\tSCOPE\t"g"\n1\tHEX_VALUE\t"0x1"\t0x00000001\n2\tENTRY_LINE_END\t"\\n"\n')" "maptokens: $long_line:2: token too large, exceeds YYLMAX" \
  maptokens "$long_line"
rm -f "$long_line" "$out.expected"
strip_cr=1 check c_host 0 "$(text '0x00001000\tmain\n0x0000102A\tstart_loop\n0x00002000\tInitSerialPort2AndBuffers\n3 records\n4 symbols of every kind\n0x1062 is start_loop+0x38\n')" \
  "" host_example "$data/worked_example.map"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
