// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/data_exchange.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// The parse rules on their own, beside the window tests that show the messages.
TEST(ParseUnsigned, Rules) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"0", 0u},
      {"  0\t", 0u},
      {"00", 0u},
      {"+17", 17u},
      {"4294967295", 4294967295u},
      {"4294967296", 4294967295u},
      {"99999999999999999999999", 4294967295u},
      {"+0", std::nullopt},
      {"-0", std::nullopt},
      {"-5", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"1 2", std::nullopt},
      {"0x10", std::nullopt},
      {"5\n", std::nullopt},
      {"++5", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseUnsigned(text), expected) << text;
}

TEST(ParseFloat, Rules) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"600", 600.0},
      {" -1.5e3 ", -1500.0},
      {".5", 0.5},
      {"5.", 5.0},
      {"0.0", 0.0},
      {"0e5", 0.0},
      {"+0", std::nullopt},
      {".0", std::nullopt},
      {"1e-999", std::nullopt},  // 0 from a text not beginning with 0
      {"1e", std::nullopt},
      {"inf", std::nullopt},
      {"nan", std::nullopt},
      {"0x1p3", std::nullopt},
      {"1,5", std::nullopt},
      {".", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ParseFloat(text), expected) << text;
  EXPECT_EQ(ParseFloat("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(FormatFloat(static_cast<float>(123.4)), "123.400001525879");
  EXPECT_EQ(FormatFloat(600), "600");
  EXPECT_EQ(NumberRangeMessage(1, 9999999999.0), "Please enter a number between 1 and 9999999999.");
}

}  // namespace

namespace {

struct Box : ExchangeCheck {
  int state = 0;
  int State() const override { return state; }
  void SetState(int s) override { state = s; }
};

struct Messages : MessageSink {
  void Warning(const std::string& text) override { shown.push_back(text); }
  std::vector<std::string> shown;
};

// Loading a check state other than 0, 1 or 2 first makes it 0; saving reads the box.
TEST(DataExchangeCheck, LoadsOnlyZeroOneOrTwo) {
  Messages messages;
  for (const auto& [value, shown] : {std::pair{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}}) {
    Box box;
    int32_t member = value;
    DataExchange(DataExchange::Direction::kLoad, messages).Check(box, member);
    EXPECT_EQ(box.state, shown) << value;
    EXPECT_EQ(member, shown) << value;
  }
  Box box;
  box.state = 1;
  int32_t member = 0;
  DataExchange(DataExchange::Direction::kSave, messages).Check(box, member);
  EXPECT_EQ(member, 1);
  EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
