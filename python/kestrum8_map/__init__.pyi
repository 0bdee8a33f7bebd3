# SPDX-License-Identifier: MIT
import array
import enum
import os
from typing import Any, Iterable, Iterator, List, Literal, NamedTuple, Optional, Sequence, SupportsIndex, Tuple, TypedDict, Union, overload

__version__: str

PathLike = Union[str, bytes, os.PathLike[str], os.PathLike[bytes]]
_Kinds = Union[str, Iterable[str], None]

ADDRESS_KINDS: Tuple[str, ...]
ALL_KINDS: Tuple[str, ...]
UNKNOWN_SIZE: int
_Memory = Union[str, Iterable[str], None]

class MemoryUse(TypedDict):
    name: str
    start: int
    size: Optional[int]
    used: int
    free: Optional[int]
    percent: Optional[float]
    symbols: int
    unsized_top: Optional[Symbol]

class Usage(TypedDict):
    memories: List[MemoryUse]
    outside: List[Symbol]

class SizeChange(TypedDict):
    change: Literal["added", "removed", "grew", "shrank"]
    name: str
    kind: str
    old_value: Optional[int]
    new_value: Optional[int]
    old_size: Optional[int]
    new_size: Optional[int]
    delta: int

class UseChange(TypedDict):
    memory: str
    was: Optional[str]
    old_used: Optional[int]
    new_used: Optional[int]

class SizeDiff(TypedDict):
    symbols: List[SizeChange]
    totals: List[UseChange]
    more: int
    unknown: int

def diff_sizes(
    old: Table,
    new: Table,
    *,
    kinds: _Kinds = ...,
    memory: _Memory = ...,
    region_gap: SupportsIndex = ...,
    top: SupportsIndex = ...,
) -> SizeDiff: ...

class Symbol:
    def __init__(
        self,
        name: str,
        value: SupportsIndex,
        kind: str,
        scope: str,
        bit: Optional[SupportsIndex] = ...,
        line: SupportsIndex = ...,
    ) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...
    @property
    def kind(self) -> str: ...
    @property
    def scope(self) -> str: ...
    @property
    def bit(self) -> Optional[int]: ...
    @property
    def line(self) -> int: ...
    @property
    def is_address(self) -> bool: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...
    def __reduce__(self) -> Tuple[Any, ...]: ...

class NoteReason(enum.IntEnum):
    NOT_SPACE_FIRST = 1
    SEPARATOR = 2
    NO_NAME = 3
    NAME_START = 4
    NAME_CHARACTER = 5
    NAME_PLUS = 6
    NAME_KIND_JOINED = 7
    NAME_FORM_FEED = 8
    NAME_ALONE = 9
    KIND_CASE = 10
    KIND_DOT = 11
    KIND_MISSING = 12
    KIND_UNKNOWN = 13
    SCOPE_VALUE_MISSING = 14
    SCOPE_CASE = 15
    SCOPE_MISSING = 16
    SCOPE_UNKNOWN = 17
    VALUE_MISSING = 18
    VALUE_CAPITAL_X = 19
    VALUE_NO_DIGITS = 20
    VALUE_NOT_HEX = 21
    VALUE_NO_PREFIX = 22
    VALUE_TOO_MANY_DIGITS = 23
    VALUE_TOO_LONG = 24
    TRAILING_TEXT = 25
    TOKEN_TOO_LONG = 26
    CONTINUATION_BROKEN = 27
    CONTINUATION_UNENDED = 28
    ENTRY_IN_CONTINUATION = 29
    PIECE_ALONE = 30
    NO_LINE_END = 31
    NAME_CUT = 32
    NOT_READ = 33
    PIECE_OF_NO_SYMBOL = 34
    OTHER = 35

class ErrorCode(enum.IntEnum):
    NONE = 0
    OPEN = 1
    READ = 2
    SYNTAX = 3
    TOKEN_TOO_LONG = 4
    MEMORY = 5
    ARGUMENT = 6

class Hit(NamedTuple):
    symbol: Symbol
    offset: int

class Note(NamedTuple):
    line: int
    column: int
    reason: NoteReason
    text: str

class TableIterator:
    def __init__(self, *args: Any, **kwargs: Any) -> None: ...  # made by iter(table) only
    def __iter__(self) -> TableIterator: ...
    def __next__(self) -> Symbol: ...

