# SPDX-License-Identifier: MIT
"""mapsyms export judged by the tools that read its files: readelf, nm, objdump, gdb, lldb and
pyelftools on the ELF files (the same symbols in each, no warning, gdb's and lldb's answers to
an address equal to mapsyms --lookup), ld linking real objects against the ELF file (-R) and the
linker script, and a C and a C++ compiler on the header, whose macros a program prints.

usage: export_judge.py BIN_DIR SOURCE_DIR   (run with Debian's Python, which has pyelftools)
"""

import bisect
import csv
import io
import os
import random
import re
import sys
import tempfile

from elftools.elf.elffile import ELFFile

from judging import case, expect, run, summary

BIN, SOURCE = sys.argv[1], sys.argv[2]
MAPSYMS = os.path.join(BIN, "mapsyms")
WORK = tempfile.mkdtemp(prefix="export_judge.")
ELF_KINDS = ["Addr.", "loc.", "Func.", "Var.", "EQU"]
ALL_KINDS = ["Addr.", "loc.", "EQU", "bit", "Func.", "Var.", "arg."]
CODE_KINDS = {"Addr.", "loc.", "Func."}
TYPES = {"Addr.": "FUNC", "Func.": "FUNC", "Var.": "OBJECT"}



def expect(what, got, wanted):
    if got != wanted:
        extra = [x for x in got if x not in wanted][:3] if isinstance(got, list) else got
        missing = [x for x in wanted if x not in got][:3] if isinstance(wanted, list) else wanted
        raise AssertionError(f"{what} differ: {extra!r} against {missing!r}")


def map_symbols(path, kinds):
    """The map's symbols of those kinds as the listing gives them: dicts in map order."""
    args = [MAPSYMS, "--format", "csv"] + [a for k in kinds for a in ("--kind", k)] + [path]
    rows = list(csv.DictReader(io.StringIO(run(*args).stdout)))
    for row in rows:
        row["value"] = int(row["value"], 16)
    return rows


def elf_expected(rows):
    """(value, type, bind, name) of each symbol, locals first, in map order within each."""
    def entry(r):
        return (r["value"], TYPES.get(r["kind"], "NOTYPE"),
                "GLOBAL" if r["scope"] == "g" else "LOCAL", r["name"])
    return ([entry(r) for r in rows if r["scope"] != "g"] +
            [entry(r) for r in rows if r["scope"] == "g"])


def regions_of(rows, images, gap=0x10000):
    """Each row's memory region: an image's index where its value falls inside one, else
    ("code" or "data", number), a group's values cut at steps above the gap and at images; None
    for kinds without an address."""
    def image_of(v):
        return next((i for i, (start, size) in enumerate(images) if start <= v < start + size),
                    None)
    found = [None] * len(rows)
    for group, kinds in (("code", CODE_KINDS), ("data", {"Var."})):
        values = sorted({r["value"] for r in rows
                         if r["kind"] in kinds and image_of(r["value"]) is None})
        number, region = 0, {}
        for at, v in enumerate(values):
            if at == 0 or v - values[at - 1] > gap or any(
                    values[at - 1] < start < v for start, _ in images):
                number += 1
            region[v] = (group, number)
        for i, r in enumerate(rows):
            if r["kind"] in kinds:
                found[i] = image_of(r["value"])
                if found[i] is None:
                    found[i] = region[r["value"]]
    return found


def expected_sizes(rows, images):
    """Each symbol's size by --sizes: an object runs to the next object of its region at a
    higher value, a loc. label to the next label or object; 0 where nothing follows."""
    regions = regions_of(rows, images)
    every, objects = {}, {}
    for r, region in zip(rows, regions):
        every.setdefault(region, set()).add(r["value"])
        if r["kind"] != "loc.":
            objects.setdefault(region, set()).add(r["value"])
    sizes = []
    for r, region in zip(rows, regions):
        ends = sorted((every if r["kind"] == "loc." else objects).get(region, ()))
        higher = ends[bisect.bisect_right(ends, r["value"]):]
        labelled = r["kind"] == "loc."  # a label has no size in ELF
        sizes.append(higher[0] - r["value"] if region is not None and higher and not labelled
                     else 0)
    return ([s for r, s in zip(rows, sizes) if r["scope"] != "g"] +
            [s for r, s in zip(rows, sizes) if r["scope"] == "g"])


