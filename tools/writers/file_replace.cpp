// SPDX-License-Identifier: MIT
#include "file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "wide_paths.h"

namespace k8writers {

namespace {

// A regular file or nothing yet: those are replaced; anything else is written in place.
bool ReplacedByRename(const std::string& path) {
#ifdef _WIN32
  struct _stat64 info;
  if (_wstat64(Widen(path).c_str(), &info) != 0) return true;
  return (info.st_mode & _S_IFMT) != _S_IFCHR;
#else
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return true;
  return S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
#endif
}

// The file a path names after following its symbolic links, so that writing through a link
// replaces the file it names and keeps the link; the path itself when it is no link.
std::string FollowLinks(const std::string& path) {
  std::string at = path;
#ifndef _WIN32
  for (int hop = 0; hop < 40; ++hop) {  // as many as the system follows
    char target[4096];
    ssize_t length = readlink(at.c_str(), target, sizeof target - 1);
    if (length < 0) break;
    std::string next(target, static_cast<std::size_t>(length));
    std::size_t slash = at.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next = at.substr(0, slash + 1) + next;
    at = next;
  }
#endif
  return at;
}

// Why a shell's redirect would refuse to write path, as an errno; 0 when it would not: a folder
// (or a name ending in a slash) and an existing file the user may not write are refused.
int RefusalOf(const std::string& path) {
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) return EISDIR;
  if (IsFolder(path)) return EISDIR;
#ifdef _WIN32
  if (_waccess(Widen(path).c_str(), 0) == 0 && _waccess(Widen(path).c_str(), 2) != 0) return EACCES;
#else
  if (access(path.c_str(), F_OK) == 0 && access(path.c_str(), W_OK) != 0) return errno;
#endif
  return 0;
}

// Gives the new file the permission bits (and, where allowed, the owner) of the file it
// replaces, so that a private file stays private.
void KeepModeOf(const std::string& replaced, std::FILE* file) {
#ifdef _WIN32
  (void)replaced;
  (void)file;
#else
  struct stat info;
  if (stat(replaced.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  int fd = fileno(file);
  // Where the owner cannot be given (not root), the file stays the writer's: the mode is kept.
  (void)!fchown(fd, info.st_uid, info.st_gid);
  fchmod(fd, info.st_mode & 07777);
#endif
}

// Creates a file that did not exist, with the permissions a new file gets.
std::FILE* CreateNew(const std::string& path) {
#ifdef _WIN32
  int fd =
      _wopen(Widen(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
  if (fd < 0) return nullptr;
#ifdef _WIN32
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
#else
  std::FILE* file = fdopen(fd, "wb");
  if (file == nullptr) close(fd);
#endif
  return file;
}

std::FILE* OpenInPlace(const std::string& path) {
#ifdef _WIN32
  return _wfopen(Widen(path).c_str(), L"wb");
#else
  return std::fopen(path.c_str(), "wb");
#endif
}

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = IsFolder(to) ? EISDIR : EACCES;
  return false;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

void Remove(const std::string& path) {
#ifdef _WIN32
  _wunlink(Widen(path).c_str());
#else
  unlink(path.c_str());
#endif
}

int ProcessNumber() {
#ifdef _WIN32
  return static_cast<int>(GetCurrentProcessId());
#else
  return static_cast<int>(getpid());
#endif
}

}  // namespace

// Writes blocks to a file on a thread of its own, so that making the next block and handing the
// last one to the system overlap; at most kWaiting blocks wait. Without a thread, it writes each
// block itself.
class BackgroundWriter {
 public:
  explicit BackgroundWriter(std::FILE* file) : file_(file) {
    try {
      thread_ = std::thread(&BackgroundWriter::Run, this);
    } catch (const std::system_error&) {  // no thread: written here
    }
  }
  ~BackgroundWriter() { Finish(); }
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Takes the block's bytes to be written, and gives it a written block's storage to fill
  // again: blocks go round rather than being made anew.
  void Take(SinkBlock& block) {
    if (!thread_.joinable()) {
      Put(block);
      return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kWaiting; });
    SinkBlock spare;
    if (!spares_.empty()) {
      spare = std::move(spares_.back());
      spares_.pop_back();
    }
    waiting_.push_back(std::move(block));
    lock.unlock();
    changed_.notify_all();
    if (spare.bytes == nullptr) spare.bytes = std::make_unique_for_overwrite<char[]>(kBlockSize);
    block = std::move(spare);
  }
  // Ends the thread once every block taken is written; the errno of the first failed write, or 0.
  int Finish() {
    if (thread_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
      }
      changed_.notify_all();
      thread_.join();
    }
    return failure_;
  }

 private:
  static constexpr std::size_t kBlockSize = ByteSink::kBlockSize;
  static constexpr std::size_t kWaiting = 4;

  void Put(const SinkBlock& block) {
    if (failure_ == 0 && std::fwrite(block.bytes.get(), 1, block.size, file_) != block.size) {
      failure_ = errno != 0 ? errno : EIO;
    }
#ifdef __linux__
    // Each block is sent on to the disk once written, while the next are made: a file renamed
    // over another has what is still only in memory written out first, inside the rename, where
    // it holds up the commit (tens of milliseconds for tens of megabytes).
    if (failure_ == 0) {
      sync_file_range(fileno(file_), written_, static_cast<off_t>(block.size),
                      SYNC_FILE_RANGE_WRITE);
      written_ += static_cast<off_t>(block.size);
    }
#endif
  }
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return finished_ || !waiting_.empty(); });
      if (waiting_.empty()) return;
      SinkBlock block = std::move(waiting_.front());
      waiting_.pop_front();
      lock.unlock();
      changed_.notify_all();
      Put(block);
      lock.lock();
      spares_.push_back(std::move(block));
    }
  }

  std::FILE* file_;
  std::deque<SinkBlock> waiting_;
  std::vector<SinkBlock> spares_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  int failure_ = 0;  // written by the thread, read after it ended
