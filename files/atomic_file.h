// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <string>
#include <string_view>

// A file replaced all at once: the contents go to a new file beside the target, which is renamed
// over it only when everything was written. A crash, a full disk or a reader that still has the
// old file open never sees a half-written one. Move-only; a file that is neither committed nor
// moved from is removed when it goes away.
class AtomicFile {
 public:
  enum class Durability {
    kSynced,  // flushed to the disk before the rename: settings and data files
    kFast,    // renamed without a flush: pictures rewritten at every repaint
  };

  AtomicFile() = default;
  ~AtomicFile();
  AtomicFile(AtomicFile&& other) noexcept;
  AtomicFile& operator=(AtomicFile&& other) noexcept;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the new file beside `path`; is_open() is false when that is not possible (a missing
  // or read-only folder, a path that names a folder).
  static AtomicFile Create(const std::string& path, Durability durability);

  bool is_open() const { return fd_ >= 0; }

  // Appends to the new file; a failed write is remembered and makes Commit fail.
  void Write(std::string_view bytes);

  // Puts the new file in place of `path`; false (and the old file untouched) when any write,
  // the flush or the rename failed.
  bool Commit();

 private:
  void Discard();

  int fd_ = -1;
  bool failed_ = false;
  Durability durability_ = Durability::kSynced;
  std::string path_;
  std::string temp_path_;
};

// Creates, writes and commits in one step; false when the file could not be written.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         AtomicFile::Durability durability);
