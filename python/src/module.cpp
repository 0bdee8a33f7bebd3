// SPDX-License-Identifier: MIT
// kestrum8_map._core: symbol tables for Python, over the library's C functions (compiled into
// this module). Tables are made by a parse and never change afterwards; a Symbol is made when
// it is asked for, a copy of the table's entry, so it outlives its table.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

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

namespace py = pybind11;

namespace {

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
  bool is_address() const { return kind == "Addr." || kind == "loc."; }
  auto Fields() const { return std::tie(name, value, kind, scope, bit, line); }
  bool operator==(const Symbol& other) const { return Fields() == other.Fields(); }

  std::string Repr() const {
    char value_text[16];
    std::snprintf(value_text, sizeof value_text, "0x%08X", static_cast<unsigned>(value));
    std::string text = "Symbol(" + py::repr(py::str(name)).cast<std::string>() + ", " + value_text +
                       ", '" + kind + "', '" + scope + "'";
    if (bit) text += ", bit=" + std::to_string(*bit);
    return text + ", line=" + std::to_string(line) + ")";
  }
};

Symbol MakeSymbol(std::string name, std::uint32_t value, const std::string& kind,
                  const std::string& scope, std::optional<int> bit, std::uint32_t line) {
  bool known = false;
  for (int k = K8MAP_KIND_ADDR; k <= K8MAP_KIND_ARG; ++k) known |= kind == GetKindName(k);
  if (!known) {
    throw py::value_error("kind must be one of Addr., loc., EQU, bit, Func., Var., arg.; got " +
                          py::repr(py::str(kind)).cast<std::string>());
  }
  if (scope != "a" && scope != "g" && scope != "s") {
    throw py::value_error("scope must be 'a', 'g' or 's'");
  }
  if (bit && (*bit < 0 || *bit > 9)) throw py::value_error("bit must be 0 to 9, or None");
  return {std::move(name), value, kind, scope, bit, line};
}

struct FreeTable {
  void operator()(SymbolTable* table) const { FreeSymbolTable(table); }
};

// The symbols of one parse. The library's table is only read once the parse is done, by any
// number of threads.
class Table {
 public:
  explicit Table(std::string name) : name_(std::move(name)), table_(CreateSymbolTable()) {
    if (table_ == nullptr) throw std::bad_alloc();
  }

  // Parses into the table without the interpreter's lock; true on success, with the library's
  // message otherwise.
  bool ParseFile(const std::string& path) {
    py::gil_scoped_release unlocked;
    return ParseMapFile(table_.get(), path.c_str()) == 0;
  }
  bool ParseText(const char* text, std::size_t size) {
    py::gil_scoped_release unlocked;
    return ParseMapText(table_.get(), text, size, name_.c_str()) == 0;
  }
  // The failure of the parse: (message, code, line, token, system error number).
  py::tuple Failure() const {
    const SymbolTable* t = table_.get();
    return py::make_tuple(std::string(GetSymbolTableError(t)), GetSymbolTableErrorCode(t),
                          GetSymbolTableErrorLine(t), py::bytes(GetSymbolTableErrorToken(t)),
                          GetSymbolTableErrorSystem(t));
  }

  std::size_t Size() const { return GetSymbolCount(table_.get()); }
  const std::string& name() const { return name_; }

  Symbol At(std::ptrdiff_t index) const {
    auto n = static_cast<std::ptrdiff_t>(Size());
    if (index < 0) index += n;
    if (index < 0 || index >= n) throw py::index_error("symbol index out of range");
    return Symbol::Of(GetSymbols(table_.get())[index]);
  }
  std::vector<Symbol> Slice(const py::slice& slice) const {
    std::size_t start = 0, stop = 0, step = 0, length = 0;
    if (!slice.compute(Size(), &start, &stop, &step, &length)) throw py::error_already_set();
    std::vector<Symbol> out;
    out.reserve(length);
    const MapSymbol* symbols = GetSymbols(table_.get());
    for (std::size_t i = 0; i < length; ++i, start += step)
      out.push_back(Symbol::Of(symbols[start]));
    return out;
  }

  std::optional<Symbol> Find(const std::string& name) const {
    const MapSymbol* found = FindSymbolByName(table_.get(), name.c_str());
    if (found == nullptr) return std::nullopt;
    return Symbol::Of(*found);
  }

  const SymbolTable* get() const { return table_.get(); }

 private:
  std::string name_;
  std::unique_ptr<SymbolTable, FreeTable> table_;
};

