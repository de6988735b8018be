// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <thread>

struct NotifierQueue;

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications) on a D-Bus bus. Connecting to the bus and every call happen
// on a thread of the notifier's own: Notify only queues and returns at once, whatever the bus
// does, and where there is no bus or no service the notification is dropped without a word.
// Notify and the destructor are called on one thread (the owner thread).
class DesktopNotifier {
 public:
  // `bus_address` is a D-Bus address; empty means there is no bus to notify on.
  explicit DesktopNotifier(QString bus_address);
  // Waits a moment for what is still queued to go out; a bus that does not answer by then is
  // left to the thread, which ends with the program.
  ~DesktopNotifier();
  DesktopNotifier(const DesktopNotifier&) = delete;
  DesktopNotifier& operator=(const DesktopNotifier&) = delete;

  // Shows a notification. An urgent one asks the service to keep it up until dismissed; each
  // notification takes the place of the one before, so the end of an alarm replaces its start.
  void Notify(const QString& summary, const QString& body, bool urgent);

  // The id the service gave the latest notification it answered; 0 before any answer.
  uint32_t last_id() const;

  // The session bus of the desktop: $DBUS_SESSION_BUS_ADDRESS, else the bus socket in
  // $XDG_RUNTIME_DIR where one exists, else none. Never starts a bus.
  static QString SessionBusAddress();

 private:
  // Shared with the thread, which may outlive the notifier (see the destructor).
  std::shared_ptr<NotifierQueue> queue_;
  std::thread thread_;  // started by the first notification
};
