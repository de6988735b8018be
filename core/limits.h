// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cmath>
#include <cstdint>

// The range of values a setting may take. One constant per setting, used by every place that
// checks or shows the range (the windows' exchanges, the files' readers, the server's port
// check, the labels), so that a range is written once.
template <typename T>
struct Range {
  T min;
  T max;
  constexpr bool Contains(T value) const { return value >= min && value <= max; }
};

// blipcount.ini and the two windows.
inline constexpr Range<uint32_t> kThresholdRange{1, 255};
inline constexpr Range<uint32_t> kSampleTimeRange{1, 99999};
inline constexpr Range<uint32_t> kRepeatRange{1, UINT32_MAX};
inline constexpr Range<double> kScaleRange{1.0, 9999999999.0};
inline constexpr Range<uint32_t> kWebPortRange{1, 65535};
inline constexpr Range<uint32_t> kScrollWidthRange{1, 999999};
inline constexpr Range<uint32_t> kTicksPerMinuteRange{0, UINT32_MAX};

// blipcount.conf.
inline constexpr Range<uint32_t> kMqttPortRange{1, 65535};
inline constexpr Range<uint32_t> kDeadTimeUsRange{0, 100000};
inline constexpr Range<double> kAlarmUsvhRange{0.0, 1e9};
inline constexpr Range<uint32_t> kAlarmPeriodsRange{1, 1000000};

// The 32-bit float that holds a sensitivity of kScaleRange: the nearest one, but never one past
// the range's end, which the window would refuse when it shows the value again. (9999999999
// rounds to 10000000000; it is held as 9999998976, the float below.)
inline float StoredScale(double value) {
  float stored = static_cast<float>(value);
  if (static_cast<double>(stored) > kScaleRange.max) stored = std::nextafter(stored, 0.0f);
  return stored;
}

// The command line: the mean rate of the simulated meter, `--demo=CPM`.
inline constexpr Range<double> kDemoCpmRange{0.0, 1000000.0};
