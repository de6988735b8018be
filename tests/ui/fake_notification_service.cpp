// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// A stand-in for the desktop's notification service, for tests: it owns
// org.freedesktop.Notifications on the bus named by DBUS_SESSION_BUS_ADDRESS and prints every
// Notify call it receives as one line on standard output,
//   Notify|app|replaces_id|icon|summary|body|urgency|expire_timeout
// answering with the ids 1, 2, 3, ... It prints "ready" once the name is its own. With
// --no-answer it records the calls but never answers them. It ends with its parent.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <sys/prctl.h>

#include <csignal>
#include <cstdio>

class FakeNotifications : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

 public:
  explicit FakeNotifications(bool answer) : answer_(answer) {}

 public Q_SLOTS:
  uint Notify(const QString& app, uint replaces_id, const QString& icon, const QString& summary,
              const QString& body, const QStringList& /*actions*/, const QVariantMap& hints,
              int expire_timeout) {
    const QString line = QStringLiteral("Notify|%1|%2|%3|%4|%5|%6|%7")
                             .arg(app)
                             .arg(replaces_id)
                             .arg(icon, summary, body)
                             .arg(hints.value(QStringLiteral("urgency"), -1).toInt())
                             .arg(expire_timeout);
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    if (!answer_) {
      setDelayedReply(true);  // and never replies
      return 0;
    }
    return ++last_id_;
  }
  QStringList GetCapabilities() { return {QStringLiteral("body")}; }
  void CloseNotification(uint /*id*/) {}

 private:
  bool answer_;
  uint last_id_ = 0;
};

int main(int argc, char** argv) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  QCoreApplication application(argc, argv);
  const bool answer = !QCoreApplication::arguments().contains(QStringLiteral("--no-answer"));
  QDBusConnection bus = QDBusConnection::sessionBus();
  FakeNotifications service(answer);
  if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                          QDBusConnection::ExportAllSlots) ||
      !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
    std::fprintf(stderr, "cannot own org.freedesktop.Notifications: %s\n",
                 bus.lastError().message().toUtf8().constData());
    return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  return application.exec();
}

#include "fake_notification_service.moc"
