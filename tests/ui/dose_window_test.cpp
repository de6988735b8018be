// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <fstream>

#include "support/child_process.h"
#include "support/temp_dir.h"
#include "ui/desktop_notifier.h"
#include "ui_test_support.h"

namespace {

using Lines = std::vector<std::string>;

// An alarm above 40 µSv/h after two periods, and a tube with 100 µs of dead time. At 600 CPM
// per mR/hr, 45 clicks a second are 2700 CPM measured, 2712 corrected, 45.20 µSv/h, and add
// 0.0126 µSv a period; 9 clicks are 9.01 µSv/h, below 80 % of the level.
const char kDoseConfig[] = "alarm_usvh = 40\nalarm_periods = 2\ndead_time_us = 100\n";
const char kOnLine[] = "Alarm on: dose rate above 40 µSv/h for 2 periods (latest 45.20 µSv/h).";
const char kOffLine[] = "Alarm off: dose rate below 32 µSv/h for 2 periods (latest 9.01 µSv/h).";

class DoseWindowTest : public UiTest {
 protected:
  QPushButton* Button(int id) { return window().controls().Get<QPushButton>(id); }
  QLabel* Label(int id) { return window().controls().Get<QLabel>(id); }
  void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
  std::string Shown(int id) { return Label(id)->text().toStdString(); }
};

TEST_F(DoseWindowTest, FieldsFollowThePeriodsAndTheAlarmShowsPlainly) {
  WriteText("blipcount.conf", kDoseConfig);
  Open();
  EXPECT_EQ(Shown(kAlarmField), "Off (alarm above 40 µSv/h)");
  EXPECT_TRUE(Label(kAlarmField)->isEnabled());
  EXPECT_EQ(Shown(kAlarmRuleText), "On after 2 periods above, off after 2 below 32 µSv/h.");
  EXPECT_EQ(Shown(kDeadTimeNote), "dead-time corrected");
  EXPECT_EQ(Text(kDoseSinceZeroField), "0.000");
  Type(kRepeatField, "10");
  Click(kStartButton);

  ASSERT_TRUE(CompletePeriodWithClicks(45));
  EXPECT_EQ(Text(kCountsField), "45");
  EXPECT_EQ(Text(kCpmField), "2712");
  EXPECT_EQ(Text(kUsvhField), "45.20");
  EXPECT_EQ(Text(kAverageUsvhField), "45.20");
  EXPECT_EQ(Text(kAverageUncertaintyField), "±29%");  // 1.96 / sqrt(45), widened by 1 / 0.9955
  EXPECT_EQ(Shown(kAlarmField), "Off (alarm above 40 µSv/h)");
  EXPECT_TRUE(Label(kAlarmField)->styleSheet().isEmpty());

  ASSERT_TRUE(CompletePeriodWithClicks(45));
  EXPECT_EQ(Shown(kAlarmField), "ALARM: above 40 µSv/h");
  EXPECT_TRUE(Label(kAlarmField)->styleSheet().contains(QStringLiteral("#c00000")));
  EXPECT_EQ(Log().back(), kOnLine);
  EXPECT_EQ(desktop_.notifications,
            Lines{"Dose-rate alarm on | Dose rate above 40 µSv/h for 2 periods (latest 45.20 "
                  "µSv/h). | urgent"});
  EXPECT_EQ(desktop_.tones, std::vector<bool>{true});
  EXPECT_EQ(Text(kDoseSinceZeroField), "0.025");
  EXPECT_EQ(Text(kDoseSinceStartField), "0.025");

  // Zero clears the average and the dose since Zero; the dose since start and the alarm stay.
  Click(kZeroButton);
  EXPECT_EQ(Text(kDoseSinceZeroField), "0.000");
  EXPECT_EQ(Text(kDoseSinceStartField), "0.025");
  EXPECT_EQ(Text(kAverageUsvhField), "0");
  EXPECT_EQ(Text(kAverageUncertaintyField), "");
  EXPECT_EQ(Shown(kAlarmField), "ALARM: above 40 µSv/h");

  ASSERT_TRUE(CompletePeriodWithClicks(9));
  EXPECT_EQ(Text(kUsvhField), "9.01");
  EXPECT_EQ(Shown(kAlarmField), "ALARM: above 40 µSv/h");
  ASSERT_TRUE(CompletePeriodWithClicks(9));
  EXPECT_EQ(Shown(kAlarmField), "Off (alarm above 40 µSv/h)");
  EXPECT_TRUE(Label(kAlarmField)->styleSheet().isEmpty());
  EXPECT_EQ(Log().back(), kOffLine);
  ASSERT_EQ(desktop_.notifications.size(), 2u);
  EXPECT_EQ(desktop_.notifications[1],
            "Dose-rate alarm off | Dose rate below 32 µSv/h for 2 periods (latest 9.01 µSv/h).");
  EXPECT_EQ(desktop_.tones, (std::vector<bool>{true, false}));
  EXPECT_EQ(Text(kDoseSinceZeroField), "0.005");
  EXPECT_EQ(Text(kDoseSinceStartField), "0.030");
  EXPECT_EQ(Text(kAverageUsvhField), "9.01");
}

// What the settings leave out stays out: no correction and its note, a greyed alarm field and
// no signals, or a notification without the tone.
TEST_F(DoseWindowTest, SettingsDecideWhatShows) {
  const struct {
    const char* name;
    const char* config;
    const char* cpm;
    const char* note;
    const char* alarm;
    bool alarm_enabled;
    size_t notifications, tones;
  } cases[] = {
      {"nothing set", "", "2700", "", "No alarm set", false, 0, 0},
      {"alarm without sound", "alarm_usvh = 40\nalarm_periods = 2\nalarm_sound = no\n", "2700", "",
       "ALARM: above 40 µSv/h", true, 1, 0},
      {"dead time only", "dead_time_us = 100\n", "2712", "dead-time corrected", "No alarm set",
       false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText("blipcount.conf", c.config);
    state_.config = Config{};
    state_.dose = DoseState{};
    desktop_.notifications.clear();
    desktop_.tones.clear();
    Open();
    Type(kRepeatField, "3");
    Click(kStartButton);
    ASSERT_TRUE(CompletePeriodWithClicks(45));
    ASSERT_TRUE(CompletePeriodWithClicks(45));
    EXPECT_EQ(Text(kCpmField), c.cpm);
    EXPECT_EQ(Shown(kDeadTimeNote), c.note);
    EXPECT_EQ(Shown(kAlarmField), c.alarm);
    EXPECT_EQ(Label(kAlarmField)->isEnabled(), c.alarm_enabled);
    EXPECT_EQ(desktop_.notifications.size(), c.notifications);
    EXPECT_EQ(desktop_.tones.size(), c.tones);
    Close();
  }
}

// A private D-Bus session bus: dbus-daemon with a configuration of its own in the test's
// folder, the policy of the standard session bus without its service files (so nothing is
// started on demand). Under `timeout`, so that the bus of a test that crashed ends by itself;
// terminating `timeout` ends the bus.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& dir)
      : daemon_({"timeout", "60", "dbus-daemon", "--config-file=" + WriteConfig(dir), "--nofork",
                 "--print-address=1"}),
        address_(QString::fromStdString(daemon_.NextLine())) {}

  const QString& address() const { return address_; }

 private:
  static std::string WriteConfig(const std::string& dir) {
    const std::string config = dir + "/bus.conf";
    std::ofstream(config) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\"\n"
                             " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                             "<busconfig>\n  <type>session</type>\n"
                             "  <listen>unix:tmpdir="
                          << dir
                          << "</listen>\n  <auth>EXTERNAL</auth>\n"
                             "  <policy context=\"default\">\n"
                             "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                             "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n"
                             "  </policy>\n</busconfig>\n";
    return config;
  }

  ChildProcess daemon_;
  QString address_;
};

// The fake notification service (tests/ui/fake_notification_service.cpp) on a bus; it ends
// with its parent.
class FakeService {
 public:
  FakeService(const QString& address, std::vector<std::string> options = {})
      : process_(Arguments(std::move(options)),
                 {"DBUS_SESSION_BUS_ADDRESS=" + address.toStdString()}),
        ready_(process_.NextLine() == "ready") {}
  bool ready() const { return ready_; }
  // The next line it printed, empty when none came within ten seconds.
  std::string NextLine() { return process_.NextLine(); }

