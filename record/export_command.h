// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <cstdio>

// `blipcount export [--from T] [--to T] [--format csv|json] [--database PATH]`: the periods of
// the record in a time range, on `out_fd` (standard output). Needs no display. `args` are the
// words after "export". Messages go to `err`, after "blipcount export: ".
//
// Without --database the record is the one blipcount.conf in the working folder names (by
// default blipcount.db). Without --from or --to the range is open at that end.
//
// Returns the exit code: 0 done, 1 the record cannot be read or the output cannot be written,
// 2 a bad command line (an unknown option, a time that is not one, a range that ends before it
// begins).
int RunExportCommand(int argc, char** args, int out_fd, FILE* err, int64_t now_ms);
