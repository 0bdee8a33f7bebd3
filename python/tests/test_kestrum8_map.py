# SPDX-License-Identifier: MIT
"""The kestrum8_map package as installed: the same symbols and messages as the library's C
functions, every error path, threads, lifetimes, pickling, and the README's example session.

K8MAP_SOURCE_DIR names the project (its test maps and README); K8MAP_LIBRARY the built shared
library, whose C functions the answers are compared with (through ctypes)."""

import array
import collections.abc
import concurrent.futures
import copy
import ctypes
import doctest
import json
import mmap
import os
import pickle
import pydoc
import re
import struct
import subprocess
from pathlib import Path

import pytest

import kestrum8_map as k8

SOURCE = Path(os.environ.get("K8MAP_SOURCE_DIR", Path(__file__).resolve().parents[2]))
SAMPLE = SOURCE / "examples" / "sample.map"
TEST_MAPS = sorted((SOURCE / "tests" / "data").glob("*.map")) + [SAMPLE]


def test_the_installed_package_is_tested():
    installed = Path(k8.__file__).resolve()
    assert not installed.is_relative_to(SOURCE / "python" / "kestrum8_map"), installed
    assert k8.__version__ == re.search(r"project\(kestrum8_map VERSION ([0-9.]+)", (SOURCE / "CMakeLists.txt").read_text()).group(1)


# ---- The same as the C functions ----

class CSymbol(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("value", ctypes.c_uint32), ("line", ctypes.c_uint32),
                ("kind", ctypes.c_uint8), ("scope", ctypes.c_char), ("bit", ctypes.c_int8)]


@pytest.fixture(scope="module")
def c_library():
    path = os.environ.get("K8MAP_LIBRARY")
    if not path:
        pytest.skip("K8MAP_LIBRARY names no built library")
    lib = ctypes.CDLL(path)
    lib.CreateSymbolTable.restype = ctypes.c_void_p
    lib.FreeSymbolTable.argtypes = [ctypes.c_void_p]
    lib.ParseMapFile.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    lib.GetSymbolCount.argtypes = [ctypes.c_void_p]
    lib.GetSymbolCount.restype = ctypes.c_size_t
    lib.GetSymbols.argtypes = [ctypes.c_void_p]
    lib.GetSymbols.restype = ctypes.POINTER(CSymbol)
    lib.GetSymbolTableError.argtypes = [ctypes.c_void_p]
    lib.GetSymbolTableError.restype = ctypes.c_char_p
    lib.GetKindName.restype = ctypes.c_char_p
    return lib


def c_parse(lib, path):
    table = lib.CreateSymbolTable()
    try:
        result = lib.ParseMapFile(table, os.fsencode(path))
        symbols = lib.GetSymbols(table)
        listed = [(s.name.decode(), s.value, lib.GetKindName(s.kind).decode(), s.scope.decode(),
                   None if s.bit < 0 else s.bit, s.line)
                  for s in (symbols[i] for i in range(lib.GetSymbolCount(table)))]
        return result, lib.GetSymbolTableError(table).decode().rstrip("\n"), listed
    finally:
        lib.FreeSymbolTable(table)


@pytest.mark.parametrize("path", TEST_MAPS, ids=lambda p: p.name)
def test_the_same_symbols_and_messages_as_the_c_functions(c_library, path):
    result, message, expected = c_parse(c_library, path)
    try:
        table, got_message = k8.parse(path), ""
    except k8.MapError as error:
        table, got_message = error.table, error.message
        assert error.path == str(path)
    assert (0 if not got_message else -1, got_message) == (result, message)
    assert [(s.name, s.value, s.kind, s.scope, s.bit, s.line) for s in table] == expected
    try:  # the same bytes in memory read the same
        assert list(k8.parse_text(path.read_bytes(), name=str(path))) == list(table) and result == 0
    except k8.MapError as error:
        assert (error.message, list(error.table)) == (message, list(table))


