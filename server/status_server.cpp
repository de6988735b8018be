// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "server/status_server.h"

#include "core/report.h"
#include "core/text_format.h"
#include "server/http_server.h"

std::unique_ptr<StatusServer> StartStatusServer(CounterState& state, uint32_t port) {
  // The socket address holds 16 bits: a larger number would silently become another port.
  if (port < 1 || port > 65535) {
    LogLine(state,
            StringPrintf("HTTPD: Port %u is not in 1 to 65535; the server was not started.", port));
    return nullptr;
  }
  return std::make_unique<StatusServer>(state, static_cast<uint16_t>(port));
}
