// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "files/settings_file.h"
#include "graph/graph_dialog.h"
#include "support/temp_dir.h"
#include "ui/about_dialog.h"
#include "ui_test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST_F(UiTest, FirstStartWithoutSettingsFile) {
  CBlipcountDlg& window = Open();
  EXPECT_EQ(Text(kSampleTimeField), "1");
  EXPECT_EQ(Text(kRepeatField), "10");
  EXPECT_EQ(Text(kThresholdField), "100");
  EXPECT_EQ(Text(kSensitivityField), "600");
  EXPECT_EQ(Log(), Lines{kBanner});
  EXPECT_EQ(window.windowTitle().toStdString(), kBanner);
  const auto button = [&](int id) { return window.controls().Get<QPushButton>(id); };
  EXPECT_TRUE(button(kStartButton)->isEnabled());
  EXPECT_FALSE(button(kGraphButton)->isEnabled());
  EXPECT_FALSE(button(kCancelButton)->isEnabled());
  EXPECT_EQ(window.focusWidget(), window.controls().Control(kSampleTimeField));
  // The window menu's About item, after a separator.
  const QList<QAction*> actions = window.actions();
  ASSERT_GE(actions.size(), 2);
  EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
  EXPECT_EQ(actions.back()->text().toStdString(), kAboutMenuText);
  EXPECT_TRUE(desktop_.warnings.empty());
}

// blipcount.conf beside the settings file: its good lines apply, each bad one gets a log line
// after the banner.
TEST_F(UiTest, ConfigFileIsReadAtOpeningAndItsProblemsLogged) {
  WriteText("blipcount.conf", "record = no\nmqtt_port = none\nalarm_periods = 4\n");
  Open();
  EXPECT_EQ(Log(), (Lines{kBanner,
                          "blipcount.conf line 2: mqtt_port takes a whole number from 1 to 65535, "
                          "not \"none\"; ignored."}));
  EXPECT_FALSE(state_.config.record);
  EXPECT_EQ(state_.config.alarm_periods, 4u);
}

TEST_F(UiTest, AutostartRunsStartThenGraphEvenWhenStartFails) {
  CounterState saved;
  saved.autostart = 1;
  ASSERT_TRUE(WriteSettings(saved, "blipcount.ini"));
  device_->open_ok = false;
  CBlipcountDlg& window = Open();
  EXPECT_EQ(Log(),
            (Lines{kBanner, "Starting automatically...", "Audio sampling rate = 11025 per second",
                   "Error: No device here", "Audio input not open."}));
  ASSERT_NE(window.graph_window(), nullptr);
  EXPECT_TRUE(state_.graph_open);
  EXPECT_TRUE(window.graph_window()->isVisible());
  EXPECT_EQ(window.graph_window()->windowTitle().toStdString(), state_.graphtitle);
}

TEST_F(UiTest, AutostartWithDeviceStartsRecording) {
  CounterState saved;
  saved.autostart = 1;
  saved.repeat = 3;
  ASSERT_TRUE(WriteSettings(saved, "blipcount.ini"));
  CBlipcountDlg& window = Open();
  const Lines log = Log();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 7),
            (Lines{kBanner, "Starting automatically...", "Audio sampling rate = 11025 per second",
                   "Opened Audio Input.", "", "Starting recording.",
                   "Sampling time=1 secs, repeat 3 times."}));
  EXPECT_TRUE(window.controls().Get<QPushButton>(kCancelButton)->isEnabled());
  EXPECT_TRUE(window.controls().Get<QPushButton>(kGraphButton)->isEnabled());
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(CompletePeriod());
  EXPECT_EQ(Log().back(), "Done counting.");
  EXPECT_EQ(Text(kCountsField), "0");
}