# ---- Errors ----

def test_files_that_cannot_be_opened_raise_the_systems_error(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        k8.parse(tmp_path / "absent.map")
    assert missing.value.filename == str(tmp_path / "absent.map")
    with pytest.raises(IsADirectoryError):
        k8.parse(tmp_path)
    if os.geteuid() != 0:  # nothing is refused to root
        locked = tmp_path / "locked.map"
        locked.write_text(" a Addr. g 0x1\n")
        locked.chmod(0)
        with pytest.raises(PermissionError):
            k8.parse(locked)


@pytest.mark.parametrize("text, name, line, code, token, message", [
    (" a Addr. g 0x1\n b Addr. g 0x2 x.o\n", "m.map", 2, 3, b"\n",
     'm.map:3: syntax error. "\n" is invalid.'),
    ("", "m.map", 1, 3, b"", 'm.map:1: syntax error. "" is invalid.'),
    (" a Addr. g 0x1\n " + "x" * 9000 + "\n", "m.map", 2, 4, b"",
     "m.map:2: token too large, exceeds YYLMAX"),
    (" a Addr. g 0x1\n b Addr. g 0x2 x.o\n", "p" * 260, 2, 3, b"\n", "p" * 254),
])
def test_maps_that_do_not_parse_raise_map_error(text, name, line, code, token, message):
    with pytest.raises(k8.MapError) as failure:
        k8.parse_text(text, name=name)
    error = failure.value
    assert isinstance(error, ValueError)
    one_line = message.replace("\n", "\\n")
    assert (error.message, error.path, error.line, str(error)) == (message, name, line, one_line)
    assert (error.code, error.token) == (code, token)
    assert [s.name for s in error.table] == (["a"] if text.startswith(" a") else [])


def test_bad_arguments_raise_type_or_value_errors():
    table = k8.parse(SAMPLE)
    cases = [
        (TypeError, lambda: k8.parse(42)),
        (ValueError, lambda: k8.parse("a\0b")),
        (TypeError, lambda: k8.parse_text(42)),
        (ValueError, lambda: k8.parse_text("caf\u00e9")),
        (TypeError, lambda: k8.parse_text(b"", name=b"n")),
        (TypeError, lambda: table.lookup("0x10")),
        (TypeError, lambda: table.lookup(True)),
        (ValueError, lambda: table.lookup(-1)),
        (ValueError, lambda: table.lookup(1 << 32)),
        (ValueError, lambda: table.lookup(1, max_offset=-1)),
        (TypeError, lambda: table.lookup_many([1, "2"])),
        (ValueError, lambda: table.lookup_many([1 << 40])),
        (TypeError, lambda: table.lookup_many(5)),
        (IndexError, lambda: table[len(table)]),
        (IndexError, lambda: table[-len(table) - 1]),
        (TypeError, lambda: table["name"]),
        (TypeError, lambda: table.find(5)),
        (ValueError, lambda: k8.Symbol("a", 1, "ADDR", "g")),
        (ValueError, lambda: k8.Symbol("a", 1, "Addr.", "x")),
    ]
    for error, call in cases:
        with pytest.raises(error):
            call()


# ---- Tables and symbols ----

def test_a_table_reads_as_a_sequence():
    table = k8.parse(SAMPLE)
    symbols = list(table)
    assert len(table) == len(symbols) == 19
    assert table[0] == symbols[0] and table[-1] == symbols[-1]
    assert table[10:20:3] == symbols[10:20:3]
    bit = table.find("uart_tx_busy")
    assert (bit.kind, bit.scope, bit.bit, bit.line, bit.is_address) == ("bit", "s", 3, 19, False)
    assert table.find("absent") is None
    assert repr(table.find("uart_init")) == "Symbol('uart_init', 0x00001000, 'Addr.', 'g', line=15)"
    assert repr(bit) == "Symbol('uart_tx_busy', 0x20000020, 'bit', 's', bit=3, line=19)"


def test_lookups_one_and_many():
    table = k8.parse(SAMPLE)
    assert table.lookup(0x1062) == (table.find("uart_wait_tx"), 6)
    assert table.lookup(0x20001F00, max_offset=0x1000) is None
    addresses = [0x1062, 0x20001F00, 0x0, 0x203E]
    expected = [table.lookup(a, max_offset=0x1000) for a in addresses]
    for given in (addresses, array.array("I", addresses), memoryview(array.array("I", addresses))):
        answers = table.lookup_many(given, max_offset=0x1000)
        assert list(answers) == expected and answers.found == 3


def test_symbols_are_values():
    symbol = k8.parse(SAMPLE)[0]
    with pytest.raises(AttributeError):
        symbol.name = "other"
    copy = k8.Symbol(symbol.name, symbol.value, symbol.kind, symbol.scope, symbol.bit, symbol.line)
    assert copy == symbol and hash(copy) == hash(symbol) and len({copy, symbol}) == 1
    assert copy != k8.Symbol(symbol.name, symbol.value + 1, symbol.kind, symbol.scope)
    assert pickle.loads(pickle.dumps(list(k8.parse(SAMPLE)))) == list(k8.parse(SAMPLE))


def test_a_table_says_why_it_cannot_be_pickled():
    with pytest.raises(TypeError, match="cannot be pickled"):
        pickle.dumps(k8.parse(SAMPLE))


def test_a_table_outlives_what_it_was_parsed_from():
    data = bytearray(SAMPLE.read_bytes())
    table = k8.parse_text(data, name="sample")
    expected = list(table)
    data[:] = b"\0" * len(data)
    del data
    assert list(table) == expected and table.lookup(0x1062)[1] == 6


def test_maps_parse_on_several_threads_at_once(tmp_path):
    maps = []
    for n in range(6):
        path = tmp_path / f"m{n}.map"
        path.write_text("".join(f"  s{n}_{i} Addr. g 0x{i * 16:X}\n" for i in range(20000)))
        maps.append(path)
    alone = [list(k8.parse(path)) for path in maps]
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        tables = list(pool.map(k8.parse, maps * 2))
    assert [list(t) for t in tables] == alone * 2


# ---- What Python users expect ----

ADDRESSES = [0x1062, 0x203E, 0x0, 0x105C, 0x7FFF]


class Index:
    def __init__(self, n):
        self.n = n

    def __index__(self):
        return self.n


def test_any_integer_like_input_and_no_byte_buffers():
    np = pytest.importorskip("numpy")
    table = k8.parse(SAMPLE)
    want = [table.lookup(a) for a in ADDRESSES]
    for dtype in ["u4", "<u4", ">u4", "i4", ">i8", "u8", "i2", ">u2", "int64"]:
        assert list(table.lookup_many(np.array(ADDRESSES, dtype=dtype))) == want, dtype
    assert list(table.lookup_many(np.array(ADDRESSES, dtype="u4")[::2])) == want[::2]
    for scalar in (np.uint32(0x1062), np.int64(0x1062), Index(0x1062)):
        assert table.lookup(scalar) == want[0]
    assert table[np.int64(0)] == table[0] and table[Index(-1)] == table[-1]
    cases = [
        (ValueError, lambda: table.lookup_many(np.array([-1], dtype="i4"))),
        (ValueError, lambda: table.lookup_many(np.array([1 << 33], dtype="u8"))),
        (TypeError, lambda: table.lookup_many(np.array([1.5]))),
        (TypeError, lambda: table.lookup_many(struct.pack("<I", 0x1062))),
        (TypeError, lambda: table.lookup_many(bytearray(4))),
        (TypeError, lambda: table.lookup_many(memoryview(array.array("I", [1])).cast("B"))),
        (TypeError, lambda: table.lookup_many(array.array("B", [1, 2]))),
        (ValueError, lambda: k8.Symbol("x", -1, "Addr.", "g")),
        (TypeError, lambda: k8.Symbol("x", "1", "Addr.", "g")),
        (ValueError, lambda: table.lookup(1, kinds="Variable")),
    ]
    for error, call in cases:
        with pytest.raises(error):
            call()


def test_bulk_answers_and_kinds():
    np = pytest.importorskip("numpy")
    table = k8.parse(SAMPLE)
    assert list(table.values()) == [s.value for s in table]
    assert [k8.ALL_KINDS[k - 1] for k in table.kinds()] == [s.kind for s in table]
    assert table.names() == [s.name for s in table]
    assert np.frombuffer(table.values(), dtype=np.uint32)[1] == table[1].value
    many = np.array(ADDRESSES + [0x20000021], dtype=np.uint32)
    for kinds in (None, "bit", ["Var.", "bit"], k8.ALL_KINDS):
        for bound in (0x10000, 0x10, None):
            indices, offsets = table.lookup_many(many, as_indices=True, kinds=kinds, max_offset=bound)
            hits = [table.lookup(int(a), kinds=kinds, max_offset=bound) for a in many]
            assert list(indices) == [table.index(h.symbol) if h else -1 for h in hits]
            assert list(offsets) == [h.offset if h else 0 for h in hits]
            assert list(table.lookup_many(many, kinds=kinds, max_offset=bound)) == hits
    assert table.lookup(0x20000021, kinds="bit") == (table.find("uart_tx_busy"), 1)
    assert [s.kind for s in table.of_kind(["Var.", "EQU"])] == [s.kind for s in table if s.kind in ("Var.", "EQU")]
    doubled = k8.parse_text(b" a Addr. g 0x1\n b Var. g 0x2\n a EQU a 0x3\n")
    assert [s.kind for s in doubled.find_all("a")] == ["Addr.", "EQU"] and doubled.find_all("c") == []


def test_kinds_are_the_public_headers():
    header = (SOURCE / "include" / "kestrum8_map.h").read_text()
    keywords = tuple(re.findall(r'"([^"]+)"', re.search(r"#define K8MAP_KIND_KEYWORDS (.*)", header).group(1)))
    assert k8.ALL_KINDS == keywords
    text = "".join(f" s{k} {keyword} g 0x{k:X}\n" for k, keyword in enumerate(keywords, 1))
    table = k8.parse_text(text.encode())
    assert [s.kind for s in table] == list(keywords)
    hits = table.lookup_many([s.value for s in table], max_offset=0)  # the address kinds answer
    assert k8.ADDRESS_KINDS == tuple(s.kind for s in table if s.is_address) == tuple(h.symbol.kind for h in hits if h)
    with pytest.raises(ValueError, match=", ".join(map(re.escape, keywords))):
        table.lookup(1, kinds="addr")


def test_lookups_are_bounded_by_default():
    table = k8.parse(SAMPLE)
    assert table.lookup(0xFFFFFFFF) is None
    assert table.lookup(0xFFFFFFFF, max_offset=None).symbol == table.find("watchdog_kick")
    hit = table.lookup(0x1062)
    assert isinstance(hit, k8.Hit) and (hit.symbol.name, hit.offset) == ("uart_wait_tx", 6)


def test_errors_travel():
    with pytest.raises(k8.Error) as failure:
        k8.parse_text(b" a Addr. g 0x1\n b Addr. g 0x2 x.o\n", name="m.map")
    error = failure.value
    assert isinstance(error, k8.MapError) and "\n" not in str(error)
    for travelled in (pickle.loads(pickle.dumps(error)), copy.copy(error), copy.deepcopy(error)):
        assert type(travelled) is k8.MapError and str(travelled) == str(error)
        assert (travelled.message, travelled.path, travelled.line, travelled.code, travelled.token) == \
            (error.message, error.path, error.line, error.code, error.token)
    with concurrent.futures.ProcessPoolExecutor(max_workers=1) as pool:
        with pytest.raises(k8.MapError) as remote:
            pool.submit(k8.parse_text, b" a+ Addr. g 0x1\n\n", "r.map").result()
    assert remote.value.line == 2 and remote.value.table is None


def test_paths_texts_and_tables_as_python_has_them(tmp_path):
    odd = tmp_path / os.fsdecode(b"\xff.map")
    odd.write_bytes(SAMPLE.read_bytes())
    for path in (bytes(odd), os.fsencode(odd), odd):
        assert len(k8.parse(path)) == 19
    np = pytest.importorskip("numpy")
    with open(SAMPLE, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        texts = [mapped, array.array("B", SAMPLE.read_bytes()), np.frombuffer(SAMPLE.read_bytes(), np.uint8)]
        assert all(len(k8.parse_text(t)) == 19 for t in texts)
    table = k8.parse(SAMPLE)
    assert table.find("uart_init\0junk") is None and table.find("uart_init") is not None
    assert copy.copy(table) is table and copy.deepcopy(table) is table
    assert isinstance(table, collections.abc.Sequence) and table.index(table[3]) == 3
    answers = table.lookup_many(ADDRESSES)
    assert isinstance(answers, collections.abc.Sequence) and list(iter(answers)) == answers[:]
    assert answers[1:3] == [answers[1], answers[2]] and repr(answers).startswith("<kestrum8_map.Lookups")
    assert "anonymous" not in pydoc.render_doc(k8.Table)
    noted = k8.parse_text(b" a ADDR. g 0x1\n", notes=True)
    assert noted.notes == (k8.Note(1, 4, k8.NoteReason.KIND_CASE, noted.notes[0].text),)
    assert noted.notes is noted.notes and k8.parse(SAMPLE).notes == ()


@pytest.mark.parametrize("protocol", range(pickle.HIGHEST_PROTOCOL + 1))
def test_symbols_pickle_with_every_protocol(protocol):
    symbol = k8.Symbol("x", 1, "Addr.", "g", 3, 7)
    assert pickle.loads(pickle.dumps(symbol, protocol)) == symbol == copy.copy(symbol)


def test_note_reasons_and_error_codes_are_the_headers():
    header = (SOURCE / "include" / "kestrum8_map.h").read_text()
    for enum_type, prefix in ((k8.NoteReason, "NOTE"), (k8.ErrorCode, "ERROR")):
        named = {name: int(value) for name, value in
                 re.findall(rf"#define K8MAP_{prefix}_(\w+) (\d+)\b", header)
                 if name not in ("LAST", "SIZE")}
        assert {member.name: member.value for member in enum_type} == named
    with pytest.raises(k8.MapError) as raised:
        k8.parse_text(b"  main Addr. g 0x1000\n  head+ Addr. g 0x2000\n")
    assert raised.value.code is k8.ErrorCode.SYNTAX


# ---- The README's example session ----

def test_the_readme_example_session_runs():
    readme = (SOURCE / "README.md").read_text()
    session = re.search(r"```pycon\n(.*?)```", readme, re.S).group(1)
    test = doctest.DocTestParser().get_doctest(session, {}, "README", "README.md", 0)
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    cwd = os.getcwd()
    try:
        os.chdir(SOURCE)
        runner.run(test)
    finally:
        os.chdir(cwd)
    assert runner.failures == 0 and runner.tries > 5


# ---- Exports: the same bytes as mapsyms export ----

MAPSYMS = Path(os.environ.get("K8MAP_LIBRARY", "")).parent / "mapsyms"


@pytest.mark.parametrize("format, python_options, mapsyms_options", [
    ("elf", {"machine": "arm", "sizes": True}, ["--machine", "arm", "--sizes"]),
    ("elf", {"machine": 20, "big_endian": True, "kinds": ["Func.", "Var."], "scopes": "g"},
     ["--machine", "14", "--big-endian", "--kind", "Func.", "--kind", "Var.", "--scope", "g"]),
    ("ld", {}, []),
    ("h", {"kinds": ["EQU", "Func."], "names": ["*_*", "main"]},
     ["--kind", "EQU", "--kind", "Func.", "--name", "*_*", "--name", "main"]),
    ("sym", {"kinds": "Addr."}, ["--kind", "Addr."]),
])
def test_export_writes_what_mapsyms_writes(tmp_path, format, python_options, mapsyms_options):
    table = k8.parse(str(SAMPLE))
    (tmp_path / "python").mkdir()
    (tmp_path / "mapsyms").mkdir()
    ours, theirs = tmp_path / "python" / "symbols.out", tmp_path / "mapsyms" / "symbols.out"
    assert table.export(ours, format, **python_options) == 0
    subprocess.run([str(MAPSYMS), "export", "--format", format, *mapsyms_options, "-o",
                    str(theirs), str(SAMPLE)], check=True)
    assert ours.read_bytes() == theirs.read_bytes()


def test_export_images_duplicates_and_failures(tmp_path):
    table = k8.parse_text(b"  a Func. g 0x100\n  a Func. g 0x104\n  b loc. s 0x102\n", "dup.map")
    image = tmp_path / "rom.bin"
    image.write_bytes(bytes(8))
    assert table.export(tmp_path / "dup.ld", "ld") == 1
    assert "/* a = 0x00000104 left out: given before as 0x00000100 */" in (tmp_path / "dup.ld").read_text()
    table.export(tmp_path / "rom.elf", images=[(image, 0x100)])
    assert bytes(8) in (tmp_path / "rom.elf").read_bytes()
    failures = [
        (FileNotFoundError, {"images": [(tmp_path / "absent.bin", 0)]}, tmp_path / "x.elf"),
        (ValueError, {"images": [(image, 0), (image, 4)]}, tmp_path / "x.elf"),
        (FileNotFoundError, {}, tmp_path / "absent" / "x.elf"),
        (IsADirectoryError, {}, tmp_path),
        (ValueError, {"machine": "z80"}, tmp_path / "x.elf"),
    ]
    for error, options, path in failures:
        with pytest.raises(error):
            table.export(path, **options)
    with pytest.raises(ValueError, match="unknown format"):
        table.export(tmp_path / "x", "coff")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["dup.ld", "rom.bin", "rom.elf"]


def test_export_and_report_arguments_are_checked(tmp_path):
    table = k8.parse(str(SAMPLE))
    other = tmp_path / "x.elf"
    cases = [
        (ValueError, "unknown scope 'G'", lambda: table.export(other, scopes="G")),
        (ValueError, "unknown scope 'l'", lambda: table.export(other, scopes="global")),
        (TypeError, "names must be", lambda: table.export(other, names=123)),
        (TypeError, "images must be a list of \\(path, address\\) pairs",
         lambda: table.export(other, images=[("x",)])),
        (TypeError, "title must be a str, not int", lambda: table.report(other, title=123)),
        (TypeError, "new must be a Table, not str", lambda: table.report(other, new="x")),
        (IndexError, "out of range", lambda: table[2**70]),
        (ValueError, "thumb is for machine 'arm'", lambda: table.export(other, thumb=True)),
    ]
    for error, message, call in cases:
        with pytest.raises(error, match=message):
            call()
    assert not other.exists()
    table.export(tmp_path / "globals.sym", "sym", scopes=["g"])
    assert table.export(tmp_path / "g.sym", "sym", scopes="g") == 0
    assert (tmp_path / "globals.sym").read_bytes() == (tmp_path / "g.sym").read_bytes()
    odd = os.fsencode(tmp_path) + b"/caf\xe9.h"  # not UTF-8
    table.export(odd, "h")
    table.report(odd + b".html")
    assert os.path.exists(odd) and os.path.exists(odd + b".html")


def test_cut_message_is_still_a_map_error(tmp_path):
    # The message begins with the path and is cut at 255 bytes: with one of the two paddings,
    # inside a two-byte character.
    said = []
    for padding in ("", "x"):
        deep = tmp_path / (padding + "\u00e9" * 120)
        deep.mkdir()
        bad = deep / "bad.map"
        bad.write_bytes(b"  main Func. g 0x10\n  lone\n")
        with pytest.raises(k8.MapError) as raised:
            k8.parse(str(bad))
        said.append(str(raised.value))
    assert all(message.startswith(str(tmp_path / "x")[:-1]) for message in said)
    assert [message.endswith("\ufffd") for message in said].count(True) == 1


def test_report_writes_what_mapsyms_writes(tmp_path):
    old, new = SAMPLE, SOURCE / "tests" / "data" / "sample_next.map"
    cases = [({}, []), ({"new": k8.parse(str(new)), "kinds": k8.ALL_KINDS, "region_gap": 0x100,
                         "title": "A <title> & more"},
                        ["--all-kinds", "--region-gap", "100", "--title", "A <title> & more"])]
    for number, (options, arguments) in enumerate(cases):
        ours, theirs = tmp_path / f"python{number}.html", tmp_path / f"mapsyms{number}.html"
        k8.parse(str(old)).report(ours, **options)
        maps = [str(old)] + ([str(new)] if "new" in options else [])
        subprocess.run([str(MAPSYMS), "report", *arguments, "-o", str(theirs), *maps], check=True)
        assert ours.read_bytes() == theirs.read_bytes()
    with pytest.raises(FileNotFoundError):
        k8.parse(str(old)).report(tmp_path / "absent" / "r.html")


SIZES_OLD = SOURCE / "tests" / "data" / "sizes_old.map"
SIZES_NEW = SOURCE / "tests" / "data" / "sizes_new.map"
MEMORIES = ["FLASH=0x08000000,64K", "RAM=0x20000000,0x20000"]


def mapsyms_json(*args):
    done = subprocess.run([str(MAPSYMS), *args, "--format", "json"], capture_output=True, text=True)
    return json.loads(done.stdout)


def test_sizes_usage_and_growth_are_what_the_commands_print():
    old, new = k8.parse(SIZES_OLD), k8.parse(SIZES_NEW)
    memory = [a for m in MEMORIES for a in ("--memory", m)]
    sizes = dict(zip((s.name for s in new.of_kind("Var.")), new.sizes("Var.", memory=MEMORIES)))
    assert sizes["rx_ring"] == 0x200 and sizes["rx_pool"] == 0x12000
    assert new.sizes("Var.")[list(sizes).index("rx_pool")] == k8.UNKNOWN_SIZE  # ends its region
    assert len(new.sizes()) == len(new) and new.sizes()[-1] == k8.UNKNOWN_SIZE  # an EQU
    usage = new.usage(memory=MEMORIES)
    printed = mapsyms_json("usage", *memory, str(SIZES_NEW))
    assert [(m["name"], m["used"], m["size"]) for m in usage["memories"]] == \
        [(m["name"], m["used"], m["size"]) for m in printed["memories"]]
    assert usage["memories"][1]["unsized_top"].name == "_ebss"
    diff = k8.diff_sizes(old, new, memory=MEMORIES, top=3)
    printed = mapsyms_json("diff", "--sizes", "--top", "3", *memory, str(SIZES_OLD), str(SIZES_NEW))
    assert diff == printed
    with pytest.raises(ValueError, match="overlap"):
        new.usage(memory=["A=0,1K", "B=0x100,1K"])
    with pytest.raises(ValueError, match="at least 1"):
        new.sizes(region_gap=0)
    with pytest.raises(TypeError, match="memory must be"):
        new.usage(memory=3)
