// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/data_exchange.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "core/text_format.h"

namespace {

// Only the first 31 characters of a field are read for a number.
constexpr size_t kNumberTextLimit = 31;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kNumberTextLimit));
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Length of the decimal floating-point number at the start of `text` (sign, digits with an
// optional point, optional exponent), 0 when there is none.
size_t DecimalNumberLength(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    size_t exponent_digits = 0;
    while (j < text.size() && IsDigit(text[j])) ++j, ++exponent_digits;
    if (exponent_digits > 0) i = j;  // "1e" is the number 1 followed by a stray 'e'
  }
  return i;
}

}  // namespace

std::optional<uint32_t> ParseUnsigned(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.front() == '-') return std::nullopt;
  const char first = text.front();
  size_t i = first == '+' ? 1 : 0;
  const size_t digits_start = i;
  uint64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > UINT32_MAX) value = uint64_t{UINT32_MAX} + 1;  // saturates below
  }
  if (i == digits_start || i != text.size()) return std::nullopt;
  if (value == 0 && first != '0') return std::nullopt;
  return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

std::optional<double> ParseFloat(std::string_view text) {
  text = Trimmed(text);
  const size_t length = DecimalNumberLength(text);
  if (length == 0 || length != text.size()) return std::nullopt;
  std::string_view number = text;
  const bool negative = number.front() == '-';
  if (number.front() == '+' || number.front() == '-') number.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (end != number.data() + number.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    // As the C library does: too large is infinite, too small is 0.
    const size_t e = number.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && number.substr(e + 1).starts_with('-');
    value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
  }
  if (negative) value = -value;
  if (value == 0.0 && text.front() != '0') return std::nullopt;
  return value;
}

std::string FormatFloat(double value) { return StringPrintf("%.*g", 15, value); }

std::string PositiveIntegerMessage() { return "Please enter a positive integer."; }

std::string IntegerRangeMessage(uint32_t min, uint32_t max) {
  return StringPrintf("Please enter an integer between %lu and %lu.",
                      static_cast<unsigned long>(min), static_cast<unsigned long>(max));
}

std::string NumberMessage() { return "Please enter a number."; }

std::string NumberRangeMessage(double min, double max) {
  return StringPrintf("Please enter a number between %.*g and %.*g.", 15, min, 15, max);
}

void DataExchange::Fail(int id, ExchangeField& field, const std::string& message) {
  failed_id_ = id;
  messages_.Warning(message);
  field.FocusAndSelectAll();
}

void DataExchange::Unsigned(int id, ExchangeField& field, uint32_t& value, uint32_t min,
                            uint32_t max) {
  if (direction_ == Direction::kLoad) {
    field.SetText(StringPrintf("%u", value));
    return;
  }
  if (Skipping()) return;
  const std::optional<uint32_t> parsed = ParseUnsigned(field.Text());
  if (!parsed) return Fail(id, field, PositiveIntegerMessage());
  if (*parsed < min || *parsed > max) return Fail(id, field, IntegerRangeMessage(min, max));
  value = *parsed;
}

void DataExchange::Float(int id, ExchangeField& field, double& value, double min, double max) {
  if (direction_ == Direction::kLoad) {
    field.SetText(FormatFloat(value));
    return;
  }
  if (Skipping()) return;
  const std::optional<double> parsed = ParseFloat(field.Text());
  if (!parsed) return Fail(id, field, NumberMessage());
  // NaN cannot come from the parser; an infinity fails the range like any large number.
  if (!(*parsed >= min && *parsed <= max)) return Fail(id, field, NumberRangeMessage(min, max));
  value = *parsed;
}

void DataExchange::Text(ExchangeField& field, std::string& value) {
  if (direction_ == Direction::kLoad) {
    field.SetText(value);
  } else if (!Skipping()) {
    value = field.Text();
  }
}

void DataExchange::Check(ExchangeCheck& box, int32_t& value) {
  if (direction_ == Direction::kLoad) {
    if (value < 0 || value > 2) value = 0;
    box.SetState(value);
  } else if (!Skipping()) {
    value = box.State();
  }
}
