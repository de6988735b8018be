// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <functional>
#include <string>

#include "core/counter_state.h"

// The Save As command once a path is chosen: writes the CPM data file at `path` (atomically),
// with the notes block when the comment editor has been created (`notes_open`), taking the
// editor's current text through `editor_text` first. Logs "Problem opening file to write." when
// it cannot be written. Owner thread.
void SaveDataFile(CounterState& state, const std::string& path, bool insert_commas, bool text_graph,
                  const std::function<std::string()>& editor_text);

// Logs the notes as one line and appends the notes block to `file_text`. Owner thread.
void WriteNotes(CounterState& state, std::string& file_text);

// The header and the values of the data file (no notes block): what SaveDataFile writes around
// the notes, for the given mean of the stored counts.
std::string FormatDataHeader(const CounterState& state, uint32_t average_counts);
std::string FormatDataValues(const CounterState& state, bool insert_commas, bool text_graph);
