// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <memory>

#include "core/counter_state.h"
#include "server/http_server.h"  // StatusServer, complete for those who keep one

// The Start Server command once the port is known: refuses a port outside 1..65535 with a log
// line (and returns null); otherwise starts a server thread. The returned object stops and joins
// its thread when destroyed. Owner thread.
std::unique_ptr<StatusServer> StartStatusServer(CounterState& state, uint32_t port);
