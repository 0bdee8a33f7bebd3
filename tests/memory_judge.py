# SPDX-License-Identifier: MIT
"""The size views judged by real firmware: two builds of the program of tests/firmware for a
Cortex-M (the second grows a buffer in place, grows one function, adds one, removes one and grows
RAM past the region gap), their maps written from the linked ELF files (the linker's markers in
sections as Addr.), and the real ELF files, ld and `size -A` judging what mapsyms usage, diff
--sizes and the Python package answer.

usage: memory_judge.py BIN_DIR SOURCE_DIR   (Debian's Python; PYTHONPATH holding the package)
"""

import json
import os
import re
import sys

import firmware_judge as fw
from judging import case, expect, run, summary

import kestrum8_map

TARGET = fw.TARGETS["cortex_m"]
MEMORIES = ["FLASH=0x08000000,64K", "RAM=0x20000000,128K"]  # as cortex_m.ld's MEMORY
MEMORY_ARGS = [a for m in MEMORIES for a in ("--memory", m)]
ALIGNMENT = 16


def build(name, defines):
    real = os.path.join(fw.WORK, name + ".elf")
    done = run(TARGET["gcc"], *TARGET["flags"], *defines, "-nostdlib", "-ffreestanding", "-Wall",
               "-Wextra", "-Werror", "-T", os.path.join(fw.FIRMWARE, TARGET["script"]),
               *[os.path.join(fw.FIRMWARE, s) for s in TARGET["sources"]], "-o", real,
               "-Wl,--print-memory-usage")
    map_path = os.path.join(fw.WORK, name + ".map")
    fw.write_map(fw.real_symbols(real), True, map_path, markers="Addr.")
    return real, map_path, done.stdout


def objects(real):
    """The program's functions and objects: name -> (address, st_size)."""
    return {n: (v & ~1, sz) for n, v, sz, t, _, _ in fw.real_symbols(real) if t in ("FUNC", "OBJECT")}


def check_sizes(real, map_path):
    """Every function followed by another function at its end has its st_size; every function
    and object a size from its st_size to its st_size plus alignment."""
    table = kestrum8_map.parse(map_path)
    sizes = dict(zip((s.name for s in table), table.sizes(memory=MEMORIES)))
    program = objects(real)
    starts = sorted(a for a, _ in program.values())
    for name, (address, size) in program.items():
        got = sizes[name]
        following = [a for a in starts if a > address]
        if following and following[0] == address + size and got != size:
            raise AssertionError(f"{name}: size {got}, the program's {size}")
        if not size <= got < size + ALIGNMENT:
            raise AssertionError(f"{name}: size {got}, the program's {size} (+ alignment)")


def check_growth(old, new):
    """diff --sizes names exactly the symbols whose st_size changed, and those added and
    removed, each with sizes within alignment of the program's."""
    before, after = objects(old[0]), objects(new[0])
    wanted = {n: "added" for n in after.keys() - before.keys()}
    wanted.update({n: "removed" for n in before.keys() - after.keys()})
    for n in before.keys() & after.keys():
        if before[n][1] != after[n][1]:
            wanted[n] = "grew" if after[n][1] > before[n][1] else "shrank"
    done = run(fw.MAPSYMS, "diff", "--sizes", "--kind", "Func.", "--kind", "Var.", *MEMORY_ARGS,
               "--format", "json", old[1], new[1], check=False)
    expect("diff --sizes' exit status", done.returncode, 1)
    rows = json.loads(done.stdout)["symbols"]
    expect("the changes", {r["name"]: r["change"] for r in rows}, wanted)
    for r in rows:
        for side, program in (("old_size", before), ("new_size", after)):
            if r[side] is not None and not program[r["name"]][1] <= r[side] < program[r["name"]][1] + ALIGNMENT:
                raise AssertionError(f"{r['name']}: {side} {r[side]}, the program's {program[r['name']][1]}")
    deltas = [abs(r["delta"]) for r in rows]
    expect("the order, largest change first", deltas, sorted(deltas, reverse=True))
    python = kestrum8_map.diff_sizes(kestrum8_map.parse(old[1]), kestrum8_map.parse(new[1]),
                                     kinds=["Func.", "Var."], memory=MEMORIES)
    expect("the Python package's changes", python["symbols"], rows)