TEST_F(UiTest, SensitivityTypedAsDecimalComesBackAsFloat) {
  Open();
  Type(kSensitivityField, "123.4");
  Close();  // the cancel route still saves the fields into the settings file
  EXPECT_TRUE(desktop_.warnings.empty());
  CounterState fresh;  // a new start of the program
  window_ = std::make_unique<CBlipcountDlg>(fresh, desktop_, nullptr);
  window_->OnInitDialog();
  EXPECT_EQ(Text(kSensitivityField), "123.400001525879");
  // The field is too narrow for the value; it shows its start, where the cursor stands.
  auto* field = window_->controls().Get<QLineEdit>(kSensitivityField);
  EXPECT_LT(field->width(), field->fontMetrics().horizontalAdvance(field->text()));
  EXPECT_EQ(field->cursorPosition(), 0);
  window_.reset();
}

// The window's largest sensitivity is kept so that the window takes it again after a restart:
// the autostart of the next start runs.
TEST_F(UiTest, LargestSensitivityStartsAgainAfterARestart) {
  CounterState saved;
  saved.autostart = 1;
  ASSERT_TRUE(WriteSettings(saved, "blipcount.ini"));
  CBlipcountDlg& window = Open();
  window.OnCancelSampling();
  Type(kSensitivityField, "9999999999");
  QTest::keyClick(window.controls().Control(kSensitivityField), Qt::Key_Escape);
  window_.reset();
  EXPECT_NE(ReadFile("blipcount.ini").find("\nscale 9999998976.000000\n"), std::string::npos)
      << ReadFile("blipcount.ini");

  CounterState restarted;
  restarted.owner = &queue_;
  auto device = device_;
  window_ = std::make_unique<CBlipcountDlg>(
      restarted, desktop_, [device] { return std::make_unique<FakeAudioInput>(device); });
  window_->OnInitDialog();
  EXPECT_EQ(desktop_.warnings, Lines{});
  EXPECT_EQ(Text(kSensitivityField), "9999998976");
  const Lines log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(), "Starting recording."), log.end());
  window_.reset();
}

// One failing (or accepted) text in one field of the main window. Every case also types "7"
// into the repeat field, the last of the exchange, which keeps its old value after a failure.
struct MainCase {
  int field;
  const char* text;
  const char* message;  // empty: accepted
  uint32_t threshold, sampletime, repeat;
  double scale;
};

// Names the case in the test list by the field and the text typed.
void PrintTo(const MainCase& c, std::ostream* os) {
  *os << "field " << c.field << " \"" << c.text << "\"";
}

class MainExchange : public UiTest, public ::testing::WithParamInterface<MainCase> {};

TEST_P(MainExchange, OptionsCommandCopiesWhatTheExchangeLeft) {
  const MainCase& c = GetParam();
  CBlipcountDlg& window = Open();
  if (c.field != kRepeatField) Type(kRepeatField, "7");
  Type(c.field, c.text);
  window.OnOptions();  // saves the fields, copies them into the state, then runs the dialog
  if (*c.message == '\0') {
    EXPECT_TRUE(desktop_.warnings.empty());
  } else {
    EXPECT_EQ(desktop_.warnings, Lines{c.message});
    auto* edit = window.controls().Get<QLineEdit>(c.field);
    EXPECT_EQ(window.focusWidget(), edit);
    EXPECT_EQ(edit->selectedText(), edit->text());
    EXPECT_EQ(edit->text().toStdString(), c.text);  // the rejected text stays for correction
  }
  EXPECT_EQ(desktop_.modal_runs, 1);  // the dialog opens anyway
  EXPECT_EQ(state_.threshold, c.threshold);
  EXPECT_EQ(state_.sampletime, c.sampletime);
  EXPECT_EQ(state_.repeat, c.repeat);
  EXPECT_EQ(state_.scale, static_cast<float>(c.scale));
}

const char kRange255[] = "Please enter an integer between 1 and 255.";
const char kPositive[] = "Please enter a positive integer.";

