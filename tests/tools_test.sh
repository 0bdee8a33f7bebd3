#!/usr/bin/env bash
# Golden-output tests of the command-line programs. The same cases run on the Linux build and,
# through Wine, on the Windows build, against the same golden files.
# usage: tools_test.sh BIN_DIR SOURCE_DIR [EMULATOR]
set -u
bin=$1
src=$2
emulator=${3:-}
exe=""
[ -n "$emulator" ] && exe=".exe"
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

passed=0
failed=0
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

# check NAME EXPECTED_STATUS EXPECTED_STDOUT_FILE EXPECTED_STDERR_TEXT PROGRAM ARGS...
check() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4 program=$5
  shift 5
  # shellcheck disable=SC2086
  $emulator "$bin/$program$exe" "$@" >"$out" 2>"$err"
  local status=$?
  # A plain C host writes through a text-mode stream on Windows: compare its lines without CR.
  [ "${strip_cr:-0}" = 1 ] && { tr -d '\r' <"$out" >"$out.plain"; mv "$out.plain" "$out"; }
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

sample=$src/examples/sample.map
data=$src/tests/data
golden=$src/tests/golden
check text 0 "$golden/sample.txt" "" mapsyms "$sample"
check text_explicit 0 "$golden/sample.txt" "" mapsyms --format text "$sample"
check csv 0 "$golden/sample.csv" "" mapsyms --format csv "$sample"
check json 0 "$golden/sample.json" "" mapsyms --format json "$sample"
check count 0 "$(text '12\n')" "" mapsyms --count "$sample"
check lookup_inside 0 "$(text 'uart_putc+0x10\n')" "" mapsyms --lookup 0x1050 "$sample"
check lookup_exact 0 "$(text 'timer_isr\n')" "" mapsyms --lookup 2000 "$sample"
check lookup_first_of_equal 0 "$(text 'sym+0x3\n')" "" mapsyms --lookup 8 "$data/duplicates.map"
check lookup_below_all 1 "$(text '')" "" mapsyms --lookup 0xFFF "$data/worked_example.map"
check name 0 "$(text '0x00000005\tsym\n0x00000005\tsym\n')" "" mapsyms --name sym "$data/duplicates.map"
check two_files 0 "$(text '6\n')" "" mapsyms --count "$data/worked_example.map" "$data/duplicates.map"
check version 0 "$(text 'kestrum8_map.dll Ver.1.0\n')" "" mapsyms --version
check missing_file 1 "$(text '')" "can't open file $data/absent.map" mapsyms "$data/absent.map"
check syntax_error 1 "$(text '0x00000001\ta\n0x00000002\tb\n')" \
  "$data/missing_line_end.map:3: syntax error. \"\" is invalid." mapsyms "$data/missing_line_end.map"
check bad_option 2 "$(text '')" "usage: mapsyms" mapsyms --bogus "$sample"
check bad_address 2 "$(text '')" "usage: mapsyms" mapsyms --lookup xyz "$sample"
check no_file 2 "$(text '')" "usage: mapsyms" mapsyms
check tokens 0 "$golden/worked_example.tokens" "" maptokens "$data/worked_example.map"
check tokens_escapes 0 "$golden/escapes.tokens" "" maptokens "$data/escapes.map"
check tokens_missing 1 "$(text '')" "can't open file $data/absent.map" maptokens "$data/absent.map"
long_line=$(mktemp)
printf '  a Addr. g 0x1\n%9000s\n' x >"$long_line"
check tokens_fatal 2 "$(text '1\tNAME\t"a"\t"a"\n1\tADDRESS_KIND\t"Addr."\n1\tSCOPE\t"g"\n1\tHEX_VALUE\t"0x1"\t0x00000001\n2\tENTRY_LINE_END\t"\\n"\n')" "maptokens: token too large, exceeds YYLMAX" \
  maptokens "$long_line"
rm -f "$long_line" "$out.expected"
strip_cr=1 check c_host 0 "$(text '0x00001000\tmain\n0x0000102A\tstart_loop\n0x00002000\tInitSerialPort2AndBuffers\n3 records\n')" \
  "" host_example "$data/worked_example.map"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
