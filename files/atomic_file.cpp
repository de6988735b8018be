// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>
#include <optional>
#include <set>
#include <utility>

#include "core/text_format.h"

namespace {

constexpr char kTempPrefix[] = ".blipcount-tmp-";
// As many links as the system itself follows before it calls a path a loop.
constexpr int kMaxLinks = 40;

// The new files this process has open, which a cleanup must leave alone even though their
// process is alive.
std::mutex open_temps_mutex;
std::set<std::string> open_temps;

void Register(const std::string& temp) {
  std::lock_guard lock(open_temps_mutex);
  open_temps.insert(temp);
}

void Unregister(const std::string& temp) {
  std::lock_guard lock(open_temps_mutex);
  open_temps.erase(temp);
}

bool IsOpenHere(const std::string& temp) {
  std::lock_guard lock(open_temps_mutex);
  return open_temps.count(temp) != 0;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

// The part of the new files' names that stands for the target's name (32-bit FNV-1a).
std::string TempStem(const std::string& path) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : NameOf(path)) hash = (hash ^ c) * 16777619u;
  return StringPrintf("%s%08x-", kTempPrefix, hash);
}

// The file that `path` names once the symbolic links at its end are followed; nothing for a loop
// or a link that cannot be read. Links in the folders on the way are the system's to follow.
std::optional<std::string> FollowLinks(std::string path) {
  for (int hops = 0; hops <= kMaxLinks; ++hops) {
    struct stat info {};
    // A missing file (or one that cannot be looked at) is the target as it stands.
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) return std::nullopt;
    target.resize(static_cast<size_t>(length));
    path = target.front() == '/' ? target : Join(FolderOf(path), target);
  }
  return std::nullopt;
}

// Removes what crashed saves of the same file left in its folder: new files whose process has
// ended, or of this process but no longer open (a process before a restart had the same number).
void RemoveLeftovers(const std::string& folder, const std::string& stem) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;  // the save itself will tell whether the folder can be used
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, stem.size(), stem) != 0) continue;
    long pid = 0;
    if (std::sscanf(name.c_str() + stem.size(), "%ld-", &pid) != 1) continue;
    if (pid == static_cast<long>(getpid())) {
      if (IsOpenHere(Join(folder, name))) continue;
    } else if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
      continue;  // its process may still be saving
    }
    // A leftover that cannot be removed does no harm; the save goes on.
    unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

// Creates the new file beside `path`, with the owner, group and permissions of `existing` (null
// for a new target). -1 with errno set when it cannot: EACCES or EPERM when the folder takes no
// new file or the owner cannot be kept.
int CreateReplacement(const std::string& path, const struct stat* existing,
                      std::string& temp_path) {
  static std::atomic<unsigned> serial{0};
  const std::string folder = FolderOf(path);
  const std::string stem = TempStem(path);
  RemoveLeftovers(folder, stem);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = Join(
        folder, stem + StringPrintf("%ld-%u", static_cast<long>(getpid()), serial.fetch_add(1)));
    // 0666 less the umask, as a file opened for writing would get.
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return -1;
    }
    Register(temp);
    bool kept = true;
    if (existing != nullptr) {
      struct stat made {};
      kept = fstat(fd, &made) == 0;
      if (kept && (made.st_uid != existing->st_uid || made.st_gid != existing->st_gid)) {
        kept = fchown(fd, existing->st_uid, existing->st_gid) == 0;
      }
      // After the owner: a change of owner clears the set-user and set-group bits.
      if (kept) kept = fchmod(fd, existing->st_mode & 07777) == 0;
    }
    if (!kept) {
      close(fd);
      unlink(temp.c_str());
      Unregister(temp);
      errno = EPERM;
      return -1;
    }
    temp_path = temp;
    return fd;
  }
  errno = EEXIST;
  return -1;
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
      in_place_(other.in_place_),
      truncate_(other.truncate_),
      written_(other.written_),
      durability_(other.durability_),
      path_(std::move(other.path_)),
      temp_path_(std::exchange(other.temp_path_, {})) {}

AtomicFile& AtomicFile::operator=(AtomicFile&& other) noexcept {
  if (this != &other) {
    Discard();
    fd_ = std::exchange(other.fd_, -1);
    failed_ = other.failed_;
    in_place_ = other.in_place_;
    truncate_ = other.truncate_;
    written_ = other.written_;
    durability_ = other.durability_;
    path_ = std::move(other.path_);
    temp_path_ = std::exchange(other.temp_path_, {});
  }
  return *this;
}

AtomicFile AtomicFile::Create(const std::string& requested, Durability durability) {
  AtomicFile file;
  if (requested.empty() || requested.back() == '/') return file;
  std::optional<std::string> path = FollowLinks(requested);
  if (!path) return file;
  file.path_ = std::move(*path);
  file.durability_ = durability;

  struct stat existing {};
  if (lstat(file.path_.c_str(), &existing) != 0) {
    if (errno != ENOENT) return file;
    file.fd_ = CreateReplacement(file.path_, nullptr, file.temp_path_);
    return file;
  }
  if (S_ISDIR(existing.st_mode)) return file;

  if (S_ISREG(existing.st_mode)) {
    // A file that may not be written is refused, although its folder would take a new one.
    if (faccessat(AT_FDCWD, file.path_.c_str(), W_OK, AT_EACCESS) != 0) return file;
    // Replacing one name of several would part it from the others.
    if (existing.st_nlink == 1) {
      file.fd_ = CreateReplacement(file.path_, &existing, file.temp_path_);
      if (file.is_open()) return file;
      // A folder that takes no new file, or an owner the new file could not be given: the file
      // is written in place. Any other failure (a full disk) must not touch the old file.
      if (errno != EACCES && errno != EPERM) return file;
    }
  }

  // In place. Without waiting: a FIFO that no one reads is refused at once.
  const int fd = open(file.path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return file;
  // Once open, writes wait for a slow reader rather than fail half-way.
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return file;
  }
  file.fd_ = fd;
  file.in_place_ = true;
  file.truncate_ = S_ISREG(existing.st_mode);
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
    written_ += static_cast<uint64_t>(written);
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  bool ok = !failed_;
  if (ok && truncate_) ok = ftruncate(fd_, static_cast<off_t>(written_)) == 0;
  // A FIFO or a device has nothing to flush to a disk.
  const bool flush = durability_ == Durability::kSynced && (!in_place_ || truncate_);
  if (ok && flush) ok = fsync(fd_) == 0;
  ok = (close(std::exchange(fd_, -1)) == 0) && ok;
  if (in_place_) return ok;
  if (ok) ok = rename(temp_path_.c_str(), path_.c_str()) == 0;
  if (!ok) unlink(temp_path_.c_str());
  Unregister(temp_path_);
  temp_path_.clear();
  if (ok && durability_ == Durability::kSynced) SyncFolder(path_);
  return ok;
}

void AtomicFile::Discard() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temp_path_.empty()) {
    unlink(temp_path_.c_str());
    Unregister(temp_path_);
  }
  temp_path_.clear();
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         AtomicFile::Durability durability) {
  AtomicFile file = AtomicFile::Create(path, durability);
  if (!file.is_open()) return false;
  file.Write(bytes);
  return file.Commit();
}
