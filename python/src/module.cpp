// SPDX-License-Identifier: MIT
// kestrum8_map._core: symbol tables for Python, over the library's C functions (compiled into
// this module). Tables are made by a parse and never change afterwards; a Symbol is made when
// it is asked for, a copy of the table's entry, so it outlives its table. Bulk answers (values,
// kinds, lookups as indices) are arrays filled here, with no Python object per symbol.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kestrum8_map.h"
#include "memory_sizes.h"
#include "report.h"
#include "symbol_export.h"

namespace py = pybind11;

namespace {

constexpr std::uint32_t kDefaultMaxOffset = 0x10000;  // as mapsyms bounds its lookups

// A symbol as Python sees it: immutable, compared and hashed by its fields.
struct Symbol {
  std::string name;
  std::uint32_t value = 0;
  std::string kind;
  std::string scope;
  std::optional<int> bit;
  std::uint32_t line = 0;

  static Symbol Of(const MapSymbol& s) {
    std::optional<int> bit;
    if (s.bit >= 0) bit = s.bit;
    return {s.name, s.value, GetKindName(s.kind), std::string(1, s.scope), bit, s.line};
  }
  bool is_address() const {
    return (K8MAP_KINDS_ADDRESS & K8MAP_KIND_MASK(GetKindByName(kind.c_str()))) != 0;
  }
  auto Fields() const { return std::tie(name, value, kind, scope, bit, line); }
  bool operator==(const Symbol& other) const { return Fields() == other.Fields(); }
  py::tuple Tuple() const { return py::make_tuple(name, value, kind, scope, bit, line); }

  std::string Repr() const {
    char value_text[16];
    std::snprintf(value_text, sizeof value_text, "0x%08X", static_cast<unsigned>(value));
    std::string text = "Symbol(" + py::repr(py::str(name)).cast<std::string>() + ", " + value_text +
                       ", '" + kind + "', '" + scope + "'";
    if (bit) text += ", bit=" + std::to_string(*bit);
    return text + ", line=" + std::to_string(line) + ")";
  }
};

// A size the map does not tell, in the arrays of sizes.
constexpr std::uint32_t kUnknownSizeValue = 0xFFFFFFFFu;

std::string TypeName(const py::handle& value) {
  return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

// An integer-like value (an int, a numpy integer, anything with __index__ but a bool) within
// 0 to most.
std::uint32_t Number(const py::handle& value, const char* what, std::uint32_t most = 0xFFFFFFFFu) {
  if (PyLong_CheckExact(value.ptr())) {  // the usual case, without making objects
    int overflow = 0;
    long long number = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
    if (overflow == 0 && number >= 0 && static_cast<unsigned long long>(number) <= most) {
      return static_cast<std::uint32_t>(number);
    }
  }
  if (py::isinstance<py::bool_>(value) || !py::hasattr(value, "__index__")) {
    throw py::type_error(std::string(what) + " must be an int, not " + TypeName(value));
  }
  py::int_ number = py::reinterpret_steal<py::int_>(PyNumber_Index(value.ptr()));
  if (!number) throw py::error_already_set();
  if (number < py::int_(0) || number > py::int_(most)) {
    char bound[16];
    std::snprintf(bound, sizeof bound, "%#X", static_cast<unsigned>(most));
    throw py::value_error(std::string(what) + " must be 0 to " + bound + ", not " +
                          py::str(number).cast<std::string>());
  }
  return number.cast<std::uint32_t>();
}

// The kind keywords of a set of kinds, in kind order.
py::tuple KindNames(std::uint32_t kinds) {
  py::list names;
  for (int k = K8MAP_KIND_ADDR; k <= K8MAP_KIND_ARG; ++k) {
    if ((kinds & K8MAP_KIND_MASK(k)) != 0) names.append(GetKindName(k));
  }
  return py::tuple(names);
}

// The kind number of a kind keyword.
int KindNumber(const std::string& kind) {
  if (int k = GetKindByName(kind.c_str()); k != 0) return k;
  std::string keywords;
  for (int k = K8MAP_KIND_ADDR; k <= K8MAP_KIND_ARG; ++k) {
    keywords += std::string(k == K8MAP_KIND_ADDR ? "" : ", ") + GetKindName(k);
  }
  throw py::value_error("kind must be one of " + keywords + "; got " +
                        py::repr(py::str(kind)).cast<std::string>());
}

// kinds as lookups take it: None for the address kinds, a kind keyword, or an iterable of them.
std::uint32_t KindMask(const py::object& kinds) {
  if (kinds.is_none()) return K8MAP_KINDS_ADDRESS;
  if (py::isinstance<py::str>(kinds)) return K8MAP_KIND_MASK(KindNumber(kinds.cast<std::string>()));
  std::uint32_t mask = 0;
  for (const py::handle& kind : kinds) {
    if (!py::isinstance<py::str>(kind)) {
      throw py::type_error("kinds must be kind keywords (str), not " + TypeName(kind));
    }
    mask |= K8MAP_KIND_MASK(KindNumber(kind.cast<std::string>()));
  }
  return mask;
}

std::uint32_t MaxOffset(const py::object& max_offset) {
  return max_offset.is_none() ? K8MAP_NO_LIMIT : Number(max_offset, "max_offset");
}

Symbol MakeSymbol(std::string name, const py::object& value, const std::string& kind,
                  const std::string& scope, const py::object& bit, const py::object& line) {
  KindNumber(kind);
  if (scope != "a" && scope != "g" && scope != "s") {
    throw py::value_error("scope must be 'a', 'g' or 's'");
  }
  std::optional<int> digit;
  if (!bit.is_none()) digit = static_cast<int>(Number(bit, "bit", 9));
  return {std::move(name), Number(value, "value"), kind, scope, digit, Number(line, "line")};
}

struct FreeTable {
  void operator()(SymbolTable* table) const { FreeSymbolTable(table); }
};

// A new array.array of typecode with n items, and where its items are, to be filled here.
template <class Item>
std::pair<py::object, Item*> NewArray(const char* typecode, std::size_t n) {
  py::object array = py::module_::import("array").attr("array")(
      typecode, py::bytes(std::string(sizeof(Item), '\0')));
  array = array.attr("__mul__")(n);
  py::buffer_info info = py::reinterpret_borrow<py::buffer>(array).request(true);
  return {array, static_cast<Item*>(info.ptr)};
}

// The symbols of one parse. The library's table is only read once the parse is done, by any
// number of threads.
class Table {
 public:
  explicit Table(py::object name, bool notes)
      : name_(std::move(name)), table_(CreateSymbolTable()) {
    if (table_ == nullptr) throw std::bad_alloc();
    if (notes) SetSymbolTableFlags(table_.get(), K8MAP_TABLE_NOTES);
  }

  // Parses into the table without the interpreter's lock; true on success.
  bool ParseFile(const std::string& path) {
    py::gil_scoped_release unlocked;
    return ParseMapFile(table_.get(), path.c_str()) == 0;
  }
  bool ParseText(const char* text, std::size_t size, const std::string& name) {
    py::gil_scoped_release unlocked;
    return ParseMapText(table_.get(), text, size, name.c_str()) == 0;
  }
  // The failure of the parse: (message, code, line, token, system error number).
  py::tuple Failure() const {
    const SymbolTable* t = table_.get();
    // A message cut at its buffer's end may end inside a character: the damage shows as U+FFFD.
    const char* message = GetSymbolTableError(t);
    auto text = py::reinterpret_steal<py::str>(
        PyUnicode_DecodeUTF8(message, static_cast<Py_ssize_t>(std::strlen(message)), "replace"));
    return py::make_tuple(text, GetSymbolTableErrorCode(t), GetSymbolTableErrorLine(t),
                          py::bytes(GetSymbolTableErrorToken(t)), GetSymbolTableErrorSystem(t));
  }

  std::size_t Size() const { return GetSymbolCount(table_.get()); }
  const MapSymbol* symbols() const { return GetSymbols(table_.get()); }
  const py::object& name() const { return name_; }
  const SymbolTable* get() const { return table_.get(); }
  mutable py::object notes = py::none();  // Table.notes once made

  Symbol At(const py::object& position) const {
    if (py::isinstance<py::bool_>(position) || !py::hasattr(position, "__index__")) {
      throw py::type_error("symbol indices must be integers or slices, not " + TypeName(position));
    }
    auto number = py::reinterpret_steal<py::int_>(PyNumber_Index(position.ptr()));
    if (!number) throw py::error_already_set();
    int overflow = 0;
    long long index = PyLong_AsLongLongAndOverflow(number.ptr(), &overflow);
    if (overflow != 0) throw py::index_error("symbol index out of range");
    auto n = static_cast<long long>(Size());
    if (index < 0) index += n;
    if (index < 0 || index >= n) throw py::index_error("symbol index out of range");
    return Symbol::Of(symbols()[index]);
  }
  std::vector<Symbol> Slice(const py::slice& slice) const {
    std::size_t start = 0, stop = 0, step = 0, length = 0;
    if (!slice.compute(Size(), &start, &stop, &step, &length)) throw py::error_already_set();
    std::vector<Symbol> out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i, start += step)
      out.push_back(Symbol::Of(symbols()[start]));
    return out;
  }

  // The first symbol of exactly that name (none for a name holding NUL: no symbol's does).
  std::optional<Symbol> Find(const std::string& name) const {
    if (name.find('\0') != std::string::npos) return std::nullopt;
    const MapSymbol* found = FindSymbolByName(table_.get(), name.c_str());
    if (found == nullptr) return std::nullopt;
    return Symbol::Of(*found);
  }

  // Every symbol of exactly that name, in table order.
  std::vector<Symbol> FindAll(const std::string& name) const {
    std::vector<Symbol> out;
    if (name.find('\0') != std::string::npos) return out;
    std::vector<const MapSymbol*> found(FindSymbolsByName(table_.get(), name.c_str(), nullptr, 0));
    FindSymbolsByName(table_.get(), name.c_str(), found.data(), found.size());
    for (const MapSymbol* s : found) out.push_back(Symbol::Of(*s));
    return out;
  }

 private:
  py::object name_;
  std::unique_ptr<SymbolTable, FreeTable> table_;
};

// Iteration over a table's symbols, each made as it is reached.
class TableIterator {
 public:
  explicit TableIterator(std::shared_ptr<const Table> table) : table_(std::move(table)) {}
  Symbol Next() {
    if (next_ >= table_->Size()) throw py::stop_iteration();
    return Symbol::Of(table_->symbols()[next_++]);
  }

