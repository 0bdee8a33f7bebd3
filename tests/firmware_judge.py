# SPDX-License-Identifier: MIT
"""mapsyms export judged by real firmware: a small bare-metal program (tests/firmware) built with
Debian's cross compilers for a Cortex-M (Thumb, little-endian) and a PowerPC (big-endian); its map
written from the linked ELF file's symbol table, and only the map and `objcopy -O binary` of the
program kept. The ELF file that mapsyms export makes of them is then held to the real one: each
symbol's address, type and section, the sizes, gdb's and lldb's disassembly, objdump's, the
answers between the memories, a second program linked against the exports, and the header
compiled with the cross compiler.

usage: firmware_judge.py BIN_DIR SOURCE_DIR   (Debian's Python, which has pyelftools)
"""

import os
import re
import sys
import tempfile

from elftools.elf.elffile import ELFFile

from judging import case, expect, results, run, summary

BIN, SOURCE = sys.argv[1], sys.argv[2]
MAPSYMS = os.path.join(BIN, "mapsyms")
FIRMWARE = os.path.join(SOURCE, "tests", "firmware")
WORK = tempfile.mkdtemp(prefix="firmware_judge.")

TARGETS = {
    "cortex_m": dict(
        gcc="arm-none-eabi-gcc", prefix="arm-none-eabi-", machine="arm", thumb=True,
        flags=["-mcpu=cortex-m3", "-mthumb", "-Os"], sources=["cortex_m.S", "firmware.c"],
        script="cortex_m.ld", flash=0x08000000, between=[0x08010000, 0x10000000, 0x1FFFFFF0]),
    "powerpc": dict(
        gcc="powerpc-linux-gnu-gcc", prefix="powerpc-linux-gnu-", machine="ppc", thumb=False,
        flags=["-O2", "-fno-pic", "-static", "-msdata=none", "-Wl,--build-id=none"],
        sources=["firmware.c"], script="ppc.ld", flash=0x00100000,
        between=[0x00110000, 0x00400000, 0x007FFFF0]),
}



def expect(what, got, wanted):
    if got != wanted:
        raise AssertionError(f"{what} differ:\n  got    {got!r}\n  wanted {wanted!r}")


def real_symbols(path):
    """The linked program's symbols that a map lists: (name, value, size, type, bind, section
    name or "ABS"), mapping symbols and file and section symbols left out."""
    found = []
    with open(path, "rb") as f:
        elf = ELFFile(f)
        for s in elf.get_section_by_name(".symtab").iter_symbols():
            kind = s["st_info"]["type"]
            if not s.name or s.name.startswith("$") or kind in ("STT_FILE", "STT_SECTION"):
                continue
            shndx = s["st_shndx"]
            section = "ABS" if shndx == "SHN_ABS" else elf.get_section(shndx).name
            found.append((s.name, s["st_value"], s["st_size"], kind[4:],
                          s["st_info"]["bind"][4:], section))
    return found


def write_map(symbols, thumb, path, markers="EQU"):
    """The map a build tool writes of those symbols: functions Func., labels in code loc.,
    objects Var., the linker's own symbols EQU (or, in a section, the markers' kind); locals
    scope s; names longer than 24 bytes continued over lines, the first with kind, scope and
    value, each but the last ending in "+"."""
    lines = ["Symbol map of the firmware", ""]
    for name, value, _, kind, bind, section in symbols:
        keyword = {"FUNC": "Func.", "OBJECT": "Var."}.get(kind)
        if keyword is None:
            keyword = ("loc." if section == ".text" and bind == "LOCAL"
                       else "EQU" if section == "ABS" else markers)
        if kind == "FUNC" and thumb:
            value &= ~1
        pieces = [name[i:i + 24] for i in range(0, len(name), 24)]
        head = pieces[0] + ("+" if len(pieces) > 1 else "")
        lines.append(f"  {head}  {keyword}  {'g' if bind == 'GLOBAL' else 's'}  0x{value:08X}")
        lines += [f"  {piece}+" for piece in pieces[1:-1]] + [f"  {pieces[-1]}"][:len(pieces) - 1]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def build(name, target):
    """Builds the firmware; the real ELF, the map, the image and the exported ELF."""
    real = os.path.join(WORK, name + ".real.elf")
    run(target["gcc"], *target["flags"], "-nostdlib", "-ffreestanding", "-Wall", "-Wextra",
        "-Werror", "-T", os.path.join(FIRMWARE, target["script"]),
        *[os.path.join(FIRMWARE, s) for s in target["sources"]], "-o", real)
    image = os.path.join(WORK, name + ".bin")
    run(target["prefix"] + "objcopy", "-O", "binary", "-j", ".text", real, image)
    map_path = os.path.join(WORK, name + ".map")
    write_map(real_symbols(real), target["thumb"], map_path)
    exported = os.path.join(WORK, name + ".elf")
    thumb = ["--thumb"] if target["thumb"] else []
    big = [] if target["thumb"] else ["--big-endian"]
    run(MAPSYMS, "export", "--format", "elf", "--machine", target["machine"], *thumb, *big,
        "--sizes", "--image", f"{image}@{target['flash']:X}", "-o", exported, map_path)
    return real, map_path, image, exported


