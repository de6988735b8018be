// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>

#include "core/text_format.h"

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The folder's entry for the renamed file reaches the disk only with the folder itself.
void SyncFolder(const std::string& path) {
  const int dir = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;  // the file itself is safe; only the rename may be lost in a crash
  fsync(dir);
  close(dir);
}

}  // namespace

AtomicFile::~AtomicFile() { Discard(); }

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      failed_(other.failed_),
      durability_(other.durability_),
      path_(std::move(other.path_)),
      temp_path_(std::move(other.temp_path_)) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    Discard();
    fd_ = std::exchange(other.fd_, -1);
    failed_ = other.failed_;
    durability_ = other.durability_;
    path_ = std::move(other.path_);
    temp_path_ = std::move(other.temp_path_);
  }
  return *this;
}

AtomicFile AtomicFile::Create(const std::string& path, Durability durability) {
  static std::atomic<unsigned> serial{0};
  AtomicFile file;
  if (path.empty() || path.back() == '/') return file;
  struct stat existing {};
  const bool replaces = stat(path.c_str(), &existing) == 0;
  if (replaces && S_ISDIR(existing.st_mode)) return file;

  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = StringPrintf("%s.%ld.%u.tmp", path.c_str(), static_cast<long>(getpid()),
                                    serial.fetch_add(1));
    // 0666 less the umask, as a file opened for writing would get.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return file;
    }
    // A replaced file keeps the permissions its owner gave it.
    if (replaces && S_ISREG(existing.st_mode)) fchmod(fd, existing.st_mode & 07777);
    file.fd_ = fd;
    file.durability_ = durability;
    file.path_ = path;
    file.temp_path_ = std::move(temp);
    return file;
  }
  return file;
}

void AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0 || failed_) return;
  while (!bytes.empty()) {
    const ssize_t written = write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      return;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_;
  if (ok && durability_ == Durability::kSynced) ok = fsync(fd_) == 0;
  ok = (close(std::exchange(fd_, -1)) == 0) && ok;
  if (ok) ok = rename(temp_path_.c_str(), path_.c_str()) == 0;
  if (!ok) {
    unlink(temp_path_.c_str());
    temp_path_.clear();
    return false;
  }
  temp_path_.clear();
  if (durability_ == Durability::kSynced) SyncFolder(path_);
  return true;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
  temp_path_.clear();
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         AtomicFile::Durability durability) {
  AtomicFile file = AtomicFile::Create(path, durability);
  if (!file.is_open()) return false;
  file.Write(bytes);
  return file.Commit();
}
