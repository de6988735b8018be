// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The windows' data exchange: values move between a window's fields and its members, and the
// saving direction checks each number with the program's parse and range rules. Plain C++: the
// fields and the message box are reached through the two small interfaces below.

// A field as the exchange sees it. Owner thread.
class ExchangeField {
 public:
  virtual ~ExchangeField() = default;
  virtual std::string Text() const = 0;
  virtual void SetText(const std::string& text) = 0;
  // After a failure: the focus on the field and its whole text selected.
  virtual void FocusAndSelectAll() = 0;
};

// A check box: 0 unchecked, 1 checked, 2 indeterminate.
class ExchangeCheck {
 public:
  virtual ~ExchangeCheck() = default;
  virtual int State() const = 0;
  virtual void SetState(int state) = 0;
};

// Where the exchange's warnings go: a message box in the program, a list in tests.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void Warning(const std::string& text) = 0;
};

// The parse rules, on a field's text (only its first 31 characters count). An unsigned number is
// decimal digits after an optional plus sign, with blanks or tabs around; beyond 32 bits it is
// 4294967295; a 0 whose text does not begin with the digit 0 does not parse.
std::optional<uint32_t> ParseUnsigned(std::string_view text);
// A decimal floating-point number, sign and exponent allowed, with blanks or tabs around; the
// same rule for 0.
std::optional<double> ParseFloat(std::string_view text);

// The field text of a float value: "%.*g" at precision 15.
std::string FormatFloat(double value);

// The messages.
std::string PositiveIntegerMessage();
std::string IntegerRangeMessage(uint32_t min, uint32_t max);
std::string NumberMessage();
std::string NumberRangeMessage(double min, double max);

// One exchange in one direction over a window's values, in the window's order. Saving stops at
// the first failure: the message shows, the field gets the focus with its text selected, and the
// later values are left alone. A number that fails its range check is not stored: the value keeps
// its last valid number.
class DataExchange {
 public:
  enum class Direction { kLoad, kSave };

  DataExchange(Direction direction, MessageSink& messages)
      : direction_(direction), messages_(messages) {}

  void Unsigned(int id, ExchangeField& field, uint32_t& value, uint32_t min, uint32_t max);
  void Float(int id, ExchangeField& field, double& value, double min, double max);
  void Text(ExchangeField& field, std::string& value);
  void Check(ExchangeCheck& box, int32_t& value);

  bool ok() const { return !failed_id_.has_value(); }
  // The control of the failure, if any.
  std::optional<int> failed_id() const { return failed_id_; }

 private:
  bool Skipping() const { return direction_ == Direction::kSave && failed_id_.has_value(); }
  void Fail(int id, ExchangeField& field, const std::string& message);

  Direction direction_;
  MessageSink& messages_;
  std::optional<int> failed_id_;
};
