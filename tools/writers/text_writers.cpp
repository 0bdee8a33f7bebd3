// SPDX-License-Identifier: MIT
// The text exports: a GNU linker script of PROVIDE lines, a C header of #defines, and a plain
// symbol list sorted by value.
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "escape.h"
#include "format_writers.h"

namespace k8writers {

namespace {

// The words C and C++ reserve, and the names a compiler defines itself: a #define of any of
// them would not compile cleanly or would change the language under the includer.
constexpr std::string_view kReservedWords[] = {
    "alignas",
    "alignof",
    "and",
    "and_eq",
    "asm",
    "auto",
    "bitand",
    "bitor",
    "bool",
    "break",
    "case",
    "catch",
    "char",
    "char8_t",
    "char16_t",
    "char32_t",
    "class",
    "compl",
    "concept",
    "const",
    "consteval",
    "constexpr",
    "constinit",
    "const_cast",
    "continue",
    "co_await",
    "co_return",
    "co_yield",
    "decltype",
    "default",
    "defined",
    "delete",
    "do",
    "double",
    "dynamic_cast",
    "else",
    "enum",
    "explicit",
    "export",
    "extern",
    "false",
    "float",
    "for",
    "friend",
    "goto",
    "if",
    "inline",
    "int",
    "long",
    "mutable",
    "namespace",
    "new",
    "noexcept",
    "not",
    "not_eq",
    "nullptr",
    "operator",
    "or",
    "or_eq",
    "private",
    "protected",
    "public",
    "register",
    "reinterpret_cast",
    "requires",
    "restrict",
    "return",
    "short",
    "signed",
    "sizeof",
    "static",
    "static_assert",
    "static_cast",
    "struct",
    "switch",
    "template",
    "this",
    "thread_local",
    "throw",
    "true",
    "try",
    "typedef",
    "typeid",
    "typename",
    "typeof",
    "union",
    "unsigned",
    "using",
    "virtual",
    "void",
    "volatile",
    "wchar_t",
    "while",
    "xor",
    "xor_eq",
    "_Alignas",
    "_Alignof",
    "_Atomic",
    "_BitInt",
    "_Bool",
    "_Complex",
    "_Decimal32",
    "_Decimal64",
    "_Decimal128",
    "_Generic",
    "_Imaginary",
    "_Noreturn",
    "_Pragma",
    "_Static_assert",
    "_Thread_local",
    "__FILE__",
    "__LINE__",
    "__DATE__",
    "__TIME__",
    "__STDC__",
    "__STDC_VERSION__",
    "__STDC_HOSTED__",
    "__cplusplus",
    "__COUNTER__",
    "__func__",
    "__VA_ARGS__",
    "__VA_OPT__",
    "__has_include",
    "__has_cpp_attribute",
    "__has_c_attribute",
};

// The words of the linker's script language, which a name is quoted to be read as a name
// (MEMORY's lower-case abbreviations among them).
constexpr std::string_view kLinkerWords[] = {
    "l",
    "len",
    "o",
    "org",
    "ABSOLUTE",
    "ADDR",
    "AFTER",
    "ALIAS",
    "ALIGN",
    "ALIGNOF",
    "ALIGN_WITH_INPUT",
    "ASCIZ",
    "ASSERT",
    "AS_NEEDED",
    "AT",
    "BEFORE",
    "BIND",
    "BLOCK",
    "BYTE",
    "CONSTANT",
    "CONSTRUCTORS",
    "COPY",
    "CREATE_OBJECT_SYMBOLS",
    "DATA_SEGMENT_ALIGN",
    "DATA_SEGMENT_END",
    "DATA_SEGMENT_RELRO_END",
    "DEFINED",
    "DSECT",
    "ENTRY",
    "EXCLUDE_FILE",
    "EXTERN",
    "FILEHDR",
    "FILL",
    "FLOAT",
    "FORCE_COMMON_ALLOCATION",
    "FORCE_GROUP_ALLOCATION",
    "GROUP",
    "HIDDEN",
    "HLL",
    "INCLUDE",
    "INFO",
    "INHIBIT_COMMON_ALLOCATION",
    "INPUT",
    "INPUT_SECTION_FLAGS",
    "INSERT",
    "KEEP",
    "LD_FEATURE",
    "LENGTH",
    "LOADADDR",
    "LOG2CEIL",
    "LONG",
    "MAP",
    "MAX",
    "MEMORY",
    "MIN",
    "NEXT",
    "NOCROSSREFS",
    "NOCROSSREFS_TO",
    "NOFLOAT",
    "NOLOAD",
    "ONLY_IF_RO",
    "ONLY_IF_RW",
    "ORIGIN",
    "OUTPUT",
    "OUTPUT_ARCH",
    "OUTPUT_FORMAT",
    "OVERLAY",
    "PHDRS",
    "PROVIDE",
    "PROVIDE_HIDDEN",
    "QUAD",
    "READONLY",
    "REGION_ALIAS",
    "REVERSE",
    "SEARCH_DIR",
    "SECTIONS",
    "SEGMENT_START",
    "SHORT",
    "SIZEOF",
    "SIZEOF_HEADERS",
    "SORT",
    "SORT_BY_ALIGNMENT",
    "SORT_BY_INIT_PRIORITY",
    "SORT_BY_NAME",
    "SORT_NONE",
    "SPECIAL",
    "SQUAD",
    "STARTUP",
    "SUBALIGN",
    "SYSLIB",
    "TARGET",
    "VERSION",
};

bool IsIdentifierStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool IsIdentifier(std::string_view name) {
  if (name.empty() || !IsIdentifierStart(name[0])) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return IsIdentifierStart(c) || (c >= '0' && c <= '9'); });
}

