// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "files/atomic_file.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

const std::string kOld = "old text\n";
const std::string kNew = "new text\n";
using NameList = std::vector<std::string>;

// The user a save runs as when it must not have root's privileges.
struct Unprivileged {
  uid_t uid = 65534;
  gid_t gid = 65534;
};

Unprivileged Nobody() {
  Unprivileged user;
  if (const passwd* entry = getpwnam("nobody")) {
    user.uid = entry->pw_uid;
    user.gid = entry->pw_gid;
  }
  return user;
}

bool IsRoot() { return geteuid() == 0; }

// Gives a file to the user an unprivileged save runs as (only root can; otherwise the file is the
// test's own already).
void GiveToWriter(const std::string& path) {
  if (IsRoot()) {
    EXPECT_EQ(lchown(path.c_str(), Nobody().uid, Nobody().gid), 0) << path;
  }
}

// Saves `kNew` to `path`, as an unprivileged user when asked: root runs the save in a child that
// has dropped to `nobody`, since root may write where a user may not.
bool Save(const std::string& path, bool unprivileged) {
  if (!unprivileged || !IsRoot()) {
    return WriteFileAtomically(path, kNew, AtomicFile::Durability::kSynced);
  }
  const pid_t child = fork();
  if (child == 0) {
    const Unprivileged user = Nobody();
    if (setgroups(0, nullptr) != 0 || setgid(user.gid) != 0 || setuid(user.uid) != 0) _exit(2);
    _exit(WriteFileAtomically(path, kNew, AtomicFile::Durability::kSynced) ? 0 : 1);
  }
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2) << "the child could not drop root";
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mode;
}