#ifdef __linux__
  off_t written_ = 0;  // by the thread
#endif
  std::thread thread_;
};

ReplacingFile::ReplacingFile() = default;

ReplacingFile::~ReplacingFile() {
  Abandon();
}

bool ReplacingFile::Open(const std::string& path, FileFailure* failure) {
  named_ = path;
  path_ = FollowLinks(path);
  if (int refusal = RefusalOf(path_); refusal != 0) {
    *failure = {"cannot write " + path + ": " + std::strerror(refusal), refusal};
    return false;
  }
  if (!ReplacedByRename(path_)) {
    file_ = OpenInPlace(path_);
  } else {
    // Beside the final name, so that the rename stays within one file system.
    for (int attempt = 0; file_ == nullptr && attempt < 100; ++attempt) {
      temporary_ = path_ + ".tmp" + std::to_string(ProcessNumber()) + "-" + std::to_string(attempt);
      file_ = CreateNew(temporary_);
      if (file_ == nullptr && errno != EEXIST) break;
    }
    if (file_ == nullptr) temporary_.clear();
    if (file_ != nullptr) KeepModeOf(path_, file_);
  }
  if (file_ == nullptr) {
    *failure = {"cannot write " + path + ": " + std::strerror(errno), errno};
    return false;
  }
  // The sink's blocks are the one buffer: the stream's own is not wanted.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  writer_ = std::make_unique<BackgroundWriter>(file_);
  return true;
}

void ReplacingFile::Deliver(SinkBlock& block) {
  writer_->Take(block);
}

bool ReplacingFile::Commit(FileFailure* failed) {
  Flush();
  int failure = writer_->Finish();
  writer_.reset();
  if (failure == 0 && std::fflush(file_) != 0) failure = errno;
  if (std::fclose(file_) != 0 && failure == 0) failure = errno;
  file_ = nullptr;
  if (failure == 0 && !temporary_.empty() && !RenameOver(temporary_, path_)) failure = errno;
  if (failure == 0) {
    temporary_.clear();
    return true;
  }
  *failed = {"cannot write " + named_ + ": " + std::strerror(failure), failure};
  Abandon();
  return false;
}

void ReplacingFile::Abandon() {
  writer_.reset();
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  if (!temporary_.empty()) Remove(temporary_);
  temporary_.clear();
}

}  // namespace k8writers
