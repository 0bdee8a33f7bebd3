// SPDX-License-Identifier: MIT
#include "test_files.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define K8MAP_GETPID _getpid
#else
#include <unistd.h>
#define K8MAP_GETPID getpid
#endif

namespace k8map::test {
namespace {

namespace fs = std::filesystem;

// Owns the folder for the life of the process and removes it at exit.
struct OwnedFolder {
  OwnedFolder() {
    fs::path base = fs::temp_directory_path();
    std::random_device seed;
    std::mt19937 random(seed());
    // create_directory fails on an existing name, so a folder made here is ours alone.
    for (int attempt = 0; attempt < 100; ++attempt) {
      fs::path candidate =
          base / ("k8map-test-" + std::to_string(K8MAP_GETPID()) + "-" + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) {
        path = candidate.string();
        return;
      }
    }
    std::abort();
  }
  ~OwnedFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string path;
};

}  // namespace

const std::string& TempFolder() {
  static OwnedFolder folder;
  return folder.path;
}

std::string TempFolderPath(const std::string& name) {
  return (fs::path(TempFolder()) / name).string();
}

std::string ProjectFolder(const char* env_name, const char* built_in) {
  const char* set = std::getenv(env_name);
  return set != nullptr && *set != '\0' ? set : built_in;
}

}  // namespace k8map::test