def section_bytes(real, low, high):
    """What `size -A` counts in [low, high): the sizes of the sections that lie there."""
    text = run(TARGET["prefix"] + "size", "-A", real).stdout
    total = 0
    for line in text.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1].isdigit() and parts[2].isdigit():
            if low <= int(parts[2]) < high:
                total += int(parts[1])
    return total


def check_usage(real, map_path, ld_lines):
    """usage with the linker script's memories: used bytes within alignment of `size -A`'s
    sections, laid out as ld's --print-memory-usage, and the JSON and Python answers alike."""
    text = run(fw.MAPSYMS, "usage", *MEMORY_ARGS, map_path).stdout.splitlines()
    ld = [line for line in ld_lines.splitlines() if line.strip()]
    expect("the heading", text[0], ld[0])
    data = json.loads(run(fw.MAPSYMS, "usage", *MEMORY_ARGS, "--format", "json", map_path).stdout)
    for memory, line, ld_line in zip(data["memories"], text[1:], ld[1:]):
        low = memory["start"]
        wanted = section_bytes(real, low, low + memory["size"])
        if not wanted <= memory["used"] < wanted + ALIGNMENT:
            raise AssertionError(f"{memory['name']}: used {memory['used']}, size -A {wanted}")
        layout = lambda l: [m.end() for m in re.finditer(r"\S+", l)]
        expect(f"{memory['name']}'s columns against ld's", layout(line), layout(ld_line))
        if f"{memory['used']} B" not in line and memory["used"] % 1024:
            raise AssertionError(f"{line!r} does not say {memory['used']} B")
    python = kestrum8_map.parse(map_path).usage(memory=MEMORIES)
    expect("the Python package's usage", [(m["name"], m["used"]) for m in python["memories"]],
           [(m["name"], m["used"]) for m in data["memories"]])


def check_budget(map_path):
    """--fail-above fails the build over budget, naming the memory, and passes it under."""
    used = json.loads(run(fw.MAPSYMS, "usage", *MEMORY_ARGS, "--format", "json", map_path).stdout)
    ram = next(m for m in used["memories"] if m["name"] == "RAM")
    over = run(fw.MAPSYMS, "usage", *MEMORY_ARGS, "--fail-above", f"{ram['percent'] - 1:.2f}",
               map_path, check=False)
    expect("over budget: exit status", over.returncode, 1)
    if "RAM" not in over.stderr:
        raise AssertionError(f"the failure does not name RAM: {over.stderr!r}")
    under = run(fw.MAPSYMS, "usage", *MEMORY_ARGS, "--fail-above", f"{ram['percent'] + 1:.2f}",
                map_path, check=False)
    expect("under budget: exit status", under.returncode, 0)


def check_regions(old, new):
    """Without memories the inferred regions stand in: every region of either map is in the
    totals, held together with the regions of the other map that share a symbol or cover its
    addresses (RAM's markers split at the gap in the next build: one row), or new, or gone."""
    diff = json.loads(run(fw.MAPSYMS, "diff", "--sizes", "--format", "json", old[1], new[1],
                          check=False).stdout)
    regions = {side: [m["name"] for m in json.loads(run(fw.MAPSYMS, "usage", "--format", "json",
                                                         path).stdout)["memories"]]
               for side, path in (("old", old[1]), ("new", new[1]))}
    expect("the new regions", [n for t in diff["totals"] if t["new_used"] is not None
                               for n in t["memory"].split(" + ")], regions["new"])
    held = [w for t in diff["totals"] if t["was"] for w in t["was"].split(" + ")]
    expect("the old regions held or gone", sorted(set(held)), sorted(regions["old"]))
    expect("the largest change", diff["symbols"][0]["name"], "rx_ring")


def main():
    try:
        old = build("old", [])
        new = build("new", ["-DNEXT_BUILD"])
    except AssertionError as error:
        print(f"build: {error}\n0 passed, 1 failed")
        return 1
    for name, (real, map_path, _) in (("old", old), ("new", new)):
        case(f"{name}_sizes", check_sizes, real, map_path)
        case(f"{name}_usage", check_usage, real, map_path, _)
    case("growth", check_growth, old, new)
    case("budget", check_budget, new[1])
    case("regions", check_regions, old, new)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