def sections_of(path):
    with open(path, "rb") as f:
        return [(s.name, s["sh_addr"], s["sh_size"]) for s in ELFFile(f).iter_sections()]


def check_symbols(real, exported, image_size, target):
    """Each symbol's address, type and section; and sizes where the map can tell them."""
    wanted = {(n, v, t): (sz, sec) for n, v, sz, t, _, sec in real_symbols(real)}
    got = real_symbols(exported)
    sections = {n: (a, s) for n, a, s in sections_of(exported)}
    flash = target["flash"]
    funcs = sorted((v & ~1, sz) for (n, v, t), (sz, _) in wanted.items() if t == "FUNC")
    objects = sorted({v & ~1 for (n, v, t) in wanted if t in ("FUNC", "OBJECT")})
    for name, value, size, kind, _, section in got:
        key = (name, value, kind if kind != "NOTYPE" else "NOTYPE")
        if kind == "FUNC" and (name, value, "FUNC") not in wanted:
            # a label: a function in the export, a plain symbol in the program
            key = (name, value, "NOTYPE")
        if key not in wanted:
            raise AssertionError(f"{name} at {value:#x} ({kind}) is not in the program")
        real_size, real_section = wanted[key]
        start = value & ~1
        if kind == "NOTYPE" and section == "ABS":
            continue  # the linker's own symbols: EQU in the map
        in_image = flash <= start < flash + image_size
        if in_image != (section == ".image0"):
            raise AssertionError(f"{name} at {start:#x} lies in {section}")
        lo, span = sections[section]
        if not lo <= start < lo + span:
            raise AssertionError(f"{name} at {start:#x} outside its section {section}")
        if kind == "FUNC" and key[2] == "FUNC":
            following = [o for o in objects if o > start]
            if following and following[0] == start + real_size and size != real_size:
                raise AssertionError(f"{name}: size {size}, the program's {real_size}")
            if following and not real_size <= size < real_size + 16:  # alignment
                raise AssertionError(f"{name}: size {size}, the program's {real_size} + padding")
    expect("the number of symbols", len(got), len(wanted))
    between = [s for s in sections.values() if any(a > s[0] and a < s[0] + s[1]
                                                    for a in target["between"])]
    expect("sections over memory with no symbol", between, [])


def data_ranges(path):
    """Where the program's $d mapping symbols say data lies inside code: (start, end) pairs."""
    with open(path, "rb") as f:
        marks = sorted((s["st_value"], s.name[:2]) for s in
                       ELFFile(f).get_section_by_name(".symtab").iter_symbols()
                       if s.name in ("$d", "$t") or s.name.startswith(("$d.", "$t.")))
    return [(at, marks[i + 1][0] if i + 1 < len(marks) else 1 << 32)
            for i, (at, mark) in enumerate(marks) if mark == "$d"]


def code_lines(text, functions, data):
    """gdb's or lldb's lines of instructions inside the program's functions and outside its
    data: what the map's symbols and the image must reproduce."""
    # Past data inside a function the decoders fall out of step: only the code before it.
    cuts = [(lo, min([d for d, _ in data if lo <= d < hi] + [hi])) for lo, hi in functions]
    kept = []
    for line in text.splitlines():
        m = re.match(r"^(?:ELF\[|[\s>-]*)0x([0-9a-f]+)", line)
        if not m:
            continue
        at = int(m.group(1), 16)
        if not any(lo <= at < cut for lo, cut in cuts):
            continue
        kept.append(re.sub(r"\s+", " ", line.strip()))
    return kept


def functions_of(real):
    return [(n, v & ~1, sz) for n, v, sz, t, _, _ in real_symbols(real) if t == "FUNC"]


def gdb(path, commands):
    args = [a for c in commands for a in ("-ex", c)]
    return run("gdb-multiarch", "-nx", "-batch", "-ex", f"file {path}", *args).stdout


def check_gdb(real, exported, target):
    functions = functions_of(real)
    spans = [(v, v + sz) for _, v, sz in functions]
    data = data_ranges(real)
    commands = [f"disassemble {f}" for f, _, _ in functions]
    got, wanted = gdb(exported, commands), gdb(real, commands)
    expect("gdb's disassembly", code_lines(got, spans, data), code_lines(wanted, spans, data))
    for name, start, size in functions:  # each on its own: x/8i may run on into data
        got, wanted = gdb(exported, [f"x/8i {name}"]), gdb(real, [f"x/8i {name}"])
        own = [(start, start + size)]
        expect(f"gdb's x/8i {name}", code_lines(got, own, data), code_lines(wanted, own, data))
    answers = [f"info symbol {a:#x}" for a in target["between"]]
    expect("gdb's answers between the memories", gdb(exported, answers), gdb(real, answers))
    if "No symbol matches" not in gdb(exported, answers[1:2]):
        raise AssertionError("gdb finds a symbol between the memories")


