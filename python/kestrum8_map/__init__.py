# SPDX-License-Identifier: MIT
"""Symbol map files, read by the kestrum8_map library.

    >>> import kestrum8_map as k8
    >>> table = k8.parse("app.map")
    >>> table.lookup(0x1062)
    Hit(symbol=Symbol('uart_wait_tx', 0x0000105C, 'loc.', 's', line=17), offset=6)

parse() reads a map file, parse_text() a map held in memory; both give a Table of every symbol
(every kind) in file order. A map that does not parse raises MapError, which carries the
symbols read before the failure; a file that cannot be opened raises the matching OSError.
The package's own errors are kestrum8_map.Error (MapError); wrong arguments raise TypeError and
ValueError, files that cannot be read or written OSError, as Python's own functions do.
"""

from __future__ import annotations

import collections.abc
import enum
import os
from typing import Any, Optional, Tuple, Union

from ._core import ADDRESS_KINDS, ALL_KINDS, UNKNOWN_SIZE, diff_sizes
from ._core import Hit, Lookups, Note, Symbol, Table, TableIterator, library_version
from ._core import _ERROR_CODES, _NOTE_REASONS, _parse_file, _parse_text, _use_note_reason

__all__ = [
    "ADDRESS_KINDS", "ALL_KINDS", "Error", "ErrorCode", "Hit", "Lookups", "MapError", "Note",
    "NoteReason", "Symbol", "Table", "TableIterator", "UNKNOWN_SIZE", "diff_sizes", "parse",
    "parse_text", "__version__",
]

__version__: str = library_version()

#: ADDRESS_KINDS, the kinds lookups take by default, and ALL_KINDS, every kind, for their kinds=
#: argument: the library's kind keywords.

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]

#: Why a line made no symbol (Note.reason): the library's K8MAP_NOTE_ values by their names.
NoteReason = enum.IntEnum("NoteReason", _NOTE_REASONS, module=__name__)  # type: ignore[misc]
#: Why a parse failed (MapError.code): the library's K8MAP_ERROR_ values by their names.
ErrorCode = enum.IntEnum("ErrorCode", _ERROR_CODES, module=__name__)  # type: ignore[misc]
_use_note_reason(NoteReason)

# A Table is a read-only sequence of Symbols; its answers to lookup_many are one too, with the
# sequence's other methods (index, count, in, reversed).
for _sequence in (Table, Lookups):
    collections.abc.Sequence.register(_sequence)
    for _method in ("index", "count", "__contains__", "__reversed__"):
        setattr(_sequence, _method, getattr(collections.abc.Sequence, _method))
del _sequence, _method


class Error(Exception):
    """The base of this package's own errors."""


class MapError(Error, ValueError):
    """A map that does not parse.

    message: the library's whole message ("app.map:12: syntax error. ..."), str() of the error
    being the same on one line (a line end it quotes written \\n); path: the file's path (or
    the name given to parse_text); line: the line of the token the parse stopped at (for a line
    end, the line it ends), or None; code: the library's error code, an ErrorCode (READ,
    SYNTAX, TOKEN_TOO_LONG, MEMORY); token: the text of the token a syntax error stopped at, as bytes;
    table: the Table of the symbols read before the failure (None once pickled: a Table
    does not travel).
    """

    def __init__(self, message: str, path: str, line: Optional[int] = None,
                 table: Optional[Table] = None, code: int = 0, token: bytes = b"") -> None:
        super().__init__(message.replace("\n", "\\n"))
        self.message = message
        self.path = path
        self.line = line
        self.table = table
        self.code = ErrorCode(code) if code in ErrorCode._value2member_map_ else code
        self.token = token

    def __reduce__(self) -> Tuple[Any, ...]:
        return (type(self), (self.message, self.path, self.line, None, self.code, self.token))


Failure = Tuple[str, int, int, bytes, int]


def _checked(table: Table, ok: bool, failure: Failure, path: str) -> Table:
    if ok:
        return table
    message, code, line, token, system = failure
    message = message.rstrip("\n")
    if code in (ErrorCode.OPEN, ErrorCode.READ) and system != 0:
        # FileNotFoundError, IsADirectoryError, PermissionError, ... from the system's number
        error = OSError(system, os.strerror(system), path)
        if code == ErrorCode.OPEN:
            raise error
        raise MapError(message, path, line or None, table, code, token) from error
    raise MapError(message, path, line or None, table, code, token)


def parse(path: PathLike, *, notes: bool = False) -> Table:
    """The symbols of the map file at path (a str, bytes or os.PathLike; any bytes the system
    takes). With notes=True the table keeps the library's notes on the lines that made no
    symbol (Table.notes).

    Raises OSError (FileNotFoundError, IsADirectoryError, PermissionError, ...) when the file
    cannot be opened, MapError when it does not parse. The interpreter's lock is released
    while the map is read, so threads can parse different maps at once.
    """
    raw = os.fsencode(path)
    if b"\0" in raw:
        raise ValueError("embedded null byte in path")
    shown = os.fsdecode(raw)
    table, ok, failure = _parse_file(raw, shown, bool(notes))
    return _checked(table, ok, failure, shown)


def parse_text(data: Any, name: str = "<text>", *, notes: bool = False) -> Table:
    """The symbols of a map held in memory: any contiguous buffer of bytes (bytes, bytearray,
    memoryview, mmap, array.array('B'), a numpy uint8 array) or a str of ASCII characters. It
    reads exactly as a file holding those bytes (carriage returns dropped, a Ctrl-Z ends it);
    name stands for the path in messages. Raises MapError when it does not parse."""
    if isinstance(data, str):
        data = data.encode("ascii")
    try:
        view = memoryview(data)
    except TypeError:
        raise TypeError(f"map text must be bytes or str, not {type(data).__name__}") from None
    if not view.c_contiguous:
        raise TypeError("map text must be contiguous bytes")
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    if "\0" in name:
        raise ValueError("embedded null character in name")
    table, ok, failure = _parse_text(view.cast("B") if view.ndim else view, name, bool(notes))
    return _checked(table, ok, failure, name)