// A name the linker reads bare: an identifier that may hold dots too.
bool IsLinkerName(std::string_view name) {
  if (name.empty() || !(IsIdentifierStart(name[0]) || name[0] == '.')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return IsIdentifierStart(c) || c == '.' || (c >= '0' && c <= '9');
  });
}

std::string MapList(const ExportOptions& options) {
  std::string list;
  for (const std::string& name : options.map_names) {
    if (!list.empty()) list += ", ";
    list += CommentText(name);
  }
  return list;
}

// Names written once: the first value of each name is kept; a later different one is left out
// with a comment and counted, a later equal one left out quietly.
class FirstValues {
 public:
  // True when the symbol is to be written; otherwise *comment says why not (empty: quietly).
  bool Take(const MapSymbol& s, std::string* comment, ExportReport* report) {
    auto [at, fresh] = values_.emplace(s.name, s.value);
    if (fresh) return true;
    comment->clear();
    if (at->second != s.value) {
      *comment = CommentText(s.name) + " = " + Hex8(s.value) + " left out: given before as " +
                 Hex8(at->second);
      ++report->conflicts;
    }
    return false;
  }

 private:
  std::unordered_map<std::string_view, std::uint32_t> values_;
};

std::string GuardOf(const ExportOptions& options) {
  std::string_view from = options.output_name;
  if (from.empty() && !options.map_names.empty()) from = options.map_names.front();
  std::size_t slash = from.find_last_of("/\\");
  if (slash != std::string_view::npos) from.remove_prefix(slash + 1);
  std::string guard = IsIdentifierStart(from.empty() ? '0' : from[0]) ? "" : "SYMBOLS_";
  for (char c : from) {
    guard += c >= 'a' && c <= 'z'                             ? static_cast<char>(c - 'a' + 'A')
             : IsIdentifierStart(c) || (c >= '0' && c <= '9') ? c
                                                              : '_';
  }
  if (guard.size() < 2 || guard.compare(guard.size() - 2, 2, "_H") != 0) guard += "_H";
  // A guard beginning with an underscore and a capital is the compiler's: keep clear of it.
  if (guard[0] == '_') guard = "SYMBOLS" + guard;
  return guard;
}

}  // namespace

std::string Hex8(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

// Text in a comment: printable ASCII but the backslash kept, every other byte \xHH, and the
// slash of a "*/" too, so that no text ends the comment.
constexpr EscapeRules kCommentText = [] {
  EscapeRules rules;
  rules.KeepPrintable("\\");
  return rules;
}();

std::string CommentText(std::string_view text) {
  std::string shown = Escaped(text, kCommentText);
  for (std::size_t at = shown.find("*/"); at != std::string::npos; at = shown.find("*/", at)) {
    shown.replace(at + 1, 1, "\\x2F");
  }
  return shown;
}

void WriteLinkerScript(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                       ByteSink& sink, ExportReport* report) {
  sink.Put("/* Symbols of " + MapList(options) + " for the GNU linker. */\n");
  FirstValues first;
  std::string comment;
  for (const MapSymbol* s : symbols) {
    std::string_view name = s->name;
    if (!first.Take(*s, &comment, report)) {
      if (!comment.empty()) sink.Put("/* " + comment + " */\n");
      continue;
    }
    if (!IsLinkerName(name)) {
      sink.Put("/* " + CommentText(name) + " = " + Hex8(s->value) +
               " left out: not a name the linker reads bare */\n");
      continue;
    }
    bool word =
        std::find(std::begin(kLinkerWords), std::end(kLinkerWords), name) != std::end(kLinkerWords);
    std::string written = word ? "\"" + std::string(name) + "\"" : std::string(name);
    sink.Put("PROVIDE(" + written + " = " + Hex8(s->value) + ");\n");
  }
}

void WriteHeader(const std::vector<const MapSymbol*>& symbols, const ExportOptions& options,
                 ByteSink& sink, ExportReport* report) {
  std::string guard = GuardOf(options);
  sink.Put("/* Symbols of " + MapList(options) + " as C macros. */\n#ifndef " + guard +
           "\n#define " + guard + "\n\n");
  FirstValues first;
  std::string comment;
  for (const MapSymbol* s : symbols) {
    std::string_view name = s->name;
    bool reserved = std::find(std::begin(kReservedWords), std::end(kReservedWords), name) !=
                    std::end(kReservedWords);
    if (!IsIdentifier(name) || reserved || name == guard) {
      sink.Put("/* " + CommentText(name) + " = " + Hex8(s->value) + " left out: " +
               (reserved        ? "a name C reserves"
                : name == guard ? "the header's include guard"
                                : "not a C identifier") +
               " */\n");
      continue;
    }
    if (!first.Take(*s, &comment, report)) {
      if (!comment.empty()) sink.Put("/* " + comment + " */\n");
      continue;
    }
    sink.Put("#define " + std::string(name) + " " + Hex8(s->value) + "u\n");
  }
  sink.Put("\n#endif /* " + guard + " */\n");
}

void WriteSymbolList(const std::vector<const MapSymbol*>& symbols, ByteSink& sink) {
  std::vector<const MapSymbol*> sorted = symbols;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const MapSymbol* a, const MapSymbol* b) { return a->value < b->value; });
  for (const MapSymbol* s : sorted) {
    char value[10];
    std::snprintf(value, sizeof value, "%08X ", static_cast<unsigned>(s->value));
    sink.Put(value);
    sink.Put(s->name);
    sink.Put("\n");
  }
}

}  // namespace k8writers