class Lookups(Sequence[Optional[Hit]]):
    def __init__(self, *args: Any, **kwargs: Any) -> None: ...  # made by Table.lookup_many only
    @property
    def found(self) -> int: ...
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: int) -> Optional[Hit]: ...
    @overload
    def __getitem__(self, index: slice) -> List[Optional[Hit]]: ...
    def __iter__(self) -> Iterator[Optional[Hit]]: ...

_Addresses = Union[Iterable[SupportsIndex], memoryview, array.array[int]]

class Table(Sequence[Symbol]):
    def __init__(self, *args: Any, **kwargs: Any) -> None: ...  # made by parse and parse_text only
    @property
    def name(self) -> str: ...
    @property
    def notes(self) -> Tuple[Note, ...]: ...
    def __len__(self) -> int: ...
    @overload
    def __getitem__(self, index: SupportsIndex) -> Symbol: ...
    @overload
    def __getitem__(self, index: slice) -> List[Symbol]: ...
    def __iter__(self) -> TableIterator: ...
    def __copy__(self) -> Table: ...
    def __deepcopy__(self, memo: Any) -> Table: ...
    def find(self, name: str) -> Optional[Symbol]: ...
    def find_all(self, name: str) -> List[Symbol]: ...
    def of_kind(self, kinds: _Kinds) -> List[Symbol]: ...
    def values(self) -> array.array[int]: ...
    def kinds(self) -> array.array[int]: ...
    def names(self) -> List[str]: ...
    def lookup(
        self, address: SupportsIndex, *, max_offset: Optional[SupportsIndex] = ..., kinds: _Kinds = ...
    ) -> Optional[Hit]: ...
    @overload
    def lookup_many(
        self,
        addresses: _Addresses,
        *,
        max_offset: Optional[SupportsIndex] = ...,
        kinds: _Kinds = ...,
        as_indices: Literal[False] = ...,
    ) -> Lookups: ...
    @overload
    def lookup_many(
        self,
        addresses: _Addresses,
        *,
        max_offset: Optional[SupportsIndex] = ...,
        kinds: _Kinds = ...,
        as_indices: Literal[True],
    ) -> Tuple[array.array[int], array.array[int]]: ...
    @overload
    def lookup_many(
        self,
        addresses: _Addresses,
        *,
        max_offset: Optional[SupportsIndex] = ...,
        kinds: _Kinds = ...,
        as_indices: bool,
    ) -> Union[Lookups, Tuple[array.array[int], array.array[int]]]: ...
    def export(
        self,
        path: PathLike,
        format: Literal["elf", "ld", "h", "sym"] = ...,
        *,
        kinds: _Kinds = ...,
        scopes: Union[str, Iterable[str], None] = ...,
        names: Union[str, Iterable[str], None] = ...,
        machine: Union[str, int, None] = ...,
        thumb: bool = ...,
        big_endian: bool = ...,
        sizes: bool = ...,
        region_gap: SupportsIndex = ...,
        images: Optional[Iterable[Tuple[PathLike, SupportsIndex]]] = ...,
    ) -> int: ...
    def sizes(
        self, kinds: _Kinds = ..., *, memory: _Memory = ..., region_gap: SupportsIndex = ...
    ) -> array.array[int]: ...
    def usage(self, *, memory: _Memory = ..., region_gap: SupportsIndex = ...) -> Usage: ...
    def report(
        self,
        path: PathLike,
        new: Optional[Table] = ...,
        *,
        kinds: _Kinds = ...,
        region_gap: SupportsIndex = ...,
        title: Optional[str] = ...,
    ) -> None: ...

class Error(Exception): ...

class MapError(Error, ValueError):
    message: str
    path: str
    line: Optional[int]
    table: Optional[Table]
    code: int
    token: bytes
    def __init__(
        self,
        message: str,
        path: str,
        line: Optional[int] = ...,
        table: Optional[Table] = ...,
        code: int = ...,
        token: bytes = ...,
    ) -> None: ...

def library_version() -> str: ...
def parse(path: PathLike, *, notes: bool = ...) -> Table: ...
def parse_text(data: Any, name: str = ..., *, notes: bool = ...) -> Table: ...