def readelf_symbols(path):
    done = run("readelf", "-a", "-W", path)
    if done.stderr:
        raise AssertionError(f"readelf warns: {done.stderr[:300]}")
    table = run("readelf", "-s", "-W", path).stdout
    found = []
    for line in table.splitlines():
        fields = line.split()
        if len(fields) == 8 and fields[0][:-1].isdigit() and fields[0] != "0:":
            found.append((int(fields[1], 16), int(fields[2], 0), fields[3], fields[4], fields[7]))
    return found


def pyelftools_symbols(path):
    with open(path, "rb") as f:
        elf = ELFFile(f)
        symtab = elf.get_section_by_name(".symtab")
        return [(s["st_value"], s["st_size"], s["st_info"]["type"][4:],
                 s["st_info"]["bind"][4:], s.name) for s in symtab.iter_symbols()][1:]


def nm_symbols(path):
    done = run("nm", "-n", path)
    if done.stderr:
        raise AssertionError(f"nm warns: {done.stderr[:300]}")
    return sorted((int(v, 16), t.isupper(), n) for v, t, n in
                  (line.split(" ", 2) for line in done.stdout.splitlines()))


def objdump_symbols(path):
    done = run("objdump", "-t", path)
    if done.stderr:
        raise AssertionError(f"objdump warns: {done.stderr[:300]}")
    found = []
    for line in done.stdout.splitlines():
        m = re.match(r"^([0-9a-f]{8}) (.)......\s+(\S+)\s+[0-9a-f]{8} (.+)$", line)
        if m:
            found.append((int(m.group(1), 16), m.group(2) == "g", m.group(4)))
    return sorted(found)


def lookups(rows, count, seed, images=(), sized=False):
    """Addresses whose nearest code symbol below is alone at its value, within the region of
    that symbol, and mapsyms's command line that answers them. With sizes, no label's address:
    a debugger names an address inside a sized function after the function, as it does for
    a program's own labels."""
    regions = regions_of(rows, images)
    code = [(r["value"], g) for r, g in zip(rows, regions) if r["kind"] in CODE_KINDS]
    values = sorted({v for v, _ in code})
    region_at = dict(code)
    times = {}
    for v, _ in code:
        times[v] = times.get(v, 0) + 1
    labels = {r["value"] for r in rows if r["kind"] == "loc."} if sized else set()
    alone = [v for v in values if times[v] == 1 and v not in labels]
    rng = random.Random(seed)
    addresses = []
    for v in rng.sample(alone, min(count, len(alone))):
        at = values.index(v)
        following = values[at + 1] if at + 1 < len(values) else None
        room = following - v if following is not None and region_at[following] == region_at[v] else 1
        for start, size in images:
            if start <= v < start + size:
                room = min(room, start + size - v)
        addresses.append(v + rng.randrange(min(room, 0x400)))
    args = [MAPSYMS, "--max-offset", "none", "--kind", "Addr.", "--kind", "loc.", "--kind",
            "Func."] + [a for x in addresses for a in ("--lookup", hex(x))]
    return addresses, args


def check_gdb(out, rows, path, seed, images, sized):
    addresses, args = lookups(rows, 12, seed, images, sized)
    answers = run(*args, path).stdout.split()
    commands = [a for x in addresses for a in ("-ex", f"info symbol {hex(x)}")]
    done = run("gdb-multiarch", "-nx", "-batch", "-ex", f"file {out}", *commands)
    warnings = [line for line in done.stderr.splitlines() if line.strip()]
    if warnings:
        raise AssertionError(f"gdb warns: {warnings[:3]}")
    said = []
    for line in done.stdout.splitlines():
        m = re.match(r"^(\S+)(?: \+ (\d+))? in section \.(?:text(?:\.\d+)?|image\d+)$", line)
        if m:
            offset = int(m.group(2) or 0)
            said.append(m.group(1) + (f"+0x{offset:X}" if offset else ""))
    expect("gdb's answers", said, answers)