 private:
  std::shared_ptr<const Table> table_;
  std::size_t next_ = 0;
};

py::object g_hit;          // the named tuple Hit(symbol, offset)
py::object g_note;         // the named tuple Note(line, column, reason, text)
py::object g_note_reason;  // the type of a Note's reason: int, NoteReason once the package made it

py::object Answer(const MapSymbol* found, std::uint32_t address) {
  if (found == nullptr) return py::none();
  return g_hit(Symbol::Of(*found), address - found->value);
}

// The answers of lookup_many, made into Hits when asked for.
class Lookups {
 public:
  Lookups(std::shared_ptr<const Table> table, std::vector<std::uint32_t> addresses,
          std::uint32_t kinds, std::uint32_t max_offset)
      : table_(std::move(table)), addresses_(std::move(addresses)) {
    found_.resize(addresses_.size());
    py::gil_scoped_release unlocked;
    found_count_ = FindNearestSymbols(table_->get(), addresses_.data(), addresses_.size(), kinds,
                                      max_offset, found_.data());
  }

  std::size_t Size() const { return addresses_.size(); }
  py::object At(long long index) const {
    auto n = static_cast<long long>(Size());
    if (index < 0) index += n;
    if (index < 0 || index >= n) throw py::index_error("lookup index out of range");
    return Answer(found_[index], addresses_[index]);
  }
  py::list Slice(const py::slice& slice) const {
    std::size_t start = 0, stop = 0, step = 0, length = 0;
    if (!slice.compute(Size(), &start, &stop, &step, &length)) throw py::error_already_set();
    py::list out;
    for (std::size_t i = 0; i < length; ++i, start += step)
      out.append(Answer(found_[start], addresses_[start]));
    return out;
  }
  std::size_t Found() const { return found_count_; }