 private:
  static std::vector<std::string> Arguments(std::vector<std::string> options) {
    options.insert(options.begin(), FAKE_NOTIFICATION_SERVICE);
    return options;
  }

  ChildProcess process_;
  bool ready_;
};

class NotificationTest : public DoseWindowTest {
 protected:
  // Sends the window's notifications on to `notifier`, as the program's own desktop does.
  void NotifyThrough(DesktopNotifier& notifier) {
    desktop_.on_notify = [&notifier](const std::string& summary, const std::string& body,
                                     bool urgent) {
      notifier.Notify(QString::fromStdString(summary), QString::fromStdString(body), urgent);
    };
  }
  void TearDown() override { desktop_.on_notify = nullptr; }

  // Two periods above the alarm's level.
  void RaiseTheAlarm() {
    WriteText("blipcount.conf", kDoseConfig);
    Open();
    Type(kRepeatField, "10");
    Click(kStartButton);
    ASSERT_TRUE(CompletePeriodWithClicks(45));
    ASSERT_TRUE(CompletePeriodWithClicks(45));
    ASSERT_EQ(Log().back(), kOnLine);
  }
};

TEST_F(NotificationTest, ReachesTheNotificationServiceOnTheSessionBus) {
  PrivateBus bus(dir_);
  ASSERT_FALSE(bus.address().isEmpty());
  FakeService service(bus.address());
  ASSERT_TRUE(service.ready());
  DesktopNotifier notifier(bus.address());
  NotifyThrough(notifier);

  RaiseTheAlarm();
  EXPECT_EQ(service.NextLine(),
            "Notify|Blipcount|0||Dose-rate alarm on|Dose rate above 40 µSv/h for 2 periods "
            "(latest 45.20 µSv/h).|2|0");
  // The answer gives the id that the end of the alarm replaces.
  ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.last_id() == 1; }, 10000));
  ASSERT_TRUE(CompletePeriodWithClicks(9));
  ASSERT_TRUE(CompletePeriodWithClicks(9));
  EXPECT_EQ(service.NextLine(),
            "Notify|Blipcount|1||Dose-rate alarm off|Dose rate below 32 µSv/h for 2 periods "
            "(latest 9.01 µSv/h).|1|-1");
}