def check_lldb(out, rows, path):
    addresses, args = lookups(rows, 3, 7)
    answers = run(*args, path).stdout.split()
    commands = [a for x in addresses for a in ("-o", f"image lookup -a {hex(x)}")]
    env = dict(os.environ, PATH="/usr/bin:" + os.environ["PATH"])
    done = run("lldb", "-b", "-x", "-o", f"target create {out}", *commands, env=env)
    text = done.stdout + done.stderr
    if re.search(r"^(warning|error):", text, re.M):
        raise AssertionError(f"lldb warns: {text[:400]}")
    said = []
    for m in re.finditer(r"Summary: [^`]*`(\S+)(?: \+ (\d+))?", done.stdout):
        offset = int(m.group(2) or 0)
        said.append(m.group(1) + (f"+0x{offset:X}" if offset else ""))
    expect("lldb's answers", said, answers)


def check_elf(name, path, options, kinds=ELF_KINDS, images=(), debuggers=()):
    out = os.path.join(WORK, name + ".elf")
    image_args = [a for f, at in images for a in ("--image", f"{f}@{at:X}")]
    run(MAPSYMS, "export", "--format", "elf", *options, *image_args, "-o", out, path)
    rows = map_symbols(path, kinds)
    wanted = elf_expected(rows)
    spans = [(at, os.path.getsize(f)) for f, at in images]
    sizes = expected_sizes(rows, spans) if "--sizes" in options else [0] * len(rows)
    by_readelf = readelf_symbols(out)
    expect("readelf's symbols", [(v, t, b, n) for v, _, t, b, n in by_readelf], wanted)
    expect("readelf's sizes", [s for _, s, *_ in by_readelf], sizes)
    expect("pyelftools's symbols", pyelftools_symbols(out), by_readelf)
    plain = sorted((v, b == "GLOBAL", n) for v, t, b, n in wanted)
    expect("nm's symbols", nm_symbols(out), plain)
    expect("objdump's symbols", objdump_symbols(out), plain)
    if "gdb" in debuggers:
        check_gdb(out, rows, path, len(name), spans, "--sizes" in options)
    if "lldb" in debuggers:
        check_lldb(out, rows, path)


def check_image_disassembly():
    """objdump -d shows an image's code with the map's labels."""
    code = os.path.join(WORK, "rom.bin")
    with open(code, "wb") as f:
        f.write(bytes([0x55, 0x89, 0xE5, 0x90, 0xEB, 0xFE, 0xC3]))
    rom = os.path.join(WORK, "rom.map")
    with open(rom, "w") as f:
        f.write("  rom_start  Func.  g  0x00010000\n  rom_loop  loc.  s  0x00010004\n"
                "  rom_end  Addr.  g  0x00010006\n  elsewhere  Addr.  g  0x00020000\n")
    out = os.path.join(WORK, "rom.elf")
    run(MAPSYMS, "export", "--format", "elf", "--machine", "386", "--image", f"{code}@10000",
        "-o", out, rom)
    text = run("objdump", "-d", out).stdout
    for label in ("00010000 <rom_start>:", "00010004 <rom_loop>:", "00010006 <rom_end>:",
                  "jmp    10004 <rom_loop>"):
        if label not in text:
            raise AssertionError(f"objdump -d lacks {label!r}:\n{text}")
    check_elf("rom_sizes", rom, ["--machine", "386", "--sizes"], images=[(code, 0x10000)],
              debuggers=("gdb",))


def link(script_or_symbols, flag, name):
    """Links a 32-bit x86 object that calls main and reads tick_count; their bytes in the
    linked program."""
    source = os.path.join(WORK, "use.s")
    with open(source, "w") as f:
        f.write(".globl _entry\n.text\n_entry:\n call main\n movl tick_count, %eax\n ret\n")
    run("as", "--32", source, "-o", source + ".o")
    program = os.path.join(WORK, name)
    run("ld", "-m", "elf_i386", flag, script_or_symbols, "-e", "_entry", "-Ttext=0x400000",
        source + ".o", "-o", program)
    return run("objdump", "-d", program).stdout


def check_linking():
    sample = os.path.join(SOURCE, "examples", "sample.map")
    for flag, fmt in (("-R", "elf"), ("-T", "ld")):
        out = os.path.join(WORK, "sample." + fmt)
        machine = ["--machine", "386"] if fmt == "elf" else []
        run(MAPSYMS, "export", "--format", fmt, *machine, "-o", out, sample)
        text = link(out, flag, "linked_" + fmt)
        if "call   200 <main>" not in text or "mov    0x20000200,%eax" not in text:
            raise AssertionError(f"ld {flag} did not link to the map's values:\n{text}")
    names = os.path.join(SOURCE, "tests", "data", "export_names.map")
    script = os.path.join(WORK, "names.ld")
    run(MAPSYMS, "export", "--format", "ld", "--all-kinds", "--scope", "g", "--scope", "s",
        "-o", script, names)
    with open(script, "a") as f:
        f.write("PROVIDE(main = 0x200);\nPROVIDE(tick_count = 0x20000200);\n")
    link(script, "-T", "linked_names")