INSTANTIATE_TEST_SUITE_P(
    Fields, MainExchange,
    ::testing::Values(
        MainCase{kThresholdField, "0", kRange255, 100, 1, 10, 600},
        MainCase{kThresholdField, "256", kRange255, 100, 1, 10, 600},
        MainCase{kThresholdField, "-5", kPositive, 100, 1, 10, 600},
        MainCase{kThresholdField, "12a", kPositive, 100, 1, 10, 600},
        MainCase{kThresholdField, "", kPositive, 100, 1, 10, 600},
        MainCase{kThresholdField, "+0", kPositive, 100, 1, 10, 600},
        MainCase{kThresholdField, "+ 5", kPositive, 100, 1, 10, 600},
        MainCase{kThresholdField, " \t+42\t ", "", 42, 1, 7, 600},
        MainCase{kThresholdField, "  007", "", 7, 1, 7, 600},
        // Only the first 31 characters count: the 32nd, a letter, is never read.
        MainCase{kThresholdField, "                             55x", "", 55, 1, 7, 600},
        MainCase{kSampleTimeField, "100000", "Please enter an integer between 1 and 99999.", 100, 1,
                 10, 600},
        MainCase{kSampleTimeField, "0", "Please enter an integer between 1 and 99999.", 100, 1, 10,
                 600},
        MainCase{kSensitivityField, "abc", "Please enter a number.", 100, 1, 10, 600},
        MainCase{kSensitivityField, "0.5", "Please enter a number between 1 and 9999999999.", 100,
                 1, 10, 600},
        MainCase{kSensitivityField, "-0", "Please enter a number.", 100, 1, 10, 600},
        MainCase{kSensitivityField, "1e999", "Please enter a number between 1 and 9999999999.", 100,
                 1, 10, 600},
        MainCase{kSensitivityField, " +2.5e2 ", "", 100, 1, 7, 250},
        MainCase{kSensitivityField, "0x10", "Please enter a number.", 100, 1, 10, 600},
        MainCase{kRepeatField, "99999999999", "", 100, 1, 4294967295u, 600},
        MainCase{kRepeatField, "0", "Please enter an integer between 1 and 4294967295.", 100, 1, 10,
                 600}));

TEST_F(UiTest, FailureStopsTheExchangeLaterFieldsKeepTheirValues) {
  CBlipcountDlg& window = Open();
  Type(kThresholdField, "50");     // before the failure: taken
  Type(kSampleTimeField, "abc");   // fails
  Type(kSensitivityField, "700");  // after: not read
  EXPECT_FALSE(window.SaveFields().has_value());
  EXPECT_EQ(desktop_.warnings, Lines{kPositive});
  EXPECT_EQ(window.values().threshold, 50u);
  EXPECT_EQ(window.values().sampletime, 1u);
  EXPECT_EQ(window.values().scale, 600.0);
}

TEST_F(UiTest, StartRefusesAnInvalidField) {
  CBlipcountDlg& window = Open();
  Type(kSampleTimeField, "0");
  window.OnStart();
  EXPECT_EQ(desktop_.warnings, Lines{"Please enter an integer between 1 and 99999."});
  EXPECT_FALSE(device_->queued);
  EXPECT_EQ(state_.sampletime, 1u);
  EXPECT_TRUE(window.controls().Get<QPushButton>(kStartButton)->isEnabled());
}

TEST_F(UiTest, ForeverSetsTheRepeatFieldEvenAfterAFailure) {
  CBlipcountDlg& window = Open();
  Type(kThresholdField, "abc");
  Type(kSampleTimeField, "5");  // after the failure: what was typed is lost
  window.OnForever();
  EXPECT_EQ(desktop_.warnings, Lines{kPositive});
  EXPECT_EQ(Text(kRepeatField), "999999999");
  EXPECT_EQ(Text(kThresholdField), "100");
  EXPECT_EQ(Text(kSampleTimeField), "1");
  EXPECT_EQ(state_.repeat, 10u);  // the state is not touched
  EXPECT_EQ(window.values().repeat, FOREVER_REPEAT);
}

TEST_F(UiTest, ZeroAfterARunClearsTheAverages) {
  CBlipcountDlg& window = Open();
  Type(kRepeatField, "2");
  window.OnStart();
  ASSERT_TRUE(CompletePeriod());
  ASSERT_TRUE(CompletePeriod());
  EXPECT_EQ(Log().back(), "Done counting.");
  EXPECT_EQ(state_.iteration, 2u);
  EXPECT_EQ(Text(kAverageCpmField), "0.0");
  const size_t lines = Log().size();
  window.controls().Get<QPushButton>(kZeroButton)->click();
  EXPECT_EQ(state_.iteration, 0u);
  EXPECT_EQ(Text(kAverageCpmField), "0");
  EXPECT_EQ(Text(kAverageMrhrField), "0");
  EXPECT_EQ(Log().size(), lines);
}