 private:
  std::shared_ptr<const Table> table_;  // its symbols are what found_ points to
  std::vector<std::uint32_t> addresses_;
  std::vector<const MapSymbol*> found_;
  std::size_t found_count_ = 0;
};

// A buffer's integers, whatever their size, signedness and byte order, each checked to be an
// address. Formats as the struct module writes them ("<u4" arrays say "<I").
std::vector<std::uint32_t> BufferAddresses(const py::buffer_info& info) {
  std::string format = info.format;
  char order = '=';
  if (!format.empty() && std::strchr("@=<>!", format[0]) != nullptr)
    order = format[0], format.erase(0, 1);
  if (info.ndim != 1 || format.size() != 1 || std::strchr("bBhHiIlLqQnN", format[0]) == nullptr) {
    throw py::type_error("addresses must be integers, not a buffer of format '" + info.format +
                         "'");
  }
  bool is_signed = std::islower(static_cast<unsigned char>(format[0])) != 0;
  bool swap = order == '>' || order == '!';
  auto size = static_cast<std::size_t>(info.itemsize);
  std::vector<std::uint32_t> out(static_cast<std::size_t>(info.shape[0]));
  const auto* base = static_cast<const unsigned char*>(info.ptr);
  if (size == 4 && !is_signed && !swap && info.strides[0] == 4) {  // native 32-bit: as it is
    std::memcpy(out.data(), base, out.size() * 4);
    return out;
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    const unsigned char* item = base + static_cast<std::ptrdiff_t>(i) * info.strides[0];
    std::uint64_t raw = 0;
    for (std::size_t b = 0; b < size; ++b) {
      std::size_t from = swap ? size - 1 - b : b;  // little-endian order of significance
      raw |= static_cast<std::uint64_t>(item[from]) << (8 * b);
    }
    bool negative = is_signed && (raw >> (8 * size - 1) & 1) != 0;
    if (negative || raw > 0xFFFFFFFFu) {
      int unused = 64 - 8 * static_cast<int>(size);  // a negative item sign-extended to 64 bits
      std::string shown = negative
                              ? std::to_string(static_cast<std::int64_t>(raw << unused) >> unused)
                              : std::to_string(raw);
      throw py::value_error("address must be 0 to 0XFFFFFFFF, not " + shown);
    }
    out[i] = static_cast<std::uint32_t>(raw);
  }
  return out;
}

// Bytes-like objects without a dtype: their items are bytes, not addresses.
bool ByteBuffer(const py::object& value) {
  if (py::isinstance<py::bytes>(value) || py::isinstance<py::str>(value) ||
      PyByteArray_Check(value.ptr())) {
    return true;
  }
  if (!py::isinstance<py::buffer>(value) || py::hasattr(value, "dtype")) return false;
  py::buffer_info info = py::reinterpret_borrow<py::buffer>(value).request();
  return info.itemsize == 1;
}

// The addresses of lookup_many: a buffer of integers (array.array, numpy arrays of any integer
// dtype), or any iterable of integer-like values.
// A buffer of native 32-bit unsigned integers, one after another (array('I'), numpy uint32),
// which lookups read where it is; none for anything else.
std::optional<py::buffer_info> NativeAddresses(const py::object& addresses) {
  if (!py::isinstance<py::buffer>(addresses) || py::isinstance<py::bytes>(addresses)) return {};
  py::buffer_info info = py::reinterpret_borrow<py::buffer>(addresses).request();
  std::string format = info.format;
  bool native =
      format == "I" || format == "=I" || format == "<I" || format == "L" || format == "<L";
  if (info.ndim != 1 || info.itemsize != 4 || !native || info.strides[0] != 4) return {};
  return info;
}

std::vector<std::uint32_t> Addresses(const py::object& addresses) {
  if (ByteBuffer(addresses)) {
    throw py::type_error("addresses must be integers, not the bytes of a " + TypeName(addresses) +
                         ": give array.array('I'), a numpy integer array or a list of ints");
  }
  if (py::isinstance<py::buffer>(addresses)) {
    return BufferAddresses(py::reinterpret_borrow<py::buffer>(addresses).request());
  }
  std::vector<std::uint32_t> out;
  if (PyList_Check(addresses.ptr()) || PyTuple_Check(addresses.ptr())) {  // items as they are
    py::sequence items = py::reinterpret_borrow<py::sequence>(addresses);
    out.resize(static_cast<std::size_t>(PySequence_Fast_GET_SIZE(items.ptr())));
    PyObject** item = PySequence_Fast_ITEMS(items.ptr());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = Number(item[i], "address");
    return out;
  }
  if (py::hasattr(addresses, "__len__")) out.reserve(py::len(addresses));
  for (const py::handle& item : py::iter(addresses)) out.push_back(Number(item, "address"));
  return out;
}

// lookup_many's answers as two arrays: each address's symbol index (-1 for none) and offset
// (0 for none).
// lookup_many's answers as two arrays: each address's symbol index (-1 for none) and offset (0
// for none). The library writes them where they go: an index of 32 bits, whose none
// (K8MAP_NO_SYMBOL) reads as -1, for any table of fewer than 2^31 symbols; 64 bits beyond.
py::tuple AsIndices(const Table& table, const std::uint32_t* addresses, std::size_t count,
                    std::uint32_t kinds, std::uint32_t max_offset) {
  auto [offsets, offset] = NewArray<std::uint32_t>("I", count);
  if (table.Size() < (std::size_t{1} << 31)) {
    auto [indices, index] = NewArray<std::int32_t>("i", count);
    static_assert(static_cast<std::int32_t>(K8MAP_NO_SYMBOL) == -1);
    {
      py::gil_scoped_release unlocked;
      FindNearestSymbolIndices(table.get(), addresses, count, kinds, max_offset,
                               reinterpret_cast<std::uint32_t*>(index), offset);
    }
    return py::make_tuple(indices, offsets);
  }
  auto [indices, index] = NewArray<std::int64_t>("q", count);
  {
    py::gil_scoped_release unlocked;
    std::vector<std::uint32_t> numbers(count);
    FindNearestSymbolIndices(table.get(), addresses, count, kinds, max_offset, numbers.data(),
                             offset);
    for (std::size_t i = 0; i < count; ++i) {
      index[i] = numbers[i] == K8MAP_NO_SYMBOL ? -1 : static_cast<std::int64_t>(numbers[i]);
    }
  }
  return py::make_tuple(indices, offsets);
}

py::object Values(const Table& table) {
  auto [values, value] = NewArray<std::uint32_t>("I", table.Size());
  const MapSymbol* s = table.symbols();
  for (std::size_t i = 0; i < table.Size(); ++i) value[i] = s[i].value;
  return values;
}

py::object Kinds(const Table& table) {
  auto [kinds, kind] = NewArray<std::uint8_t>("B", table.Size());
  const MapSymbol* s = table.symbols();
  for (std::size_t i = 0; i < table.Size(); ++i) kind[i] = s[i].kind;
  return kinds;
}

py::list Names(const Table& table) {
  py::list names(table.Size());
  const MapSymbol* s = table.symbols();
  for (std::size_t i = 0; i < table.Size(); ++i) {
    PyObject* name =
        PyUnicode_DecodeASCII(s[i].name, static_cast<Py_ssize_t>(std::strlen(s[i].name)), nullptr);
    if (name == nullptr) throw py::error_already_set();
    PyList_SET_ITEM(names.ptr(), static_cast<Py_ssize_t>(i), name);
  }
  return names;
}

std::vector<Symbol> OfKind(const Table& table, const py::object& kinds) {
  std::uint32_t mask = KindMask(kinds);
  std::vector<Symbol> out;
  const MapSymbol* s = table.symbols();
  for (std::size_t i = 0; i < table.Size(); ++i) {
    if ((mask >> s[i].kind) & 1u) out.push_back(Symbol::Of(s[i]));
  }
  return out;
}

// Table.notes: made on first use, then the same tuple.
py::tuple Notes(const Table& table) {
  if (!table.notes.is_none()) return table.notes;
  const MapNote* note = GetNotes(table.get());
  py::tuple notes(GetNoteCount(table.get()));
  for (std::size_t i = 0; i < notes.size(); ++i) {
    notes[i] = g_note(note[i].line, note[i].column, g_note_reason(note[i].reason),
                      GetNoteText(note[i].reason));
  }
  table.notes = notes;
  return notes;
}

// A file that could not be read or written: OSError with the system's reason and the path, or
// ValueError where the system gave none.
[[noreturn]] void RaiseFileFailure(const k8writers::FileFailure& failure, const py::object& path) {
  if (failure.system == 0) throw py::value_error(failure.message);
  py::object reason = py::module_::import("os").attr("strerror")(failure.system);
  PyErr_SetObject(PyExc_OSError, py::make_tuple(failure.system, reason, path).ptr());
  throw py::error_already_set();
}

// The bytes of a path (str, bytes or os.PathLike, in any encoding) as the system takes them.
std::string PathBytes(const py::object& path) {
  std::string bytes = py::module_::import("os").attr("fsencode")(path).cast<std::string>();
  if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null byte in path");
  return bytes;
}

// A table's name for messages and comments: its path's bytes, or a str's UTF-8.
std::string NameBytes(const py::object& name) {
  if (py::isinstance<py::str>(name) || py::isinstance<py::bytes>(name) ||
      py::hasattr(name, "__fspath__")) {
    return py::module_::import("os").attr("fsencode")(name).cast<std::string>();
  }
  return py::str(name).cast<std::string>();
}

// A str argument, or a TypeError that names it.
std::string Text(const py::object& value, const char* what) {
  if (!py::isinstance<py::str>(value)) {
    throw py::type_error(std::string(what) + " must be a str, not " + TypeName(value));
  }
  return value.cast<std::string>();
}

// A str, or an iterable of str, as a list of texts; a TypeError naming the argument otherwise.
std::vector<std::string> Texts(const py::object& value, const char* what, const char* takes) {
  if (py::isinstance<py::str>(value)) return {value.cast<std::string>()};
  std::vector<std::string> texts;
  if (!py::hasattr(value, "__iter__") || py::isinstance<py::bytes>(value)) {
    throw py::type_error(std::string(what) + " must be " + takes + ", not " + TypeName(value));
  }
  for (const py::handle& item : value) {
    if (!py::isinstance<py::str>(item)) {
      throw py::type_error(std::string(what) + " must be " + takes + ", not a list holding " +
                           TypeName(item));
    }
    texts.push_back(item.cast<std::string>());
  }
  return texts;
}

// scopes=: a str of scope letters ("g", "as") or a list of them, each a, g or s.
std::string ScopeLetters(const py::object& scopes) {
  std::string letters;
  for (const std::string& given :
       Texts(scopes, "scopes", "a str of scope letters or a list of them")) {
    for (char letter : given) {
      if (letter != 'a' && letter != 'g' && letter != 's') {
        throw py::value_error("unknown scope '" + std::string(1, letter) + "' (a, g or s)");
      }
    }
    if (given.empty()) throw py::value_error("unknown scope '' (a, g or s)");
    letters += given;
  }
  return letters;
}

// Table.export: the symbols written as mapsyms export writes them, through the same writers.
std::uint64_t Export(const Table& table, const py::object& path, const std::string& format,
                     const py::object& kinds, const py::object& scopes, const py::object& names,
                     const py::object& machine, bool thumb, bool big_endian, bool sizes,
                     const py::object& region_gap, const py::object& images) {
  k8writers::ExportOptions options;
  if (!k8writers::ParseExportFormat(format, &options.format)) {
    throw py::value_error("unknown format '" + format + "' (" + k8writers::FormatNames() + ")");
  }
  k8writers::Selection selection = k8writers::DefaultSelection(options.format);
  if (!kinds.is_none()) selection.kinds = KindMask(kinds);
  if (!scopes.is_none()) selection.scopes = ScopeLetters(scopes);
  if (!names.is_none()) selection.names = Texts(names, "names", "a name pattern or a list of them");
  if (py::isinstance<py::str>(machine)) {
    std::string machine_text = machine.cast<std::string>();
    if (!k8writers::ParseMachine(machine_text, &options.machine)) {
      throw py::value_error("unknown machine '" + machine_text + "' (" + k8writers::MachineNames() +
                            ", or a number)");
    }
  } else if (!machine.is_none()) {
    options.machine = static_cast<std::uint16_t>(Number(machine, "machine", 0xFFFF));
  }
  if (thumb && options.machine != 0x28) throw py::value_error("thumb is for machine 'arm'");
  options.thumb = thumb;
  options.region_gap = Number(region_gap, "region_gap");
  options.big_endian = big_endian;
  options.sizes = sizes;
  std::string where = PathBytes(path);
  options.output_name = where;
  options.map_names.push_back(NameBytes(table.name()));
  std::string error;
  if (!images.is_none()) {
    for (const py::handle& image : images) {
      if (!py::isinstance<py::sequence>(image) || py::isinstance<py::str>(image) ||
          py::len(image) != 2) {
        throw py::type_error("images must be a list of (path, address) pairs, not a list holding " +
                             TypeName(image));
      }
      py::object image_path = image[py::int_(0)], address = image[py::int_(1)];
      options.images.emplace_back();
      std::string file = PathBytes(image_path);
      k8writers::FileFailure failure;
      if (!k8writers::ReadImageFile(file, Number(address, "address"), &options.images.back(),
                                    &failure)) {
        RaiseFileFailure(failure, image_path);
      }
    }
  }
  if (!k8writers::ImagesApart(options.images, &error)) throw py::value_error(error);
  std::vector<k8writers::MapSymbols> maps = {{options.map_names[0], table.symbols(), table.Size()}};
  std::vector<const MapSymbol*> chosen = k8writers::SelectSymbols(maps, selection);
  k8writers::ExportReport report;
  k8writers::FileFailure failure;
  bool written;
  {
    py::gil_scoped_release unlocked;
    written = k8writers::ExportToFile(chosen, options, where, &report, &failure);
  }
  if (!written) RaiseFileFailure(failure, path);
  return report.conflicts;
}

// The size views' options: memory (a "NAME=START,SIZE" str or a list of them) and region_gap.
k8writers::SizeOptions SizeOptionsOf(const py::object& memory, const py::object& region_gap) {
  k8writers::SizeOptions options;
  options.region_gap = Number(region_gap, "region_gap");
  if (options.region_gap == 0) throw py::value_error("region_gap must be at least 1");
  std::string error;
  if (!memory.is_none()) {
    for (const std::string& text : Texts(memory, "memory", "a str or a list of str")) {
      k8writers::NamedMemory named;
      if (!k8writers::ParseMemory(text, &named, &error)) throw py::value_error(error);
      options.memories.push_back(std::move(named));
    }
  }
  if (!k8writers::MemoriesApart(options.memories, &error)) throw py::value_error(error);
  return options;
}

k8writers::MapSymbols MapOf(const Table& table) {
  return {NameBytes(table.name()), table.symbols(), table.Size()};
}

py::object SizeOrNone(std::int64_t size, bool present) {
  return present && size != k8writers::kUnknownSize ? py::object(py::int_(size)) : py::none();
}

py::object Sizes(const Table& table, const py::object& kinds, const py::object& memory,
                 const py::object& region_gap) {
  std::uint32_t mask = kinds.is_none() ? K8MAP_KINDS_ALL : KindMask(kinds);
  k8writers::SizeOptions options = SizeOptionsOf(memory, region_gap);
  std::vector<std::uint32_t> sizes(table.Size(), kUnknownSizeValue);
  k8writers::MapSymbols map = MapOf(table);
  {
    py::gil_scoped_release unlocked;
    k8writers::SizedMap sized = k8writers::SizeMap(map, options);
    for (std::size_t i = 0; i < sized.symbols.size(); ++i) {
      std::int64_t size = sized.layout.sizes[i];
      if (size != k8writers::kUnknownSize) {
        sizes[static_cast<std::size_t>(sized.symbols[i] - table.symbols())] =
            static_cast<std::uint32_t>(size);
      }
    }
  }
  const MapSymbol* s = table.symbols();
  std::size_t count = 0;
  for (std::size_t i = 0; i < table.Size(); ++i) count += (mask >> s[i].kind) & 1u;
  auto [array, item] = NewArray<std::uint32_t>("I", count);
  for (std::size_t i = 0, at = 0; i < table.Size(); ++i) {
    if ((mask >> s[i].kind) & 1u) item[at++] = sizes[i];
  }
  return array;
}

py::dict Usage(const Table& table, const py::object& memory, const py::object& region_gap) {
  k8writers::SizeOptions options = SizeOptionsOf(memory, region_gap);
  k8writers::Usage usage;
  k8writers::MapSymbols map = MapOf(table);
  {
    py::gil_scoped_release unlocked;
    usage = k8writers::MeasureUsage(k8writers::AddressSymbols(map), options);
  }
  py::list memories, outside;
  for (const k8writers::MemoryUse& use : usage.memories) {
    py::dict d;
    d["name"] = use.name;
    d["start"] = use.start;
    d["size"] = use.named ? py::object(py::int_(use.size)) : py::none();
    d["used"] = use.used;
    d["free"] =
        use.named ? py::object(py::int_(use.size - std::min(use.size, use.used))) : py::none();
    d["percent"] = use.named ? py::object(py::float_(use.Percent())) : py::none();
    d["symbols"] = use.symbols;
    d["unsized_top"] =
        use.unsized_top != nullptr ? py::cast(Symbol::Of(*use.unsized_top)) : py::none();
    memories.append(d);
  }
  for (const MapSymbol* s : usage.outside) outside.append(py::cast(Symbol::Of(*s)));
  py::dict result;
  result["memories"] = memories;
  result["outside"] = outside;
  return result;
}

py::dict DiffSizes(const Table& old_table, const Table& new_table, const py::object& kinds,
                   const py::object& memory, const py::object& region_gap, const py::object& top) {
  std::uint32_t mask = kinds.is_none() ? k8writers::ObjectKinds() : KindMask(kinds);
  k8writers::SizeOptions options = SizeOptionsOf(memory, region_gap);
  std::size_t most = Number(top, "top");
  k8writers::SizeDiff diff;
  k8writers::MapSymbols old_map = MapOf(old_table), new_map = MapOf(new_table);
  {
    py::gil_scoped_release unlocked;
    diff = k8writers::DiffSizes(old_map, new_map, mask, options);
  }
  std::size_t shown = most == 0 ? diff.rows.size() : std::min(most, diff.rows.size());
  py::list symbols, totals;
  for (std::size_t i = 0; i < shown; ++i) {
    const k8writers::SizeRow& row = diff.rows[i];
    const MapSymbol& s = row.after != nullptr ? *row.after : *row.before;
    py::dict d;
    d["change"] = k8writers::kChangeNames[row.change];
    d["name"] = std::string(s.name);
    d["kind"] = GetKindName(s.kind);
    d["old_value"] = row.before != nullptr ? py::object(py::int_(row.before->value)) : py::none();
    d["new_value"] = row.after != nullptr ? py::object(py::int_(row.after->value)) : py::none();
    d["old_size"] = SizeOrNone(row.old_size, row.before != nullptr);
    d["new_size"] = SizeOrNone(row.new_size, row.after != nullptr);
    d["delta"] = row.Delta();
    symbols.append(d);
  }
  for (const k8writers::UseChange& total : diff.totals) {
    py::dict d;
    d["memory"] = total.name;
    d["was"] = total.was.empty() ? py::object(py::none()) : py::object(py::str(total.was));
    d["old_used"] = SizeOrNone(total.old_used, total.old_used >= 0);
    d["new_used"] = SizeOrNone(total.new_used, total.new_used >= 0);
    totals.append(d);
  }
  py::dict result;
  result["symbols"] = symbols;
  result["totals"] = totals;
  result["more"] = diff.rows.size() - shown;
  result["unknown"] = diff.unknown;
  return result;
}

// Table.report: the page mapsyms report writes, through the same writer.
void Report(const Table& table, const py::object& path, const py::object& new_table,
            const py::object& kinds, const py::object& region_gap, const py::object& title) {
  k8writers::ReportOptions options;
  options.kinds = kinds.is_none() ? k8writers::ReportDefaultKinds() : KindMask(kinds);
  options.region_gap = Number(region_gap, "region_gap");
  if (!title.is_none()) options.title = Text(title, "title");
  py::module_ os = py::module_::import("os");
  std::string where = PathBytes(path);
  k8writers::MapSymbols old_map{NameBytes(table.name()), table.symbols(), table.Size()};
  std::optional<k8writers::MapSymbols> new_map;
  std::shared_ptr<Table> other;
  if (!new_table.is_none()) {
    if (!py::isinstance<Table>(new_table)) {
      throw py::type_error("new must be a Table, not " + TypeName(new_table));
    }
    other = new_table.cast<std::shared_ptr<Table>>();
    new_map = k8writers::MapSymbols{NameBytes(other->name()), other->symbols(), other->Size()};
  }
  k8writers::FileFailure failure;
  bool written;
  {
    py::gil_scoped_release unlocked;
    written =
        k8writers::ReportToFile(old_map, new_map ? &*new_map : nullptr, options, where, &failure);
  }
  if (!written) RaiseFileFailure(failure, os.attr("fsdecode")(path));
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The kestrum8_map library's symbol tables (use the kestrum8_map package).";
  py::object namedtuple = py::module_::import("collections").attr("namedtuple");
  g_hit = namedtuple("Hit", py::make_tuple("symbol", "offset"), py::arg("module") = "kestrum8_map");
  g_note = namedtuple("Note", py::make_tuple("line", "column", "reason", "text"),
                      py::arg("module") = "kestrum8_map");
  g_hit.attr("__doc__") = "A lookup's answer: the symbol and the address's offset from its value.";
  g_note.attr("__doc__") =
      "A line that made no symbol (or whose name was cut): its line, column (from 1), the "
      "library's reason number and the reason in words.";
  m.attr("Hit") = g_hit;
  m.attr("Note") = g_note;
  // The header's note reasons and error codes, by their names there, for the package's enums.
  py::dict reasons, codes;
#define K8MAP_NAMED(dict, prefix, name) dict[#name] = prefix##name
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NOT_SPACE_FIRST);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, SEPARATOR);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NO_NAME);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_START);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_CHARACTER);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_PLUS);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_KIND_JOINED);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_FORM_FEED);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_ALONE);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, KIND_CASE);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, KIND_DOT);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, KIND_MISSING);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, KIND_UNKNOWN);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, SCOPE_VALUE_MISSING);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, SCOPE_CASE);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, SCOPE_MISSING);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, SCOPE_UNKNOWN);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_MISSING);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_CAPITAL_X);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_NO_DIGITS);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_NOT_HEX);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_NO_PREFIX);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_TOO_MANY_DIGITS);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, VALUE_TOO_LONG);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, TRAILING_TEXT);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, TOKEN_TOO_LONG);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, CONTINUATION_BROKEN);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, CONTINUATION_UNENDED);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, ENTRY_IN_CONTINUATION);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, PIECE_ALONE);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NO_LINE_END);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NAME_CUT);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, NOT_READ);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, PIECE_OF_NO_SYMBOL);
  K8MAP_NAMED(reasons, K8MAP_NOTE_, OTHER);
  K8MAP_NAMED(codes, K8MAP_ERROR_, NONE);
  K8MAP_NAMED(codes, K8MAP_ERROR_, OPEN);
  K8MAP_NAMED(codes, K8MAP_ERROR_, READ);
  K8MAP_NAMED(codes, K8MAP_ERROR_, SYNTAX);
  K8MAP_NAMED(codes, K8MAP_ERROR_, TOKEN_TOO_LONG);
  K8MAP_NAMED(codes, K8MAP_ERROR_, MEMORY);
  K8MAP_NAMED(codes, K8MAP_ERROR_, ARGUMENT);
