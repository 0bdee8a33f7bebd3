# SPDX-License-Identifier: MIT
"""The extension module kestrum8_map._core: the library's sources compiled in, so that the
wheel needs nothing else. The sources and the version are read from the project's
CMakeLists.txt, where they are written once."""

import re
import sys
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

ParallelCompile("K8MAP_BUILD_JOBS", default=0).install()  # every core, unless set

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
CMAKE = (ROOT / "CMakeLists.txt").read_text()


def project_version():
    return re.search(r"project\(kestrum8_map VERSION ([0-9.]+)", CMAKE).group(1)


def core_sources():
    """The sources of the library's core target, each system's own where it has one."""
    block = re.search(r"add_library\(k8map_core STATIC(.*?)\n\)", CMAKE, re.S).group(1)
    windows, linux = sys.platform == "win32", sys.platform.startswith("linux")
    sources = []
    for line in block.split():
        choice = re.match(r"\$<IF:\$<(BOOL:\$\{WIN32\}|PLATFORM_ID:Linux)>,([^,]+),([^>]+)>", line)
        if choice:
            wanted = windows if choice.group(1).startswith("BOOL") else linux
            line = choice.group(2) if wanted else choice.group(3)
        sources.append(line)
    return sources


def writers_sources():
    """The sources of the exports' writers, shared with mapsyms."""
    block = re.search(r"add_library\(k8map_writers STATIC(.*?)\)", CMAKE, re.S).group(1)
    return block.split()


def relative(path):
    return str(Path("..", path))


def version_header():
    """kestrum8_map_version.h, as the CMake build makes it from the project's version; its
    folder."""
    major, minor, patch = project_version().split(".")
    text = (ROOT / "cmake" / "kestrum8_map_version.h.in").read_text()
    for name, value in (("MAJOR", major), ("MINOR", minor), ("PATCH", patch)):
        text = text.replace(f"@PROJECT_VERSION_{name}@", value)
    text = text.replace("@PROJECT_VERSION@", project_version())
    folder = HERE / "build" / "include"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "kestrum8_map_version.h").write_text(text)
    return str(folder.relative_to(HERE))


def report_assets(folder):
    """report_assets.inc, as cmake/embed_report.cmake makes it: the report's page, style and
    script as string constants."""
    text = ("// Generated from tools/writers/report by cmake/embed_report.cmake: do not edit.\n"
            "#pragma once\n#include <string_view>\n")
    for file, name in (("page.html", "kReportPage"), ("page.css", "kReportStyle"),
                       ("page.js", "kReportScript")):
        content = (ROOT / "tools" / "writers" / "report" / file).read_text()
        text += f'inline constexpr std::string_view {name} = R"k8report({content})k8report";\n'
    (HERE / folder / "report_assets.inc").write_text(text)


def licence():
    """The project's LICENSE beside this file, where the wheel's metadata takes it from."""
    (HERE / "LICENSE").write_text((ROOT / "LICENSE").read_text())


licence()
GENERATED = version_header()
report_assets(GENERATED)

extension = Pybind11Extension(
    "kestrum8_map._core",
    ["src/module.cpp", relative("src/api/table_exports.cpp")]
    + [relative(s) for s in core_sources() + writers_sources()],
    include_dirs=[relative("src"), relative("include"), relative("tools/writers"),
                  relative("tools/common"), GENERATED],
    # The C functions stay inside the module.
    define_macros=[("K8MAP_BUILDING_LIBRARY", None), ("K8MAP_API", "")],
    cxx_std=20,
    extra_compile_args=["-O2", "-fvisibility=hidden"],
)

long_description = (HERE / "README.md").read_text() if (HERE / "README.md").exists() else ""

setup(
    version=project_version(),
    ext_modules=[extension],
    cmdclass={"build_ext": build_ext},
)