# The words of GNU ld's script language, MEMORY's abbreviations among them: each a symbol's name
# in a script that ld must link.
LD_WORDS = """ABSOLUTE ADDR AFTER ALIAS ALIGN ALIGNOF ALIGN_WITH_INPUT ASCIZ ASSERT AS_NEEDED AT BEFORE
BIND BLOCK BYTE COMMONPAGESIZE CONSTANT CONSTRUCTORS COPY CREATE_OBJECT_SYMBOLS
DATA_SEGMENT_ALIGN DATA_SEGMENT_END DATA_SEGMENT_RELRO_END DEFINED DSECT ENTRY EXCLUDE_FILE EXTERN
FILEHDR FILL FLOAT FORCE_COMMON_ALLOCATION FORCE_GROUP_ALLOCATION GROUP HIDDEN HLL INCLUDE INFO
INHIBIT_COMMON_ALLOCATION INPUT INPUT_SECTION_FLAGS INSERT KEEP LD_FEATURE LENGTH LOADADDR LOG2CEIL
LONG MAP MAX MAXPAGESIZE MEMORY MIN NEXT NOCROSSREFS NOCROSSREFS_TO NOFLOAT NOLOAD ONLY_IF_RO
ONLY_IF_RW ORIGIN OUTPUT OUTPUT_ARCH OUTPUT_FORMAT OVERLAY PHDRS PROVIDE PROVIDE_HIDDEN QUAD
READONLY REGION_ALIAS REVERSE SEARCH_DIR SECTIONS SEGMENT_START SHORT SIZEOF SIZEOF_HEADERS SORT
SORT_BY_ALIGNMENT SORT_BY_INIT_PRIORITY SORT_BY_NAME SORT_NONE SPECIAL SQUAD STARTUP SUBALIGN SYSLIB
TARGET VERSION global local extern len l org o""".split()


def check_script_words():
    """A linker script naming a symbol after each of ld's script words links, each value kept."""
    words = os.path.join(WORK, "words.map")
    with open(words, "w") as f:
        f.write("".join(f"  {w}  Addr.  g  0x{0x1000 + 4 * i:08X}\n" for i, w in enumerate(LD_WORDS)))
    script = os.path.join(WORK, "words.ld")
    run(MAPSYMS, "export", "--format", "ld", "-o", script, words)
    with open(script, "a") as f:
        f.write("PROVIDE(main = 0x200);\nPROVIDE(tick_count = 0x20000200);\n")
    link(script, "-T", "linked_words")
    program = os.path.join(WORK, "linked_words")
    # PROVIDE defines a name only where it is wanted: every word is asked for.
    wanted = [a for w in LD_WORDS for a in ("-u", w)]
    run("ld", "-m", "elf_i386", "-T", script, *wanted, "-e", "_entry", "-Ttext=0x400000",
        os.path.join(WORK, "use.s.o"), "-o", program)
    table = run("nm", program).stdout
    for i, w in enumerate(LD_WORDS):
        if f"{0x1000 + 4 * i:08x} A {w}\n" not in table and f"{0x1000 + 4 * i:08x} a {w}\n" not in table:
            raise AssertionError(f"ld lost {w}: {table[:300]}")


