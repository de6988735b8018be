// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>
#include <QVariantMap>

#include <optional>

namespace {

constexpr char kProgram[] = "Blipcount";
// How long the end of the program waits for a bus that does not answer.
constexpr int kStopMilliseconds = 2000;

}  // namespace

// Lives on the notifier's thread: connects to the bus when it first has something to send,
// and sends without waiting for the answer.
class NotifierWorker : public QObject {
 public:
  NotifierWorker(QString address, std::shared_ptr<std::atomic<uint32_t>> last_id)
      : address_(std::move(address)),
        last_id_(std::move(last_id)),
        name_(QStringLiteral("blipcount-notifier-%1").arg(reinterpret_cast<quintptr>(this))) {}

  ~NotifierWorker() override {
    if (connection_) QDBusConnection::disconnectFromBus(name_);
  }

  void Send(const QString& summary, const QString& body, bool urgent) {
    if (!Connect()) return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(urgent ? 2 : 1));
    // An urgent notification stays until dismissed (0); others go when the service decides (-1).
    call << QString::fromUtf8(kProgram) << uint{last_id_->load()} << QString() << summary << body
         << QStringList() << hints << int32_t{urgent ? 0 : -1};
    auto* watcher = new QDBusPendingCallWatcher(connection_->asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
              const QDBusPendingReply<uint> reply = *finished;
              if (reply.isValid()) last_id_->store(reply.value());
              finished->deleteLater();
            });
  }

 private:
  bool Connect() {
    if (connection_) return true;
    if (address_.isEmpty()) return false;
    QDBusConnection connection = QDBusConnection::connectToBus(address_, name_);
    if (!connection.isConnected()) {
      // Tried again with the next notification: a bus may come up later.
      QDBusConnection::disconnectFromBus(name_);
      return false;
    }
    connection_ = connection;
    return true;
  }

  QString address_;
  std::shared_ptr<std::atomic<uint32_t>> last_id_;  // the one to replace next
  QString name_;
  std::optional<QDBusConnection> connection_;
};

DesktopNotifier::DesktopNotifier(QString bus_address) : address_(std::move(bus_address)) {}

DesktopNotifier::~DesktopNotifier() {
  if (!thread_) return;
  // Queued behind the notifications still to be sent, so they go out first.
  QThread* thread = thread_.get();
  QMetaObject::invokeMethod(
      worker_, [thread] { thread->quit(); }, Qt::QueuedConnection);
  if (thread_->wait(QDeadlineTimer(kStopMilliseconds))) {
    delete worker_;
    return;
  }
  // Stuck in connecting to a bus that never answers: the thread is left to end with the
  // program rather than hold up its end.
  (void)thread_.release();
}

void DesktopNotifier::Notify(const QString& summary, const QString& body, bool urgent) {
  if (address_.isEmpty()) return;
  if (!thread_) {
    thread_ = std::make_unique<QThread>();
    thread_->setObjectName(QStringLiteral("notifier"));
    worker_ = new NotifierWorker(address_, last_id_);
    worker_->moveToThread(thread_.get());
    thread_->start();
  }
  NotifierWorker* worker = worker_;
  QMetaObject::invokeMethod(
      worker, [worker, summary, body, urgent] { worker->Send(summary, body, urgent); },
      Qt::QueuedConnection);
}

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