TEST_F(UiTest, ClearLogThenOneMessage) {
  CBlipcountDlg& window = Open();
  window.controls().Get<QPushButton>(kClearLogButton)->click();
  EXPECT_TRUE(Log().empty());
  window.OnCancelSampling();
  EXPECT_EQ(Log(), Lines{"Audio input not open."});
}

TEST_F(UiTest, HelpOpensTheDocumentInTheWorkingDirectory) {
  CBlipcountDlg& window = Open();
  window.controls().Get<QPushButton>(kHelpButton)->click();
  ASSERT_EQ(desktop_.urls.size(), 1u);
  EXPECT_TRUE(desktop_.urls[0].isLocalFile());
  EXPECT_EQ(desktop_.urls[0].toLocalFile().toStdString(), (dir_ / "Help.html").string());
}

TEST_F(UiTest, EnterWithValidFieldsEndsAndWritesTheSettings) {
  CBlipcountDlg& window = Open();
  Type(kThresholdField, "77");
  window.OnStart();  // a device is open and capturing: OK closes it
  QTest::keyClick(window.controls().Control(kThresholdField), Qt::Key_Return);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
  EXPECT_TRUE(desktop_.warnings.empty());
  EXPECT_EQ(device_->calls.back(), "Close");
  EXPECT_EQ(state_.controls.log_list, nullptr);
  CounterState read;
  ASSERT_TRUE(ReadSettings(read, "blipcount.ini"));
  EXPECT_EQ(read.threshold, 77u);
  // A completion that was still on its way finds no controls.
  queue_.RunPending();
}

TEST_F(UiTest, EnterWithAnInvalidFieldKeepsTheWindowOpen) {
  CBlipcountDlg& window = Open();
  window.OnStart();
  Type(kThresholdField, "abc");
  QTest::keyClick(window.controls().Control(kThresholdField), Qt::Key_Return);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(desktop_.warnings, Lines{kPositive});
  EXPECT_FALSE(std::filesystem::exists("blipcount.ini"));
  // The capture was not touched: the run goes on.
  EXPECT_TRUE(device_->queued);
  EXPECT_TRUE(CompletePeriod());
  EXPECT_TRUE(device_->queued);
}

TEST_F(UiTest, EscapeWithAnInvalidFieldWritesTheLastValidValue) {
  CBlipcountDlg& window = Open();
  Type(kThresholdField, "120");
  window.OnForever();  // 120 becomes the window's value
  Type(kThresholdField, "abc");
  QTest::keyClick(window.controls().Control(kThresholdField), Qt::Key_Escape);
  EXPECT_FALSE(window.isVisible());
  window_.reset();
  EXPECT_EQ(desktop_.warnings, Lines{kPositive});
  CounterState read;
  ASSERT_TRUE(ReadSettings(read, "blipcount.ini"));
  EXPECT_EQ(read.threshold, 120u);
  EXPECT_EQ(read.repeat, FOREVER_REPEAT);
}

TEST_F(UiTest, EscapeDuringARunStopsTheCaptureFirst) {
  CBlipcountDlg& window = Open();
  window.OnStart();
  ASSERT_TRUE(device_->queued);
  QTest::keyClick(window.controls().Control(kRepeatField), Qt::Key_Escape);
  EXPECT_FALSE(device_->queued);
  EXPECT_EQ(device_->calls.back(), "Close");
  EXPECT_EQ(state_.controls.counts_field, nullptr);
  window_.reset();
  EXPECT_GE(queue_.RunPending(), 0u);  // whatever was posted runs without a window
}

