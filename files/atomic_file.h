// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A file saved whole: the contents go to a new file beside the target, which is renamed over it
// only when everything was written, so a crash, a full disk or a reader that still has the old
// file open never sees a half-written one. Only what is the program's to replace is replaced:
//  - a target that cannot be opened for writing (a read-only file, a FIFO without a reader) is
//    refused, without waiting;
//  - a symbolic link is followed: the file it names is saved, the link stays;
//  - what is not a regular file (a FIFO, a device), a file with more than one hard link, a file
//    whose owner the new file could not be given, and a file in a folder that takes no new files
//    are written in place, where a crash can leave them cut short;
//  - a replaced file keeps its owner, group and permissions.
// The new file's name is short, whatever the target's: ".blipcount-tmp-HHHHHHHH-PID-N", where
// HHHHHHHH stands for the target's name. What a save that crashed left behind is removed at the
// next save of the same file. Move-only; a file that is neither committed nor moved from is
// removed when it goes away.
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

  // Opens the new file beside `path`, or `path` itself where it is written in place; is_open()
  // is false when the target is refused or nothing can be created (a missing or read-only
  // folder, a path that names a folder, a loop of links).
  static AtomicFile Create(const std::string& path, Durability durability);

  bool is_open() const { return fd_ >= 0; }

  // Appends to the new file; a failed write is remembered and makes Commit fail.
  void Write(std::string_view bytes);

  // Puts the new file in place of the target; false (and the old file untouched, unless it is
  // written in place) when any write, the flush or the rename failed.
  bool Commit();

 private:
  void Discard();

  int fd_ = -1;
  bool failed_ = false;
  bool in_place_ = false;  // fd_ is the target itself
  bool truncate_ = false;  // in place, a regular file: cut to what was written at Commit
  uint64_t written_ = 0;
  Durability durability_ = Durability::kSynced;
  std::string path_;       // the target, symbolic links followed
  std::string temp_path_;  // the new file, while it is not yet in place
};

// Creates, writes and commits in one step; false when the file could not be written.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         AtomicFile::Durability durability);
