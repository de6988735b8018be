// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <fstream>

#include "graph/graph_dialog.h"
#include "support/fake_controls.h"
#include "ui/comment_dialog.h"
#include "ui/options_dialog.h"
#include "ui_test_support.h"

namespace {

using Lines = std::vector<std::string>;

QLineEdit* Edit(COptionsDlg& options, int id) { return options.controls().Get<QLineEdit>(id); }
QCheckBox* Box(COptionsDlg& options, int id) { return options.controls().Get<QCheckBox>(id); }
void Click(COptionsDlg& options, int id) { options.controls().Get<QPushButton>(id)->click(); }

class OptionsTest : public UiTest {
 protected:
  // Runs the Options command; `act` works the dialog while it is open, and Done is pressed
  // afterwards when `done` is set (Escape otherwise).
  int RunOptions(const std::function<void(COptionsDlg&)>& act, bool done = true) {
    int result = -1;
    desktop_.on_modal = [&](QDialog& dialog) {
      auto& options = dynamic_cast<COptionsDlg&>(dialog);
      options.show();
      act(options);
      if (done && options.isVisible()) Click(options, kDoneButton);
      if (options.isVisible()) QTest::keyClick(&options, Qt::Key_Escape);
      result = options.result();
      return result;
    };
    window().OnOptions();
    desktop_.on_modal = nullptr;
    return result;
  }
};

TEST_F(OptionsTest, ShowsTheDefaults) {
  Open();
  RunOptions(
      [](COptionsDlg& options) {
        EXPECT_EQ(options.windowTitle().toStdString(), "Blipcount Options");
        EXPECT_EQ(Edit(options, kPortField)->text().toStdString(), "700");
        EXPECT_EQ(Edit(options, kTicksField)->text().toStdString(), "0");
        EXPECT_EQ(Edit(options, kScrollWidthField)->text().toStdString(), "60");
        EXPECT_EQ(Edit(options, kGraphTitleField)->text().toStdString(), "   Counts Per Minute   ");
        for (int id : {kConnectPointsBox, kLogConfidenceBox}) {
          EXPECT_TRUE(Box(options, id)->isChecked()) << id;
        }
        for (int id : {kInsertCommasBox, kTextGraphBox, kVerticalBarsBox, kAutostartBox,
                       kWriteJpgBox, kFillBox, kCoincidenceBox}) {
          EXPECT_FALSE(Box(options, id)->isChecked()) << id;
        }
      },
      false);
}

TEST_F(OptionsTest, EscapeAppliesNothing) {
  Open();
  const int result = RunOptions(
      [](COptionsDlg& options) {
        Edit(options, kPortField)->setText(QStringLiteral("8080"));
        Edit(options, kScrollWidthField)->setText(QStringLiteral("30"));
        Edit(options, kGraphTitleField)->setText(QStringLiteral("Mine"));
        Box(options, kCoincidenceBox)->click();
        Box(options, kFillBox)->click();
      },
      false);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(state_.webport, 700u);
  EXPECT_EQ(state_.scrollwidth, 60u);
  EXPECT_EQ(state_.graphtitle, "   Counts Per Minute   ");
  EXPECT_EQ(state_.coincidence, 0);
  EXPECT_EQ(state_.fillgraph, 0);
  EXPECT_EQ(Log(), Lines{kBanner});
}

TEST_F(OptionsTest, DoneAppliesEveryValue) {
  Open();
  RunOptions([](COptionsDlg& options) {
    Edit(options, kPortField)->setText(QStringLiteral("8080"));
    Edit(options, kTicksField)->setText(QStringLiteral("4294967295"));
    Edit(options, kGraphTitleField)->setText(QStringLiteral("Cellar"));
    for (int id : {kConnectPointsBox, kVerticalBarsBox, kAutostartBox, kWriteJpgBox, kFillBox,
                   kLogConfidenceBox, kInsertCommasBox, kTextGraphBox}) {
      Box(options, id)->click();
    }
  });
  EXPECT_EQ(state_.webport, 8080u);
  EXPECT_EQ(state_.timingticksperminute, 4294967295u);
  EXPECT_EQ(state_.graphtitle, "Cellar");
  EXPECT_EQ(state_.connectpoints, 0);
  EXPECT_EQ(state_.verticalbars, 1);
  EXPECT_EQ(state_.autostart, 1);
  EXPECT_EQ(state_.savegraph, 1);
  EXPECT_EQ(state_.fillgraph, 1);
  EXPECT_EQ(state_.logconfidence, 0);
  EXPECT_EQ(Log(), Lines{kBanner});
  // Insert Commas and Text Graph start unchecked at every opening.
  RunOptions(
      [](COptionsDlg& options) {
        EXPECT_FALSE(Box(options, kInsertCommasBox)->isChecked());
        EXPECT_FALSE(Box(options, kTextGraphBox)->isChecked());
        EXPECT_TRUE(Box(options, kFillBox)->isChecked());
      },
      false);
}

// The options dialog's half of the exchange failures: Done shows the message, puts the focus
// back and keeps the dialog open; nothing is applied.
struct OptionsCase {
  int field;
  const char* text;
  const char* message;
};

// Names the case in the test list by the field and the text typed.
void PrintTo(const OptionsCase& c, std::ostream* os) {
  *os << "field " << c.field << " \"" << c.text << "\"";
}

class OptionsExchange : public OptionsTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(OptionsExchange, DoneStaysOpen) {
  const OptionsCase& c = GetParam();
  Open();
  bool stayed_open = false;
  const int result = RunOptions(
      [&](COptionsDlg& options) {
        Edit(options, c.field)->setText(QString::fromUtf8(c.text));
        Edit(options, kGraphTitleField)->setText(QStringLiteral("changed"));
        Click(options, kDoneButton);
        stayed_open = options.isVisible();
        EXPECT_EQ(options.focusWidget(), Edit(options, c.field));
        EXPECT_EQ(Edit(options, c.field)->selectedText(), Edit(options, c.field)->text());
      },
      false);
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(desktop_.warnings, Lines{c.message});
  EXPECT_EQ(state_.webport, 700u);
  EXPECT_EQ(state_.scrollwidth, 60u);
  EXPECT_EQ(state_.timingticksperminute, 0u);
  EXPECT_EQ(state_.graphtitle, "   Counts Per Minute   ");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, OptionsExchange,
    ::testing::Values(
        OptionsCase{kPortField, "65536", "Please enter an integer between 1 and 65535."},
        OptionsCase{kPortField, "0", "Please enter an integer between 1 and 65535."},
        OptionsCase{kPortField, "web", "Please enter a positive integer."},
        OptionsCase{kTicksField, "-1", "Please enter a positive integer."},
        OptionsCase{kScrollWidthField, "0", "Please enter an integer between 1 and 999999."},
        OptionsCase{kScrollWidthField, "1000000", "Please enter an integer between 1 and 999999."},
        OptionsCase{kScrollWidthField, "", "Please enter a positive integer."}));

TEST_F(OptionsTest, MainWindowFailureShowsBeforeTheDialogOpens) {
  Open();
  Type(kThresholdField, "abc");
  bool opened = false;
  RunOptions(
      [&](COptionsDlg&) {
        opened = true;
        EXPECT_EQ(desktop_.warnings, Lines{"Please enter a positive integer."});
      },
      false);
  EXPECT_TRUE(opened);
}

TEST_F(OptionsTest, ScrollWidthInAForeverRunStopsIt) {
  CBlipcountDlg& window = Open();
  window.OnForever();
  window.OnStart();
  ASSERT_TRUE(CompletePeriod());
  const size_t before = Log().size();
  RunOptions([](COptionsDlg& options) {
    Edit(options, kScrollWidthField)->setText(QStringLiteral("30"));
  });
  const Lines log = Log();
  ASSERT_GE(log.size(), before + 2);
  EXPECT_EQ(log[before], "Stopping: change in \"forever\" scroll window.");
  EXPECT_EQ(log[before + 1], "Cancelled.");
  EXPECT_EQ(state_.scrollwidth, 30u);
  ASSERT_EQ(state_.history.size(), 30u);
  for (uint32_t counts : state_.history.entries()) EXPECT_EQ(counts, 0u);
  // The stopped period still comes in and ends the run.
  queue_.RunPending();
  EXPECT_EQ(Log().back(), "Done counting.");
}

TEST_F(OptionsTest, ScrollWidthWithForeverTypedButNoDevice) {
  Open();
  Type(kRepeatField, "999999999");
  RunOptions([](COptionsDlg& options) {
    Edit(options, kScrollWidthField)->setText(QStringLiteral("30"));
  });
  EXPECT_EQ(Log(), (Lines{kBanner, "Stopping: change in \"forever\" scroll window.",
                          "Audio input not open."}));
}

TEST_F(OptionsTest, ScrollWidthInNormalModeReplacesTheHistoryQuietly) {
  CBlipcountDlg& window = Open();
  Type(kRepeatField, "2");
  window.OnStart();
  ASSERT_TRUE(CompletePeriod());
  ASSERT_TRUE(CompletePeriod());
  state_.history.Store(0, 9);
  const size_t before = Log().size();
  RunOptions(
      [](COptionsDlg& options) { Edit(options, kScrollWidthField)->setText(QStringLiteral("5")); });
  EXPECT_EQ(Log().size(), before);
  ASSERT_EQ(state_.history.size(), 5u);
  for (uint32_t counts : state_.history.entries()) EXPECT_EQ(counts, 0u);
  EXPECT_EQ(state_.iteration, 2u);  // kept
}

TEST_F(OptionsTest, HistoryThatCannotBeAllocatedIsAbsent) {
  Open();
  state_.allocation_limit = 16;
  RunOptions([](COptionsDlg& options) {
    Edit(options, kScrollWidthField)->setText(QStringLiteral("999999"));
  });
  EXPECT_EQ(state_.scrollwidth, 999999u);
  EXPECT_FALSE(state_.history.present());
}

TEST_F(OptionsTest, CoincidenceBeforeAnyStartAndAfterARun) {
  CBlipcountDlg& window = Open();
  RunOptions([](COptionsDlg& options) { Box(options, kCoincidenceBox)->click(); });
  EXPECT_EQ(state_.coincidence, 1);
  EXPECT_EQ(Log(), Lines{kBanner});

  Type(kRepeatField, "1");
  window.OnStart();
  ASSERT_TRUE(CompletePeriod());
  ASSERT_EQ(Log().back(), "Done counting.");
  const size_t before = Log().size();
  RunOptions([](COptionsDlg& options) {
    EXPECT_TRUE(Box(options, kCoincidenceBox)->isChecked());
    Box(options, kCoincidenceBox)->click();
  });
  const Lines log = Log();
  ASSERT_GE(log.size(), before + 2);
  EXPECT_EQ(log[before], "Stopping: coincidence detection change.");
  EXPECT_EQ(log[before + 1], "Cancelled.");
  EXPECT_EQ(state_.coincidence, 0);
}

TEST_F(OptionsTest, TitleChangeRenamesAndRepaintsTheGraph) {
  CBlipcountDlg& window = Open();
  window.OnGraph();
  ASSERT_NE(window.graph_window(), nullptr);
  RepaintTarget* graph = state_.graphdlg;
  FakeRepaint repaints;
  state_.graphdlg = &repaints;  // counts the requests that the window would get
  RunOptions([](COptionsDlg& options) {
    Edit(options, kGraphTitleField)->setText(QStringLiteral("Basement"));
  });
  state_.graphdlg = graph;
  EXPECT_EQ(repaints.repaints, 1);
  EXPECT_EQ(window.graph_window()->windowTitle().toStdString(), "Basement");
  EXPECT_EQ(Log(), Lines{kBanner});
}

TEST_F(OptionsTest, StartServerWithAFailedPortStartsNothing) {
  Open();
  RunOptions(
      [](COptionsDlg& options) {
        Edit(options, kPortField)->setText(QStringLiteral("70000"));
        Click(options, kStartServerButton);
      },
      false);
  EXPECT_EQ(desktop_.warnings, Lines{"Please enter an integer between 1 and 65535."});
  EXPECT_FALSE(state_.server_running);
  EXPECT_EQ(Log(), Lines{kBanner});
}

TEST_F(OptionsTest, AddNotesTwiceMakesOneEditor) {
  CBlipcountDlg& window = Open();
  CCommentDlg* first = nullptr;
  RunOptions(
      [&](COptionsDlg& options) {
        Click(options, kAddNotesButton);
        first = window.comment_editor();
        ASSERT_NE(first, nullptr);
        EXPECT_TRUE(first->isVisible());
        EXPECT_EQ(first->windowTitle().toStdString(), "Blipcount  Comment Editor");
        QTest::keyClicks(first->editor(), QStringLiteral("first line"));
        QTest::keyClick(first->editor(), Qt::Key_Return);  // a new line, not OK
        EXPECT_TRUE(first->isVisible());
        QTest::keyClicks(first->editor(), QStringLiteral("second"));
        first->findChild<QPushButton*>()->click();  // OK
        EXPECT_FALSE(first->isVisible());
      },
      false);
  EXPECT_TRUE(state_.notes_open);
  EXPECT_EQ(state_.notes, "first line\r\nsecond");
  RunOptions([](COptionsDlg& options) { Click(options, kAddNotesButton); }, false);
  EXPECT_EQ(window.comment_editor(), first);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->editor()->toPlainText().toStdString(), "first line\nsecond");
}

