// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// UTC milliseconds since 1970 as ISO 8601 with milliseconds: "2026-03-01T12:00:00.250Z".
std::string FormatUtcMs(int64_t ms);
// The same, appended to `out` (the export's per-row form).
void AppendUtcMs(std::string& out, int64_t ms);

// A time as the export takes it, in UTC milliseconds: ISO 8601 ("2026-03-01",
// "2026-03-01T12:00", "2026-03-01T12:00:00.250Z", "2026-03-01 12:00:00+01:00"; a time without a
// zone is UTC, as the export writes it), "now", or a span before `now_ms` ("-30m", "-24h",
// "-7d", "-2w", "-90s"). Nothing for any other text.
std::optional<int64_t> ParseTimeText(std::string_view text, int64_t now_ms);
