// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QVariantMap>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace {

constexpr char kProgram[] = "Blipcount";
// How long one call may wait for the service's answer, and how long the end of the program
// waits for the notifier's thread.
constexpr int kCallMilliseconds = 2000;
constexpr auto kStopWait = std::chrono::milliseconds(3000);

struct Notice {
  QString summary;
  QString body;
  bool urgent = false;
};

}  // namespace

// What the owner thread and the notifier's thread share; everything but `last_id` under
// `mutex`.
struct NotifierQueue {
  QString address;
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable finished_signal;
  std::deque<Notice> waiting;
  bool stopping = false;
  bool finished = false;
  std::atomic<uint32_t> last_id{0};
};

namespace {

// A connection of the notifier's own, connected when it first has something to send.
std::optional<QDBusConnection> Connect(const QString& address, const QString& name) {
  QDBusConnection connection = QDBusConnection::connectToBus(address, name);
  if (connection.isConnected()) return connection;
  // Tried again with the next notification: a bus may come up later.
  QDBusConnection::disconnectFromBus(name);
  return std::nullopt;
}

void Send(QDBusConnection& connection, NotifierQueue& queue, const Notice& notice) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"),
      QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.urgent ? 2 : 1));
  // An urgent notification stays until dismissed (0); others go when the service decides (-1).
  call << QString::fromUtf8(kProgram) << uint{queue.last_id.load()} << QString() << notice.summary
       << notice.body << QStringList() << hints << int32_t{notice.urgent ? 0 : -1};
  // This thread may wait: the owner thread never does.
  const QDBusMessage reply = connection.call(call, QDBus::Block, kCallMilliseconds);
  if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
    queue.last_id.store(reply.arguments().constFirst().toUInt());
  }
}

void RunNotifier(const std::shared_ptr<NotifierQueue>& queue) {
  const QString name =
      QStringLiteral("blipcount-notifier-%1").arg(reinterpret_cast<quintptr>(queue.get()));
  std::optional<QDBusConnection> connection;
  for (;;) {
    Notice notice;
    {
      std::unique_lock lock(queue->mutex);
      queue->wake.wait(lock, [&] { return queue->stopping || !queue->waiting.empty(); });
      if (queue->waiting.empty()) break;  // stopping, and everything sent
      notice = std::move(queue->waiting.front());
      queue->waiting.pop_front();
    }
    if (!connection) connection = Connect(queue->address, name);
    if (connection) Send(*connection, *queue, notice);
  }
  if (connection) {
    connection.reset();
    QDBusConnection::disconnectFromBus(name);
  }
  std::lock_guard lock(queue->mutex);
  queue->finished = true;
  queue->finished_signal.notify_all();
}

}  // namespace

DesktopNotifier::DesktopNotifier(QString bus_address) : queue_(std::make_shared<NotifierQueue>()) {
  queue_->address = std::move(bus_address);
}

DesktopNotifier::~DesktopNotifier() {
  if (!thread_.joinable()) return;
  std::unique_lock lock(queue_->mutex);
  queue_->stopping = true;
  queue_->wake.notify_all();
  if (queue_->finished_signal.wait_for(lock, kStopWait, [this] { return queue_->finished; })) {
    lock.unlock();
    thread_.join();
    return;
  }
  // Stuck with a bus that does not answer: the thread keeps its share of the queue and ends
  // with the program rather than hold up its end.
  lock.unlock();
  thread_.detach();
}

void DesktopNotifier::Notify(const QString& summary, const QString& body, bool urgent) {
  if (queue_->address.isEmpty()) return;
  {
    std::lock_guard lock(queue_->mutex);
    queue_->waiting.push_back({summary, body, urgent});
  }
  queue_->wake.notify_all();
  if (!thread_.joinable()) thread_ = std::thread(RunNotifier, queue_);
}

uint32_t DesktopNotifier::last_id() const { return queue_->last_id.load(); }

QString DesktopNotifier::SessionBusAddress() {
  QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
  if (!address.isEmpty()) return address;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (runtime.isEmpty()) return {};
  const QString socket = runtime + QStringLiteral("/bus");
  // Where neither exists there is no session bus; none is started for a notification.
  if (!QFileInfo::exists(socket)) return {};
  return QStringLiteral("unix:path=") + socket;
}