// Iteration over a table's symbols, each made as it is reached.
class TableIterator {
 public:
  explicit TableIterator(std::shared_ptr<const Table> table) : table_(std::move(table)) {}
  Symbol Next() {
    if (next_ >= table_->Size()) throw py::stop_iteration();
    return table_->At(static_cast<std::ptrdiff_t>(next_++));
  }

 private:
  std::shared_ptr<const Table> table_;
  std::size_t next_ = 0;
};

// An address as Python gives it: an int of 0 to 0xFFFFFFFF.
std::uint32_t Address(const py::handle& value, const char* what) {
  if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
    throw py::type_error(std::string(what) + " must be an int, not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  }
  py::int_ number = py::reinterpret_borrow<py::int_>(value);
  if (number < py::int_(0) || number > py::int_(0xFFFFFFFFu)) {
    throw py::value_error(std::string(what) + " must be 0 to 0xFFFFFFFF, not " +
                          py::str(number).cast<std::string>());
  }
  return number.cast<std::uint32_t>();
}

std::uint32_t MaxOffset(const py::object& max_offset) {
  return max_offset.is_none() ? 0xFFFFFFFFu : Address(max_offset, "max_offset");
}

// (Symbol, offset) for a symbol within the bound, else None.
py::object Answer(const MapSymbol* found, std::uint32_t address, std::uint32_t max_offset) {
  if (found == nullptr || address - found->value > max_offset) return py::none();
  return py::make_tuple(Symbol::Of(*found), address - found->value);
}

// The answers of lookup_many, made into (Symbol, offset) pairs when asked for.
class Lookups {
 public:
  Lookups(std::shared_ptr<const Table> table, std::vector<std::uint32_t> addresses,
          std::uint32_t max_offset)
      : table_(std::move(table)), addresses_(std::move(addresses)), max_offset_(max_offset) {
    found_.resize(addresses_.size());
    py::gil_scoped_release unlocked;
    FindSymbolsByAddress(table_->get(), addresses_.data(), addresses_.size(), found_.data());
  }

  std::size_t Size() const { return addresses_.size(); }
  py::object At(std::ptrdiff_t index) const {
    auto n = static_cast<std::ptrdiff_t>(Size());
    if (index < 0) index += n;
    if (index < 0 || index >= n) throw py::index_error("lookup index out of range");
    return Answer(found_[index], addresses_[index], max_offset_);
  }
  std::size_t Found() const {
    std::size_t count = 0;
    for (std::size_t i = 0; i < found_.size(); ++i) {
      count += found_[i] != nullptr && addresses_[i] - found_[i]->value <= max_offset_ ? 1 : 0;
    }
    return count;
  }

 private:
  std::shared_ptr<const Table> table_;  // its symbols are what found_ points to
  std::vector<std::uint32_t> addresses_;
  std::vector<const MapSymbol*> found_;
  std::uint32_t max_offset_;
};

// The addresses of lookup_many: a buffer of 32-bit unsigned numbers as it is, or any iterable of
// ints.
std::vector<std::uint32_t> Addresses(const py::object& addresses) {
  if (py::isinstance<py::buffer>(addresses) && !py::isinstance<py::bytes>(addresses) &&
      !py::isinstance<py::str>(addresses)) {
    py::buffer_info info = py::reinterpret_borrow<py::buffer>(addresses).request();
    std::string format = info.format;
    bool unsigned32 = info.itemsize == 4 && (format == "I" || format == "=I" || format == "<I" ||
                                             format == "L" || format == "=L" || format == "<L");
    if (info.ndim == 1 && unsigned32) {
      std::vector<std::uint32_t> out(static_cast<std::size_t>(info.shape[0]));
      const char* base = static_cast<const char*>(info.ptr);
      for (std::size_t i = 0; i < out.size(); ++i) {
        std::memcpy(&out[i], base + static_cast<std::ptrdiff_t>(i) * info.strides[0], 4);
      }
      return out;
    }
  }
  std::vector<std::uint32_t> out;
  if (py::hasattr(addresses, "__len__")) out.reserve(py::len(addresses));
  for (const py::handle& item : py::iter(addresses)) out.push_back(Address(item, "address"));
  return out;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The kestrum8_map library's symbol tables (use the kestrum8_map package).";

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
      .def("__hash__",
           [](const Symbol& s) {
             return py::hash(py::make_tuple(s.name, s.value, s.kind, s.scope, s.bit, s.line));
           })
      .def("__repr__", &Symbol::Repr)
      .def(py::pickle(
          [](const Symbol& s) {
            return py::make_tuple(s.name, s.value, s.kind, s.scope, s.bit, s.line);
          },
          [](const py::tuple& t) {
            if (t.size() != 6) throw py::value_error("not a pickled Symbol");
            return MakeSymbol(t[0].cast<std::string>(), t[1].cast<std::uint32_t>(),
                              t[2].cast<std::string>(), t[3].cast<std::string>(),
                              t[4].cast<std::optional<int>>(), t[5].cast<std::uint32_t>());
          }));

  py::class_<Table, std::shared_ptr<Table>>(m, "Table",
                                            R"doc(The symbols of a map, every kind, in file order.

len(table), table[i], table[i:j] and iteration give Symbols; find(name) the first symbol of a
name; lookup(address) the address symbol (Addr. or loc.) at or nearest below an address with
the offset; lookup_many(addresses) many at once. Made by kestrum8_map.parse or parse_text.)doc")
      .def("__len__", &Table::Size)
      .def("__getitem__", &Table::At, py::arg("index"))
      .def("__getitem__", &Table::Slice, py::arg("slice"))
      .def("__iter__", [](const std::shared_ptr<Table>& table) { return TableIterator(table); })
      .def_property_readonly("name", &Table::name, "The path or name the map was parsed as.")
      .def("find", &Table::Find, py::arg("name"),
           "The first symbol of exactly that name, any kind; None when there is none.")
      .def(
          "lookup",
          [](const std::shared_ptr<Table>& table, const py::object& address,
             const py::object& max_offset) {
            std::uint32_t at = Address(address, "address");
            return Answer(FindSymbolByAddress(table->get(), at), at, MaxOffset(max_offset));
          },
          py::arg("address"), py::kw_only(), py::arg("max_offset") = py::none(),
          R"doc(Of the Addr. and loc. symbols, the one at or nearest below address (the first in
file order among equal values) and the offset of address from it: (Symbol, offset), or None
when there is none, or none within max_offset.)doc")
      .def(
          "lookup_many",
          [](const std::shared_ptr<Table>& table, const py::object& addresses,
             const py::object& max_offset) {
            return Lookups(table, Addresses(addresses), MaxOffset(max_offset));
          },
          py::arg("addresses"), py::kw_only(), py::arg("max_offset") = py::none(),
          R"doc(lookup() for many addresses at once (an iterable of ints, or a buffer of 32-bit
unsigned numbers such as array.array("I")), without the interpreter's lock: a sequence whose
items are what lookup() gives, made when asked for.)doc")
      .def("__repr__",
           [](const Table& t) {
             return "<kestrum8_map.Table " + py::repr(py::str(t.name())).cast<std::string>() +
                    ": " + std::to_string(t.Size()) + " symbols>";
           })
      .def("__reduce__", [](const Table&) -> py::object {
        throw py::type_error(
            "a kestrum8_map.Table cannot be pickled: it holds the library's parse of a map; "
            "pickle its symbols (list(table)) or keep the map's text and parse it again");
      });

  py::class_<TableIterator>(m, "TableIterator")
      .def("__iter__", [](TableIterator& it) -> TableIterator& { return it; })
      .def("__next__", &TableIterator::Next);

  py::class_<Lookups>(m, "Lookups", "The answers of Table.lookup_many, in the order asked.")
      .def("__len__", &Lookups::Size)
      .def("__getitem__", &Lookups::At)
      .def_property_readonly("found", &Lookups::Found, "How many addresses have a symbol.");

  m.def(
      "_parse_file",
      [](const std::string& path, const std::string& name) {
        auto table = std::make_shared<Table>(name);
        bool ok = table->ParseFile(path);
        return py::make_tuple(table, ok, table->Failure());
      },
      py::arg("path"), py::arg("name"));
  m.def(
      "_parse_text",
      [](const py::buffer& data, const std::string& name) {
        py::buffer_info info = data.request();  // held: the buffer cannot be resized meanwhile
        if (info.ndim > 1 || (info.ndim == 1 && info.strides[0] != info.itemsize)) {
          throw py::type_error("map text must be contiguous bytes");
        }
        auto table = std::make_shared<Table>(name);
        bool ok = table->ParseText(static_cast<const char*>(info.ptr),
                                   static_cast<std::size_t>(info.size * info.itemsize));
        return py::make_tuple(table, ok, table->Failure());
      },
      py::arg("data"), py::arg("name"));
  m.def(
      "library_version", [] { return std::string(GetMapLibraryVersion()); },
      "The library's version.");
}