TEST_F(OptionsTest, SaveAsTakesTheEditorsTextAfterEscape) {
  CBlipcountDlg& window = Open();
  desktop_.data_answer = (dir_ / "data.txt").string();
  RunOptions(
      [&](COptionsDlg& options) {
        Click(options, kAddNotesButton);
        QTest::keyClicks(window.comment_editor()->editor(), QStringLiteral("typed, never OK"));
        QTest::keyClick(window.comment_editor(), Qt::Key_Escape);
        EXPECT_FALSE(window.comment_editor()->isVisible());
        EXPECT_EQ(state_.notes, "");
        Click(options, kSaveAsButton);
      },
      false);
  const std::string data = ReadFile("data.txt");
  EXPECT_NE(data.find("---------- Notes ----------"), std::string::npos) << data;
  EXPECT_NE(data.find("typed, never OK"), std::string::npos) << data;
  EXPECT_EQ(Log().back(), "Added notes.");
}

TEST_F(OptionsTest, SaveAsWithoutAnEditorHasNoNotes) {
  Open();
  desktop_.data_answer = (dir_ / "data.txt").string();
  RunOptions([](COptionsDlg& options) { Click(options, kSaveAsButton); }, false);
  const std::string data = ReadFile("data.txt");
  EXPECT_FALSE(data.empty());
  EXPECT_EQ(data.find("Notes"), std::string::npos) << data;
  EXPECT_EQ(Log(), Lines{kBanner});
}