// A service that takes the call and never answers holds up neither the window nor the count.
TEST_F(NotificationTest, AServiceThatNeverAnswersHoldsNothingUp) {
  PrivateBus bus(dir_);
  FakeService service(bus.address(), {"--no-answer"});
  ASSERT_TRUE(service.ready());
  DesktopNotifier notifier(bus.address());
  NotifyThrough(notifier);

  RaiseTheAlarm();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(CompletePeriodWithClicks(9));
  EXPECT_EQ(state_.iteration, 5u);
  EXPECT_EQ(service.NextLine().rfind("Notify|Blipcount|0||Dose-rate alarm on|", 0), 0u);
  EXPECT_EQ(notifier.last_id(), 0u);
}

// A bus without the service, and an address where no bus listens: the notifications are
// dropped, nothing is logged, and the count goes on.
TEST_F(NotificationTest, WithoutAServiceOrABusGoesOnSilently) {
  PrivateBus bus(dir_);
  ASSERT_FALSE(bus.address().isEmpty());
  DesktopNotifier no_service(bus.address());
  DesktopNotifier no_bus(QString::fromStdString("unix:path=" + (dir_ / "no-bus").string()));
  desktop_.on_notify = [&](const std::string& summary, const std::string& body, bool urgent) {
    no_service.Notify(QString::fromStdString(summary), QString::fromStdString(body), urgent);
    no_bus.Notify(QString::fromStdString(summary), QString::fromStdString(body), urgent);
  };
  RaiseTheAlarm();
  const size_t lines = Log().size();
  ASSERT_TRUE(CompletePeriodWithClicks(9));
  ASSERT_TRUE(CompletePeriodWithClicks(9));
  EXPECT_EQ(Log().back(), kOffLine);
  // Two periods of a period line and a confidence line each, and the alarm's line.
  EXPECT_EQ(Log().size(), lines + 5);
  EXPECT_EQ(desktop_.notifications.size(), 2u);
  EXPECT_EQ(no_service.last_id(), 0u);
  EXPECT_EQ(no_bus.last_id(), 0u);
}

}  // namespace
