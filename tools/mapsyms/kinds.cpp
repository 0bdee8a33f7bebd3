// SPDX-License-Identifier: MIT
#include "kinds.h"

#include <cctype>

int ParseKind(const std::string& text) {
  std::string given = text;
  if (!given.empty() && given.back() == '.') given.pop_back();
  for (int kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
    std::string keyword = kKindKeywords[kind];
    if (keyword.back() == '.') keyword.pop_back();
    bool same = keyword.size() == given.size();
    for (std::size_t i = 0; same && i < given.size(); ++i) {
      same = std::tolower(static_cast<unsigned char>(given[i])) ==
             std::tolower(static_cast<unsigned char>(keyword[i]));
    }
    if (same) return kind;
  }
  return 0;
}

namespace {

// "Addr., loc., ... or arg."
std::string KindList() {
  std::string list;
  for (int kind = K8MAP_KIND_ADDR; kind <= K8MAP_KIND_ARG; ++kind) {
    list += kind == K8MAP_KIND_ADDR ? "" : kind == K8MAP_KIND_ARG ? " or " : ", ";
    list += kKindKeywords[kind];
  }
  return list;
}

}  // namespace

bool ReadKinds(const CommandLine& line, unsigned* kinds, std::string* error, unsigned fallback) {
  *kinds = fallback;
  if (line.Has("kind")) {
    *kinds = 0;
    for (const std::string& text : line.Values("kind")) {
      int kind = ParseKind(text);
      if (kind == 0) {
        *error = "unknown kind '" + text + "' (" + KindList() + ")";
        return false;
      }
      *kinds |= K8MAP_KIND_MASK(kind);
    }
  }
  if (line.Has("all-kinds")) *kinds = kAllKinds;
  return true;
}