TEST_F(OptionsTest, SaveAsAndReadFileCancelledDoNothing) {
  Open();
  RunOptions(
      [](COptionsDlg& options) {
        Click(options, kSaveAsButton);
        Click(options, kReadFileButton);
      },
      false);
  EXPECT_EQ(Log(), Lines{kBanner});
  EXPECT_FALSE(std::filesystem::exists(dir_ / "data.txt"));
}

TEST_F(OptionsTest, ReadFileAnalysesTheChosenRecording) {
  Open();
  // Two seconds of 8-bit mono samples with 5 clicks, in a canonical header.
  std::vector<uint8_t> samples(2 * 11025, 60);
  // Each click jumps up once and then decays slowly, so only its rise counts.
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 190; ++j) samples[1000 + i * 3000 + j] = static_cast<uint8_t>(250 - j);
  }
  const uint32_t riff = 36 + samples.size();
  std::string file = "RIFF";
  for (int i = 0; i < 4; ++i) file += static_cast<char>((riff >> (8 * i)) & 0xff);
  file += std::string("WAVEfmt \x10\0\0\0\x01\0\x01\0\x11\x2b\0\0\x11\x2b\0\0\x01\0\x08\0data", 32);
  for (int i = 0; i < 4; ++i) file += static_cast<char>((samples.size() >> (8 * i)) & 0xff);
  file.append(reinterpret_cast<const char*>(samples.data()), samples.size());
  const std::string path = (dir_ / "clicks.wav").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << file;
  }
  desktop_.wav_answer = path;
  RunOptions([](COptionsDlg& options) { Click(options, kReadFileButton); }, false);
  ASSERT_TRUE(WaitForReadFile());
  const Lines log = Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], "Reading WAV File \"" + path + "\"");
  EXPECT_EQ(Text(kRepeatField), "1");
  EXPECT_EQ(Text(kSampleTimeField), "2");
  EXPECT_EQ(Text(kCountsField), "5");
}

}  // namespace
