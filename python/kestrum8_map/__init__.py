# SPDX-License-Identifier: MIT
"""Symbol map files, read by the kestrum8_map library.

    >>> import kestrum8_map as k8
    >>> table = k8.parse("app.map")
    >>> table.lookup(0x1062)
    (Symbol('uart_wait_tx', 0x0000105C, 'loc.', 's', line=17), 6)

parse() reads a map file, parse_text() a map held in memory; both give a Table of every symbol
(every kind) in file order. A map that does not parse raises MapError, which carries the
symbols read before the failure; a file that cannot be opened raises the matching OSError.
"""

from __future__ import annotations

import os
from typing import Optional, Tuple, Union

from ._core import Lookups, Symbol, Table, library_version
from ._core import _parse_file, _parse_text

__all__ = ["MapError", "Lookups", "Symbol", "Table", "parse", "parse_text", "__version__"]

__version__: str = library_version()

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class MapError(ValueError):
    """A map that does not parse.

    message: the library's message ("app.map:12: syntax error. ..."); path: the file's path (or
    the name given to parse_text); line: the line of the token the parse stopped at (for a line
    end, the line it ends), or None; code: the library's error code (K8MAP_ERROR_*: 3 syntax,
    4 token too long, 5 memory, 2 read); token: the text of the token a syntax error stopped
    at, as bytes; table: the Table of the symbols read before the failure.
    """

    def __init__(self, message: str, path: str, line: Optional[int], table: Table,
                 code: int = 0, token: bytes = b"") -> None:
        super().__init__(message)
        self.message = message
        self.path = path
        self.line = line
        self.table = table
        self.code = code
        self.token = token


_ERROR_OPEN = 1
_ERROR_READ = 2

Failure = Tuple[str, int, int, bytes, int]


def _checked(table: Table, ok: bool, failure: Failure, path: str) -> Table:
    if ok:
        return table
    message, code, line, token, system = failure
    message = message.rstrip("\n")
    if code in (_ERROR_OPEN, _ERROR_READ) and system != 0:
        # FileNotFoundError, IsADirectoryError, PermissionError, ... from the system's number
        error = OSError(system, os.strerror(system), path)
        if code == _ERROR_OPEN:
            raise error
        raise MapError(message, path, line or None, table, code, token) from error
    raise MapError(message, path, line or None, table, code, token)


def parse(path: PathLike) -> Table:
    """The symbols of the map file at path (a str, bytes or os.PathLike).

    Raises OSError (FileNotFoundError, IsADirectoryError, PermissionError, ...) when the file
    cannot be opened, MapError when it does not parse. The interpreter's lock is released
    while the map is read, so threads can parse different maps at once.
    """
    raw = os.fsencode(path)
    if b"\0" in raw:
        raise ValueError("embedded null byte in path")
    shown = os.fsdecode(raw)
    table, ok, failure = _parse_file(raw, shown)
    return _checked(table, ok, failure, shown)


def parse_text(data: Union[bytes, bytearray, memoryview, str], name: str = "<text>") -> Table:
    """The symbols of a map held in memory: bytes-like, or a str of ASCII characters. It reads
    exactly as a file holding those bytes (carriage returns dropped, a Ctrl-Z ends it); name
    stands for the path in messages. Raises MapError when it does not parse."""
    if isinstance(data, str):
        data = data.encode("ascii")
    elif not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError(f"map text must be bytes or str, not {type(data).__name__}")
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    if "\0" in name:
        raise ValueError("embedded null character in name")
    table, ok, failure = _parse_text(data, name)
    return _checked(table, ok, failure, name)
