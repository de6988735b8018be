// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui_test_support.h"

#include "input/click_signal.h"

#include <QApplication>
#include <QLineEdit>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "input/wav_input.h"

UiTest::UiTest() {
  previous_dir_ = std::filesystem::current_path();
  dir_ = std::filesystem::temp_directory_path() /
         ("blipcount-ui-" + std::to_string(::getpid()) + "-" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  std::filesystem::current_path(dir_);
  state_.owner = &queue_;
}

UiTest::~UiTest() {
  window_.reset();
  queue_.RunPending();
  std::filesystem::current_path(previous_dir_);
  std::filesystem::remove_all(dir_);
}

CBlipcountDlg& UiTest::Open() {
  auto device = device_;
  window_ = std::make_unique<CBlipcountDlg>(
      state_, desktop_, [device] { return std::make_unique<FakeAudioInput>(device); });
  window_->OnInitDialog();
  window_->show();
  QApplication::processEvents();
  return *window_;
}

void UiTest::Close() {
  window_->reject();
  window_.reset();
}

std::vector<std::string> UiTest::Log() const {
  std::vector<std::string> lines;
  for (size_t i = 0; i < window_->log().size(); ++i) lines.push_back(window_->log().Line(i));
  return lines;
}

std::string UiTest::Text(int id) { return window_->field(id).Text(); }

void UiTest::Type(int id, const std::string& text) { window_->field(id).SetText(text); }

bool UiTest::CompletePeriod() {
  const std::vector<uint8_t> silence(device_->buffer.size(), 128);
  const bool done = device_->Complete(silence);
  queue_.RunPending();
  return done;
}

bool UiTest::WaitForReadFile() {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (window_->wav_read().running() && std::chrono::steady_clock::now() < end) {
    QApplication::processEvents();
    queue_.RunPending();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return !window_->wav_read().running();
}

bool UiTest::CompletePeriodWithClicks(uint32_t clicks) {
  // Begun one frame into the click train, so that the period's first click has a sample
  // before it to jump from.
  const bool done = device_->Complete(MonoClicks(device_->buffer.size(), clicks, 1));
  queue_.RunPending();
  return done;
}

std::string UiTest::ReadFile(const std::string& name) const {
  std::ifstream in(dir_ / name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