def check_header(path, name):
    header = os.path.join(WORK, name + ".h")
    run(MAPSYMS, "export", "--format", "h", "--all-kinds", "-o", header, path)
    macros = re.findall(r"^#define (\w+) 0x[0-9A-F]{8}u$", open(header).read(), re.M)
    table = os.path.join(WORK, name + "_values.c")
    with open(table, "w") as f:
        f.write(f'#include "{name}.h"\nconst unsigned long k8_values[] = {{\n')
        f.write("".join(f"  {m},\n" for m in macros) + "  0};\n")
    main = os.path.join(WORK, name + "_main.c")
    with open(main, "w") as f:
        f.write("#include <stdio.h>\nextern const unsigned long k8_values[];\n"
                f"int main(void) {{\n  int i;\n  for (i = 0; i < {len(macros)}; ++i) "
                'printf("%08lX\\n", k8_values[i]);\n  return 0;\n}\n')
    strict = ["-pedantic", "-Wall", "-Wextra", "-Werror"]
    program = os.path.join(WORK, name + "_program")
    run("cc", "-std=c99", *strict, "-o", program, table, main, cwd=WORK)
    run("c++", "-std=c++17", *strict, "-fsyntax-only", "-x", "c++", header, cwd=WORK)
    first = {}
    for row in map_symbols(path, ALL_KINDS):
        first.setdefault(row["name"], row["value"])
    printed = run(program).stdout.split()
    expect("the header's values", printed, [f"{first[m]:08X}" for m in macros])
    if len(set(macros)) != len(macros):
        raise AssertionError("a name defined twice")


def generate_map(path, count):
    """A map of random names (repeats among them), kinds, scopes and values."""
    rng = random.Random(8)
    syllables = ["uart", "spi", "dma", "irq", "buf", "tx", "rx", "init", "done", "reg", "_", "9"]
    with open(path, "w") as f:
        f.write("Generated map\n\n")
        for _ in range(count):
            name = rng.choice(syllables[:-2]) + "".join(rng.choices(syllables, k=rng.randrange(4)))
            kind = rng.choice(ALL_KINDS + ["Addr.", "Func.", "Var."])
            value = rng.choice([rng.randrange(1 << 32), rng.randrange(0x8000, 0x20000)])
            bit = f"({rng.randrange(8)})" if kind == "bit" else ""
            f.write(f"  {name}  {kind}  {rng.choice('ags')}  0x{value:08X}{bit}\n")


def main():
    sample = os.path.join(SOURCE, "examples", "sample.map")
    kinds = os.path.join(SOURCE, "tests", "data", "worked_example.map")
    names = os.path.join(SOURCE, "tests", "data", "export_names.map")
    generated = os.path.join(WORK, "generated.map")
    generate_map(generated, 2500)
    elf_cases = [
        ("sample_arm", sample, ["--machine", "arm"], ELF_KINDS, ("gdb", "lldb")),
        ("sample_ppc_big", sample, ["--machine", "ppc", "--big-endian", "--sizes"], ELF_KINDS,
         ("gdb",)),
        ("kinds_riscv", kinds, ["--machine", "riscv", "--all-kinds"], ALL_KINDS, ("gdb",)),
        ("names_none", names, ["--all-kinds"], ALL_KINDS, ()),
        ("generated_386", generated, ["--machine", "386", "--sizes"], ELF_KINDS, ("gdb", "lldb")),
        ("generated_m68k_big", generated, ["--machine", "m68k", "--big-endian"], ELF_KINDS,
         ("gdb",)),
        ("generated_msp430", generated, ["--machine", "msp430", "--scope", "g", "--kind", "Func.",
                                         "--kind", "Var."], None, ()),
        ("generated_number", generated, ["--machine", "5e", "--sizes"], ELF_KINDS, ()),
    ]
    for name, path, options, kinds_of, debuggers in elf_cases:
        if kinds_of is None:  # the options' own choice: global Func. and Var. symbols
            rows_kinds = ["Func.", "Var."]
            case(name, check_scoped, name, path, options, rows_kinds)
        else:
            case(name, check_elf, name, path, options, kinds_of, (), debuggers)
    case("image_disassembly", check_image_disassembly)
    case("linking", check_linking)
    case("script_words", check_script_words)
    case("header_sample", check_header, sample, "sample_symbols")
    case("header_generated", check_header, generated, "generated_symbols")
    case("header_names", check_header, names, "names_symbols")
    return summary()


def check_scoped(name, path, options, kinds):
    """--scope g: the global symbols of the kinds only."""
    out = os.path.join(WORK, name + ".elf")
    run(MAPSYMS, "export", "--format", "elf", *options, "-o", out, path)
    rows = [r for r in map_symbols(path, kinds) if r["scope"] == "g"]
    expect("readelf's symbols", [(v, t, b, n) for v, _, t, b, n in readelf_symbols(out)],
           elf_expected(rows))


if __name__ == "__main__":
    sys.exit(main())