TEST_F(UiTest, AboutBoxLinksAndDone) {
  CBlipcountDlg& window = Open();
  bool seen = false;
  desktop_.on_modal = [&](QDialog& dialog) {
    auto* about = dynamic_cast<CAboutDlg*>(&dialog);
    EXPECT_NE(about, nullptr);
    if (about == nullptr) return int(QDialog::Rejected);
    seen = true;
    EXPECT_EQ(about->windowTitle().toStdString(), "About Blipcount");
    about->show();
    about->controls().Get<QPushButton>(kClubLinkButton)->click();
    about->controls().Get<QPushButton>(kEmailButton)->click();
    EXPECT_TRUE(about->isVisible());  // neither link closes the box
    about->controls().Get<QPushButton>(kAboutDoneButton)->click();
    EXPECT_FALSE(about->isVisible());
    return about->result();
  };
  window.actions().back()->trigger();
  EXPECT_TRUE(seen);
  ASSERT_EQ(desktop_.urls.size(), 2u);
  EXPECT_EQ(desktop_.urls[0].host().toStdString(), "club.example.org");
  EXPECT_EQ(desktop_.urls[1].toString().toStdString(), "mailto:developers@example.org");
  EXPECT_EQ(Log(), Lines{kBanner});
}

}  // namespace

namespace {

// A pushed button keeps no default look once the focus has moved on: Enter then ends the
// program, as the window has no default button.
TEST_F(UiTest, APushedButtonIsNotLeftAsTheDefaultOne) {
  CBlipcountDlg& window = Open();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  for (int id : {kClearLogButton, kHelpButton}) {
    QTest::mouseClick(window.controls().Control(id), Qt::LeftButton);
    QTest::mouseClick(window.controls().Control(kThresholdField), Qt::LeftButton);
    ASSERT_EQ(window.focusWidget(), window.controls().Control(kThresholdField));
    for (QPushButton* button : window.findChildren<QPushButton*>()) {
      EXPECT_FALSE(button->isDefault()) << button->text().toStdString() << " after " << id;
    }
  }
}

TEST_F(UiTest, NoDefaultButtonButEnterPressesTheFocusedOne) {
  CBlipcountDlg& window = Open();
  for (QPushButton* button : window.findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
  }
  auto* clear = window.controls().Get<QPushButton>(kClearLogButton);
  clear->setFocus();
  QTest::keyClick(clear, Qt::Key_Return);
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(Log().empty());  // Clear Log ran; the window did not end
}

}  // namespace

namespace {

// The builder: places in dialog units through the font's base units, the template's order as
// the tab order, the mnemonics kept.
TEST_F(UiTest, TemplateBecomesTheWindowsLayoutAndTabOrder) {
  CBlipcountDlg& window = Open();
  const BaseUnits units = window.controls().units();
  const QFontMetrics metrics(window.font());
  EXPECT_EQ(units.vertical, metrics.height());
  EXPECT_EQ(units.horizontal, (metrics.horizontalAdvance(QStringLiteral(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) +
                               26) /
                                  52);
  EXPECT_EQ(window.size(), QSize(503 * units.horizontal / 4, 199 * units.vertical / 8));
  EXPECT_EQ(window.controls().Control(kThresholdField)->geometry(),
            QRect(112 * units.horizontal / 4, 70 * units.vertical / 8, 40 * units.horizontal / 4,
                  14 * units.vertical / 8));

  std::vector<QWidget*> expected;
  for (const ControlTemplate& control : MainWindowTemplate().controls) {
    // Texts and frames take no focus, also those the program writes to.
    const bool text = control.kind == ControlKind::kText ||
                      control.kind == ControlKind::kTextRight ||
                      control.kind == ControlKind::kTextCentreBorder;
    if (control.id == kNoId || text) continue;
    expected.push_back(window.controls().Control(control.id));
  }
  std::vector<QWidget*> chain{expected.front()};
  for (QWidget* w = expected.front()->nextInFocusChain();
       w != expected.front() && chain.size() < expected.size(); w = w->nextInFocusChain()) {
    if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
  }
  EXPECT_EQ(chain, expected);
  EXPECT_EQ(window.controls().Get<QPushButton>(kClearLogButton)->text().toStdString(),
            "Clear &Log");
}

}  // namespace