#undef K8MAP_NAMED
  g_note_reason = py::module_::import("builtins").attr("int");
  m.attr("_NOTE_REASONS") = reasons;
  m.attr("_ERROR_CODES") = codes;
  m.def(
      "_use_note_reason", [](py::object type) { g_note_reason = std::move(type); },
      "Notes carry their reason as this type (the package's NoteReason).");
  m.attr("ADDRESS_KINDS") = KindNames(K8MAP_KINDS_ADDRESS);
  m.attr("ALL_KINDS") = KindNames(K8MAP_KINDS_ALL);
  // The named tuples live as long as the interpreter's module does.
  m.add_object("_cleanup", py::capsule([] {
                 g_hit.release();
                 g_note.release();
                 g_note_reason.release();
               }));

  py::class_<Symbol>(m, "Symbol",
                     R"doc(One symbol of a map: immutable, compared and hashed by its fields.

name: the symbol's name; value: its 32-bit value; kind: "Addr.", "loc.", "EQU", "bit",
"Func.", "Var." or "arg."; scope: "a", "g" or "s"; bit: the digit of a "(d)" after the value,
or None; line: the entry's first line in the map; is_address: an Addr. or loc. symbol.)doc")
      .def(py::init(&MakeSymbol), py::arg("name"), py::arg("value"), py::arg("kind"),
           py::arg("scope"), py::arg("bit") = py::none(), py::arg("line") = 0)
      .def_readonly("name", &Symbol::name)
      .def_readonly("value", &Symbol::value)
      .def_readonly("kind", &Symbol::kind)
      .def_readonly("scope", &Symbol::scope)
      .def_readonly("bit", &Symbol::bit)
      .def_readonly("line", &Symbol::line)
      .def_property_readonly("is_address", &Symbol::is_address)
      .def("__eq__",
           [](const Symbol& a, const py::object& b) -> py::object {
             if (!py::isinstance<Symbol>(b))
               return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             return py::bool_(a == b.cast<const Symbol&>());
           })
      .def("__hash__", [](const Symbol& s) { return py::hash(s.Tuple()); })
      .def("__repr__", &Symbol::Repr)
      // Every pickle protocol (0 and 1 too) and copy: made again from its fields.
      .def("__reduce__", [](const py::object& self) {
        return py::make_tuple(py::type::of(self), self.cast<const Symbol&>().Tuple());
      });

  py::class_<TableIterator>(m, "TableIterator", "Iteration over a Table's symbols.")
      .def("__iter__", [](TableIterator& it) -> TableIterator& { return it; })
      .def("__next__", &TableIterator::Next);

  py::class_<Lookups>(m, "Lookups",
                      "The answers of Table.lookup_many, in the order asked: Hits or None.")
      .def("__len__", &Lookups::Size)
      .def("__getitem__", &Lookups::At, py::arg("index"))
      .def("__getitem__", &Lookups::Slice, py::arg("slice"))
      .def("__iter__",
           [](const py::object& self) {
             return py::iter(
                 py::module_::import("builtins")
                     .attr("map")(self.attr("__getitem__"),
                                  py::module_::import("builtins").attr("range")(py::len(self))));
           })
      .def("__repr__",
           [](const Lookups& l) {
             return "<kestrum8_map.Lookups: " + std::to_string(l.Size()) + " addresses, " +
                    std::to_string(l.Found()) + " found>";
           })
      .def_property_readonly("found", &Lookups::Found, "How many addresses have a symbol.");

  py::class_<Table, std::shared_ptr<Table>>(m, "Table",
                                            R"doc(The symbols of a map, every kind, in file order.

A sequence of Symbols (len, indexing, slices, iteration); find(name) and find_all(name) by
name; lookup(address) and lookup_many(addresses) the nearest symbol at or below an address;
values(), kinds() and names() every symbol's field at once; notes, the lines that made no
symbol. Made by kestrum8_map.parse or parse_text; it never changes afterwards.)doc")
      .def("__len__", &Table::Size)
      .def("__getitem__", &Table::Slice, py::arg("slice"))
      .def("__getitem__", &Table::At, py::arg("index"))
      .def("__iter__", [](const std::shared_ptr<Table>& table) { return TableIterator(table); })
      .def_property_readonly("name", &Table::name, "The path or name the map was parsed as.")
      .def("find", &Table::Find, py::arg("name"),
           "The first symbol of exactly that name, any kind; None when there is none.")
      .def("find_all", &Table::FindAll, py::arg("name"),
           "Every symbol of exactly that name, in file order.")
      .def("of_kind", &OfKind, py::arg("kinds"),
           "The symbols of a kind (\"Var.\") or of several ([\"Func.\", \"Var.\"]), in file order.")
      .def("values", &Values, "Every symbol's value, in table order, as array.array('I').")
      .def("kinds", &Kinds,
           "Every symbol's kind number (1 Addr. to 7 arg.), in table order, as array.array('B').")
      .def("names", &Names, "Every symbol's name, in table order, as a list.")
      .def_property_readonly("notes", &Notes,
                             "The lines that made no symbol, as a tuple of Notes in line order "
                             "(kept when the map was parsed with notes=True; empty otherwise), "
                             "made once.")
      .def(
          "lookup",
          [](const std::shared_ptr<Table>& table, const py::object& address,
             const py::object& max_offset, const py::object& kinds) {
            std::uint32_t at = Number(address, "address");
            return Answer(
                FindNearestSymbol(table->get(), at, KindMask(kinds), MaxOffset(max_offset)), at);
          },
          py::arg("address"), py::kw_only(), py::arg("max_offset") = kDefaultMaxOffset,
          py::arg("kinds") = py::none(),
          R"doc(Of the symbols of the kinds asked for (the address kinds Addr. and loc. by
default; a kind keyword or a list of them), the one at or nearest below address (the first in
file order among equal values): Hit(symbol, offset), or None when there is none within
max_offset (0x10000 by default, None for no bound).)doc")
      .def(
          "lookup_many",
          [](const std::shared_ptr<Table>& table, const py::object& addresses,
             const py::object& max_offset, const py::object& kinds, bool as_indices) -> py::object {
            std::uint32_t mask = KindMask(kinds), bound = MaxOffset(max_offset);
            if (as_indices) {
              if (auto native = NativeAddresses(addresses)) {
                return AsIndices(*table, static_cast<const std::uint32_t*>(native->ptr),
                                 static_cast<std::size_t>(native->shape[0]), mask, bound);
              }
              std::vector<std::uint32_t> asked = Addresses(addresses);
              return AsIndices(*table, asked.data(), asked.size(), mask, bound);
            }
            std::vector<std::uint32_t> asked = Addresses(addresses);
            return py::cast(Lookups(table, std::move(asked), mask, bound));
          },
          py::arg("addresses"), py::kw_only(), py::arg("max_offset") = kDefaultMaxOffset,
          py::arg("kinds") = py::none(), py::arg("as_indices") = false,
          R"doc(lookup() for many addresses at once (an iterable of ints, or a buffer of integers:
array.array, a numpy array of any integer dtype), without the interpreter's lock: a sequence
of what lookup() gives, made when asked for; with as_indices=True, two arrays instead: each
address's symbol index in the table (-1 for none) as array('i') (array('q') for tables of
2^31 symbols or more) and its offset (0 for none) as array('I').)doc")
      .def("export", &Export, py::arg("path"), py::arg("format") = "elf", py::kw_only(),
           py::arg("kinds") = py::none(), py::arg("scopes") = py::none(),
           py::arg("names") = py::none(), py::arg("machine") = py::none(), py::arg("thumb") = false,
           py::arg("big_endian") = false, py::arg("sizes") = false, py::arg("region_gap") = 0x10000,
           py::arg("images") = py::none(),
           R"doc(Writes the table's symbols to the file at path (str, bytes or os.PathLike) as
mapsyms export does, to the same bytes: format "elf" (an ELF symbol file), "ld" (a GNU linker
script), "h" (a C header) or "sym" (an "ABCD1234 name" list). kinds (a kind keyword or a list),
scopes (a str of scope letters, "g", "as", or a list of them) and names (a name pattern or a list) choose the
symbols, each format's own choice by default; machine (a name such as "arm", an int, or a str
of hexadecimal digits as on the command line), thumb (ARM Thumb code), big_endian, sizes,
region_gap and images (a list of (path, address) pairs: raw binary images placed at those
addresses) shape the ELF file. The file is written beside its final name and renamed
into place when complete. Returns how many symbols were left out because their name was given
before with another value (ld and h). Raises OSError when the file or an image cannot be read
or written, ValueError for unknown options or overlapping images.)doc")
      .def("report", &Report, py::arg("path"), py::arg("new") = py::none(), py::kw_only(),
           py::arg("kinds") = py::none(), py::arg("region_gap") = 0x10000,
           py::arg("title") = py::none(),
           R"doc(Writes the page mapsyms report writes, to the same bytes: one self-contained HTML
file of the table's memory (regions, layout, symbols, largest symbols), or with new (another
Table) of new's memory and what changed from this table. kinds (a kind keyword or a list; the
address-bearing kinds Addr., loc., Func. and Var. by default) chooses the symbols listed,
region_gap the largest step within a region, title the page's title. Written beside its final
name and renamed into place when complete; OSError when it cannot be written.)doc")
      .def("sizes", &Sizes, py::arg("kinds") = py::none(), py::kw_only(),
           py::arg("memory") = py::none(), py::arg("region_gap") = 0x10000,
           R"doc(Each symbol's size in bytes as the map tells it (mapsyms report --help has the
rule), as array('I') in table order: every symbol's, or with kinds (a kind keyword or a list)
those of the kinds (as of_kind gives them). UNKNOWN_SIZE where the map does not tell it (the
last symbol of a region, a symbol without an address). memory ("NAME=START,SIZE" or a list of
them) lays each memory's code and data out as one sequence; region_gap cuts regions elsewhere.)doc")
      .def("usage", &Usage, py::kw_only(), py::arg("memory") = py::none(),
           py::arg("region_gap") = 0x10000,
           R"doc(How full each memory is, as mapsyms usage prints it: a dict with "memories" (a
dict per memory: name, start, size, used, free, percent, symbols and unsized_top, the highest
Symbol when its size is not known, else None) and "outside" (the Symbols outside every
memory). Without memory, the inferred regions stand in (size, free and percent None).)doc")
      .def("__copy__", [](const std::shared_ptr<Table>& t) { return t; })
      .def("__deepcopy__", [](const std::shared_ptr<Table>& t, const py::object&) { return t; })
      .def("__repr__",
           [](const Table& t) {
             return "<kestrum8_map.Table " + py::repr(t.name()).cast<std::string>() + ": " +
                    std::to_string(t.Size()) + " symbols>";
           })
      .def("__reduce__", [](const Table&) -> py::object {
        throw py::type_error(
            "a kestrum8_map.Table cannot be pickled: it holds the library's parse of a map; "
            "pickle its symbols (list(table)) or keep the map's text and parse it again");
      });

  m.def(
      "_parse_file",
      [](const py::bytes& path, const py::object& name, bool notes) {
        auto table = std::make_shared<Table>(name, notes);
        bool ok = table->ParseFile(std::string(path));
        return py::make_tuple(table, ok, table->Failure());
      },
      py::arg("path"), py::arg("name"), py::arg("notes"));
  m.def(
      "_parse_text",
      [](const py::buffer& data, const std::string& name, bool notes) {
        py::buffer_info info = data.request();  // held: the buffer cannot be resized meanwhile
        bool contiguous = info.ndim == 0 || (info.ndim == 1 && info.strides[0] == info.itemsize);
        if (!contiguous) throw py::type_error("map text must be contiguous bytes");
        auto table = std::make_shared<Table>(py::str(name), notes);
        bool ok = table->ParseText(static_cast<const char*>(info.ptr),
                                   static_cast<std::size_t>(info.size * info.itemsize), name);
        return py::make_tuple(table, ok, table->Failure());
      },
      py::arg("data"), py::arg("name"), py::arg("notes"));
  m.attr("UNKNOWN_SIZE") = kUnknownSizeValue;
  m.def("diff_sizes", &DiffSizes, py::arg("old"), py::arg("new"), py::kw_only(),
        py::arg("kinds") = py::none(), py::arg("memory") = py::none(),
        py::arg("region_gap") = 0x10000, py::arg("top") = 0,
        R"doc(What grew, shrank, came and went from the table old to new, as mapsyms diff --sizes
prints it: a dict with "symbols" (a dict per change, largest first: change, name, kind,
old_value, new_value, old_size, new_size, delta; None where absent or not known), "totals" (per
memory or region: memory, was, old_used, new_used), "more" (the rows beyond top) and "unknown"
(symbols left out because one map does not tell their size). kinds: Addr., Func. and Var. by
default; memory and region_gap as Table.usage takes them; top: at most that many rows (0:
all).)doc");
  m.def(
      "library_version", [] { return std::string(GetMapLibraryVersion()); },
      "The library's version.");
}
