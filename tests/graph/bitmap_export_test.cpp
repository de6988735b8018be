// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "graph/bitmap_file.h"
#include "graph/encoder.h"
#include "support/temp_dir.h"

namespace {

using std::chrono::milliseconds;

// The encoder works on names in the working directory, so each test runs in a fresh one.
class ExportGraphTest : public ::testing::Test {
 protected:
  ExportGraphTest() : old_dir_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir.path());
    if (const char* path = std::getenv("PATH")) old_path_ = path;
    for (int y = 0; y < 155; ++y) {
      for (int x = 0; x < 430; ++x) pixels[size_t(y) * 430 + x] = 0xff000000 | (x << 16) | (y << 8);
    }
  }
  ~ExportGraphTest() override {
    WaitForJpegEncoder(milliseconds(20000));
    setenv("PATH", old_path_.c_str(), 1);
    std::filesystem::current_path(old_dir_);
  }

  // A stand-in encoder in the working directory, a shell script.
  void FakeEncoder(const std::string& script) {
    WriteText("cjpeg", "#!/bin/sh\n" + script + "\n");
    chmod("cjpeg", 0755);
  }

  PixelView Picture() const { return {pixels.data(), 430, 155, 430}; }

  TempDir dir;
  CounterState state;
  std::vector<uint32_t> pixels = std::vector<uint32_t>(430 * 155);

 private:
  std::filesystem::path old_dir_;
  std::string old_path_;
};

// Children of this process that ended and were not reaped.
int Zombies() {
  int zombies = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  while (dirent* entry = readdir(proc)) {
    std::ifstream stat_file(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat_file, line)) continue;
    const size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
        parent == getpid() && state == 'Z') {
      ++zombies;
    }
  }
  closedir(proc);
  return zombies;
}

TEST_F(ExportGraphTest, TheRealEncoderWritesAProgressiveJpegOfThePicture) {
  ASSERT_EQ(FindJpegEncoder().empty(), false) << "cjpeg is not installed";
  ExportGraph(state, Picture(), 32);
  EXPECT_EQ(ReadText("blipcount.bmp").size(), 200314u);

  // The encoder runs on its own; wait for it, bounded.
  ASSERT_TRUE(WaitForJpegEncoder(milliseconds(20000)));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (ReadText("blipcount.jpg").empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  const std::string jpeg = ReadText("blipcount.jpg");
  ASSERT_GT(jpeg.size(), 4u);
  EXPECT_EQ(jpeg.substr(0, 2), "\xff\xd8");
  EXPECT_NE(jpeg.find("\xff\xc2"), std::string::npos) << "no progressive frame header";

  ASSERT_EQ(std::system("djpeg -pnm -outfile decoded.ppm blipcount.jpg"), 0);
  std::ifstream decoded("decoded.ppm", std::ios::binary);
  std::string magic;
  int width = 0, height = 0;
  decoded >> magic >> width >> height;
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(width, 430);
  EXPECT_EQ(height, 155);

  // The encoder was reaped: no zombie stays behind.
  while (Zombies() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  EXPECT_EQ(Zombies(), 0);
}

TEST_F(ExportGraphTest, AnEncoderInTheWorkingDirectoryComesFirstWithTheDebianArguments) {
  FakeEncoder("echo \"$@\" > arguments.txt");
  ExportGraph(state, Picture(), 24);
  ASSERT_TRUE(WaitForJpegEncoder(milliseconds(20000)));
  EXPECT_EQ(ReadText("arguments.txt"), "-progressive -outfile blipcount.jpg blipcount.bmp\n");
  EXPECT_EQ(FindJpegEncoder(), "./cjpeg");
}

TEST_F(ExportGraphTest, RepaintsDuringARunningEncoderStartOnlyOneMore) {
  // Each run notes its start and takes a second, far longer than five exports.
  FakeEncoder("echo run >> runs.txt; sleep 1");
  for (int i = 0; i < 5; ++i) ExportGraph(state, Picture(), 24);
  ASSERT_TRUE(WaitForJpegEncoder(milliseconds(20000)));
  EXPECT_EQ(ReadText("runs.txt"), "run\nrun\n");
}

TEST_F(ExportGraphTest, TheEncoderRunsWhenTheBitmapCannotBeWritten) {
  FakeEncoder("echo ran > ran.txt");
  std::filesystem::create_directory("blipcount.bmp");  // no file can take its name
  ExportGraph(state, Picture(), 24);
  ASSERT_TRUE(WaitForJpegEncoder(milliseconds(20000)));
  EXPECT_EQ(ReadText("ran.txt"), "ran\n");
}

TEST_F(ExportGraphTest, NoEncoderAnywhereIsSilent) {
  setenv("PATH", dir.File("empty").c_str(), 1);
  EXPECT_EQ(FindJpegEncoder(), "");
  ExportGraph(state, Picture(), 24);
  EXPECT_TRUE(WaitForJpegEncoder(milliseconds(0)));
  EXPECT_EQ(ReadText("blipcount.bmp").size(), 200314u);
  EXPECT_FALSE(std::filesystem::exists("blipcount.jpg"));
}

}  // namespace