// A save that a crash ends between writing the temporary file and putting it in place.
void CrashWhileSaving(const std::string& path) {
  const pid_t child = fork();
  if (child == 0) {
    AtomicFile file = AtomicFile::Create(path, AtomicFile::Durability::kFast);
    file.Write("half of a ne");
    _exit(file.is_open() ? 0 : 1);  // no destructor runs, as in a crash
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// One kind of target: how it is made in the folder (the file to save is "target" there), who
// saves, whether the save succeeds, and what the folder shows afterwards.
struct TargetCase {
  const char* name;
  bool needs_root;    // the set-up makes device nodes or files of another user
  bool unprivileged;  // the save runs as an ordinary user
  std::function<void(const std::string& dir)> set_up;
  bool saved;
  std::function<void(const std::string& dir)> check;
};

void PrintTo(const TargetCase& c, std::ostream* os) { *os << c.name; }

class SaveTarget : public ::testing::TestWithParam<TargetCase> {};

TEST_P(SaveTarget, WritesOnlyWhatIsTheProgramsToWrite) {
  const TargetCase& c = GetParam();
  if (c.needs_root && !IsRoot()) GTEST_SKIP() << "needs root to set up";
  TempDir temp;
  // The folder is the unprivileged writer's unless a case says otherwise.
  const std::string dir = temp.File("work");
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  GiveToWriter(dir);
  if (IsRoot()) chmod(temp.path().c_str(), 0755);
  c.set_up(dir);
  EXPECT_EQ(Save(dir + "/target", c.unprivileged), c.saved);
  c.check(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SaveTarget,
    ::testing::Values(
        TargetCase{"a new file", false, false, [](const std::string&) {}, true,
                   [](const std::string& dir) {
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{"a regular file is replaced and keeps its mode", false, true,
                   [](const std::string& dir) {
                     WriteText(dir + "/target", kOld + std::string(5000, '#'));
                     GiveToWriter(dir + "/target");
                     chmod((dir + "/target").c_str(), 0640);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     EXPECT_EQ(Mode(dir + "/target") & 07777, 0640u);
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{"a read-only file is refused", false, true,
                   [](const std::string& dir) {
                     WriteText(dir + "/target", kOld);
                     GiveToWriter(dir + "/target");
                     chmod((dir + "/target").c_str(), 0444);
                   },
                   false,
                   [](const std::string& dir) {
                     EXPECT_EQ(ReadText(dir + "/target"), kOld);
                     EXPECT_EQ(Mode(dir + "/target") & 07777, 0444u);
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{
            "a FIFO without a reader is refused at once", false, false,
            [](const std::string& dir) { ASSERT_EQ(mkfifo((dir + "/target").c_str(), 0644), 0); },
            false,
            [](const std::string& dir) {
              EXPECT_TRUE(S_ISFIFO(Mode(dir + "/target")));
              EXPECT_EQ(Names(dir), NameList{"target"});
            }},
        TargetCase{"a device node is written in place", true, false,
                   [](const std::string& dir) {
                     // The null device: what is written goes nowhere.
                     ASSERT_EQ(mknod((dir + "/target").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_TRUE(S_ISCHR(Mode(dir + "/target")));
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{"a symbolic link is written through to its file", false, false,
                   [](const std::string& dir) {
                     WriteText(dir + "/real", kOld);
                     ASSERT_EQ(symlink("real", (dir + "/target").c_str()), 0);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_TRUE(S_ISLNK(Mode(dir + "/target")));
                     EXPECT_EQ(ReadText(dir + "/real"), kNew);
                     EXPECT_EQ(Names(dir), (NameList{"real", "target"}));
                   }},
        TargetCase{"a chain of relative and absolute links", false, false,
                   [](const std::string& dir) {
                     std::filesystem::create_directory(dir + "/sub");
                     WriteText(dir + "/real", kOld);
                     ASSERT_EQ(symlink((dir + "/real").c_str(), (dir + "/sub/link").c_str()), 0);
                     ASSERT_EQ(symlink("sub/link", (dir + "/target").c_str()), 0);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_TRUE(S_ISLNK(Mode(dir + "/target")));
                     EXPECT_TRUE(S_ISLNK(Mode(dir + "/sub/link")));
                     EXPECT_EQ(ReadText(dir + "/real"), kNew);
                     EXPECT_EQ(Names(dir), (NameList{"real", "sub", "target"}));
                     EXPECT_EQ(Names(dir + "/sub"), NameList{"link"});
                   }},
        TargetCase{"a link to a missing file makes that file", false, false,
                   [](const std::string& dir) {
                     ASSERT_EQ(symlink("made", (dir + "/target").c_str()), 0);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_TRUE(S_ISLNK(Mode(dir + "/target")));
                     EXPECT_EQ(ReadText(dir + "/made"), kNew);
                   }},
        TargetCase{"a loop of links is refused", false, false,
                   [](const std::string& dir) {
                     ASSERT_EQ(symlink("other", (dir + "/target").c_str()), 0);
                     ASSERT_EQ(symlink("target", (dir + "/other").c_str()), 0);
                   },
                   false,
                   [](const std::string& dir) {
                     EXPECT_TRUE(S_ISLNK(Mode(dir + "/target")));
                     EXPECT_EQ(Names(dir), (NameList{"other", "target"}));
                   }},
        TargetCase{"a hard link stays one file under both names", false, false,
                   [](const std::string& dir) {
                     WriteText(dir + "/real", kOld + kOld);
                     ASSERT_EQ(link((dir + "/real").c_str(), (dir + "/target").c_str()), 0);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_EQ(ReadText(dir + "/real"), kNew);
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     EXPECT_EQ(std::filesystem::hard_link_count(dir + "/target"), 2u);
                     EXPECT_EQ(Names(dir), (NameList{"real", "target"}));
                   }},
        TargetCase{"another user's file keeps its owner", true, false,
                   [](const std::string& dir) {
                     WriteText(dir + "/target", kOld);
                     ASSERT_EQ(chown((dir + "/target").c_str(), Nobody().uid, Nobody().gid), 0);
                     chmod((dir + "/target").c_str(), 0604);
                   },
                   true,
                   [](const std::string& dir) {
                     struct stat info {};
                     ASSERT_EQ(stat((dir + "/target").c_str(), &info), 0);
                     EXPECT_EQ(info.st_uid, Nobody().uid);
                     EXPECT_EQ(info.st_gid, Nobody().gid);
                     EXPECT_EQ(info.st_mode & 07777, 0604u);
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{"a writable file in a folder that takes no new files is written in place", false,
                   true,
                   [](const std::string& dir) {
                     WriteText(dir + "/target", kOld + kOld);
                     GiveToWriter(dir + "/target");
                     // The folder is root's when root runs the test, the writer's read-only one
                     // otherwise: either way the writer may not add a file to it.
                     if (IsRoot()) {
                       ASSERT_EQ(chown(dir.c_str(), 0, 0), 0);
                     }
                     chmod(dir.c_str(), 0555);
                   },
                   true,
                   [](const std::string& dir) {
                     chmod(dir.c_str(), 0755);
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     EXPECT_EQ(Names(dir), NameList{"target"});
                   }},
        TargetCase{
            "a folder of that name is refused", false, false,
            [](const std::string& dir) { std::filesystem::create_directory(dir + "/target"); },
            false,
            [](const std::string& dir) {
              EXPECT_TRUE(std::filesystem::is_directory(dir + "/target"));
              EXPECT_EQ(Names(dir), NameList{"target"});
            }},
        TargetCase{"what a crashed save left of this file goes, other files stay", false, false,
                   [](const std::string& dir) {
                     WriteText(dir + "/target", kOld);
                     WriteText(dir + "/other", kOld);
                     CrashWhileSaving(dir + "/target");
                     CrashWhileSaving(dir + "/other");
                     ASSERT_EQ(Names(dir).size(), 4u);
                   },
                   true,
                   [](const std::string& dir) {
                     EXPECT_EQ(ReadText(dir + "/target"), kNew);
                     const NameList names = Names(dir);
                     ASSERT_EQ(names.size(), 3u);
                     EXPECT_EQ(std::count(names.begin(), names.end(), "other"), 1);
                     EXPECT_EQ(std::count(names.begin(), names.end(), "target"), 1);
                   }}));

// A FIFO that a reader holds open takes the text as a stream; it stays a FIFO.
TEST(AtomicFile, AFifoWithAReaderGetsTheTextInPlace) {
  TempDir temp;
  const std::string fifo = temp.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_TRUE(WriteFileAtomically(fifo, kNew, AtomicFile::Durability::kSynced));
  char buffer[64] = {};
  EXPECT_EQ(read(reader, buffer, sizeof buffer), static_cast<ssize_t>(kNew.size()));
  EXPECT_EQ(std::string(buffer), kNew);
  close(reader);
  EXPECT_TRUE(S_ISFIFO(Mode(fifo)));
  EXPECT_EQ(Names(temp.path()), NameList{"fifo"});
}

// Names up to the folder's limit of 255 bytes: the temporary name does not grow with them.
TEST(AtomicFile, LongNamesAreSaved) {
  TempDir temp;
  for (size_t length : {size_t{244}, size_t{255}}) {
    const std::string name(length, 'n');
    WriteText(temp.File(name), kOld);
    EXPECT_TRUE(WriteFileAtomically(temp.File(name), kNew, AtomicFile::Durability::kSynced))
        << length;
    EXPECT_EQ(ReadText(temp.File(name)), kNew) << length;
    EXPECT_EQ(Names(temp.path()), NameList{name});
    std::filesystem::remove(temp.File(name));
  }
}

// Saves killed at random moments: the file is always the old one or the new one, never a mix or
// a cut, and the temporary files the kills left are gone after the next save.
TEST(AtomicFile, SavesKilledAtRandomMomentsLeaveTheOldOrTheNewFile) {
  TempDir temp;
  const std::string path = temp.File("target");
  // Two versions of different lengths, large enough that kills land inside the writing.
  const std::string first(300000, 'a');
  const std::string second(200000, 'b');
  ASSERT_TRUE(WriteFileAtomically(path, first, AtomicFile::Durability::kFast));
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay_us(0, 3000);
  int kills_with_leftovers = 0;
  for (int kill_number = 0; kill_number < 300; ++kill_number) {
    const pid_t child = fork();
    if (child == 0) {
      for (uint64_t i = 0;; ++i) {
        // Every eighth save is flushed to the disk, as the settings and data files are.
        const auto durability =
            i % 8 == 7 ? AtomicFile::Durability::kSynced : AtomicFile::Durability::kFast;
        WriteFileAtomically(path, i % 2 == 0 ? second : first, durability);
      }
    }
    usleep(static_cast<useconds_t>(delay_us(random)));
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string now = ReadText(path);
    ASSERT_TRUE(now == first || now == second)
        << "kill " << kill_number << " left " << now.size() << " bytes";
    if (Names(temp.path()).size() > 1) ++kills_with_leftovers;
  }
  // Most kills land inside a save; its temporary file stays until the next save of the file.
  EXPECT_GT(kills_with_leftovers, 0);
  ASSERT_TRUE(WriteFileAtomically(path, first, AtomicFile::Durability::kSynced));
  EXPECT_EQ(Names(temp.path()), NameList{"target"});
}

}  // namespace