def check_lldb(real, exported, target):
    functions = functions_of(real)
    spans = [(v, v + sz) for _, v, sz in functions]
    data = data_ranges(real)

    def lldb(path, commands):
        args = [a for c in commands for a in ("-o", c)]
        env = dict(os.environ, PATH="/usr/bin:" + os.environ["PATH"])
        # Debian's lldb may complain of its Python module and exit 1 after answering in full.
        text = run("lldb", "-b", "-x", "-o", f"target create {path}", *args, env=env,
                   check=False).stdout
        return text.replace(os.path.basename(path), "ELF")
    # lldb decodes the code after a plain label of the program as ARM, not Thumb: the program's
    # own answer there is wrong, and left out.
    labels = [(v, v) for n, v, _, t, b, sec in real_symbols(real) if t == "NOTYPE" and
              b == "LOCAL" and sec == ".text"]
    commands = [f"disassemble -n {f}" for f, _, _ in functions]
    expect("lldb's instructions", code_lines(lldb(exported, commands), spans, data + labels),
           code_lines(lldb(real, commands), spans, data + labels))
    lookups = [f"image lookup -a {x:#x}" for x in target["between"]]
    if "Summary:" in lldb(exported, lookups):
        raise AssertionError("lldb finds a symbol between the memories")


def instructions(path, prefix):
    """objdump -d's instruction lines by address (data shown as .word etc. left out)."""
    found = {}
    for line in run(prefix + "objdump", "-d", path).stdout.splitlines():
        m = re.match(r"^\s+([0-9a-f]+):\t([0-9a-f ]+)\t(.*)$", line)
        if m and not m.group(3).startswith("."):
            found[int(m.group(1), 16)] = (m.group(2).strip(), m.group(3).replace("\t", " "))
    return found


def check_objdump(real, exported, target):
    wanted = instructions(real, target["prefix"])
    got = instructions(exported, target["prefix"])
    expect("objdump's instructions", {a: got.get(a) for a in wanted}, wanted)


def check_linking(real, map_path, exported, target):
    """A second program calls uart_putc through the linker script and through ld -R."""
    app = os.path.join(WORK, "app.c")
    with open(app, "w") as f:
        f.write("extern void uart_putc(char c);\nvoid app(void) { uart_putc('x'); }\n")
    flags = [x for x in target["flags"] if x.startswith(("-mcpu", "-mthumb", "-fno-pic"))]
    run(target["gcc"], *flags, "-O1", "-c", app, "-o", app + ".o")
    script = os.path.join(WORK, "firmware.ld")
    run(MAPSYMS, "export", "--format", "ld", "-o", script, map_path)
    putc = next(v & ~1 for n, v, _, t, _, _ in real_symbols(real) if n == "uart_putc")
    for flag, symbols in (("-T", script), ("-R", exported)):
        program = os.path.join(WORK, "app" + flag)
        run(target["prefix"] + "ld", flag, symbols, "-e", "app", f"-Ttext={target['flash'] + 0x8000:#x}",
            app + ".o", "-o", program)
        text = run(target["prefix"] + "objdump", "-d", program).stdout
        call = re.search(r"\t(bl|blx)\s+([0-9a-f]+) <uart_putc>", text)
        if call is None or int(call.group(2), 16) != putc or call.group(1) != "bl":
            raise AssertionError(f"ld {flag}: the call is not bl {putc:#x}:\n{text}")


def check_header(map_path, target):
    header = os.path.join(WORK, "firmware_symbols.h")
    run(MAPSYMS, "export", "--format", "h", "--all-kinds", "-o", header, map_path)
    use = os.path.join(WORK, "use_header.c")
    with open(use, "w") as f:
        f.write('#include "firmware_symbols.h"\nunsigned long data_load(void) '
                "{ return _data_load; }\n")
    flags = [x for x in target["flags"] if x.startswith(("-mcpu", "-mthumb"))]
    run(target["gcc"], *flags, "-std=c99", "-pedantic", "-Wall", "-Wextra", "-Werror", "-c", use,
        "-o", use + ".o", cwd=WORK)


def main():
    for name, target in TARGETS.items():
        try:
            real, map_path, image, exported = build(name, target)
        except AssertionError as error:
            results["failed"] += 1
            print(f"{name}_build: {error}")
            continue
        size = os.path.getsize(image)
        case(f"{name}_symbols", check_symbols, real, exported, size, target)
        case(f"{name}_gdb", check_gdb, real, exported, target)
        case(f"{name}_lldb", check_lldb, real, exported, target)
        case(f"{name}_objdump", check_objdump, real, exported, target)
        case(f"{name}_linking", check_linking, real, map_path, exported, target)
        case(f"{name}_header", check_header, map_path, target)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
