// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
// The program's windows as a user meets them: the application runs its main window with its own
// loop, and a script of steps, each started from a timer inside whichever loop is running, clicks
// and types through the windows' platform windows. Those events take the route of the window
// system's, so a window that a modal one blocks does not get them.
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <deque>
#include <functional>

#include "ui/app.h"
#include "ui/comment_dialog.h"
#include "ui/desktop.h"
#include "ui/options_dialog.h"
#include "ui_test_support.h"

namespace {

// The Qt desktop, but the data file chooser answers with a fixed path and warnings are only
// recorded, so that nothing waits for a person.
class AnsweringDesktop : public QtDesktop {
 public:
  explicit AnsweringDesktop(std::string data_file) : data_file_(std::move(data_file)) {}
  void Warning(QWidget*, const std::string& text) override { warnings.push_back(text); }
  std::optional<std::string> ChooseDataFile(QWidget*) override { return data_file_; }
  std::vector<std::string> warnings;

 private:
  std::string data_file_;
};

// Steps run one after another, each from a timer. A step returns false while what it waits for
// has not come yet, and is tried again at the next tick. The next tick is set before a step runs,
// so the script goes on inside a modal dialog that the step opens.
class Script : public QObject {
 public:
  void Add(std::function<bool()> step) { steps_.push_back(std::move(step)); }
  void Start() { QTimer::singleShot(kTickMs, this, &Script::RunNext); }
  bool finished() const { return steps_.empty(); }
  size_t left() const { return steps_.size(); }

 private:
  static constexpr int kTickMs = 30;
  static constexpr int kTries = 300;

  void RunNext() {
    if (steps_.empty()) return;
    std::function<bool()> step = std::move(steps_.front());
    steps_.pop_front();
    QTimer::singleShot(kTickMs, this, &Script::RunNext);
    if (step()) {
      tries_ = 0;
      ++done_;
    } else if (++tries_ > kTries) {
      ADD_FAILURE() << "step " << done_ + 1 << " waited in vain";
      steps_.clear();
    } else {
      steps_.push_front(std::move(step));
    }
  }

  std::deque<std::function<bool()>> steps_;
  int tries_ = 0;
  int done_ = 0;
};

QWindow* PlatformWindow(QWidget* widget) { return widget->window()->windowHandle(); }

bool Shown(QWidget* window) {
  return window != nullptr && window->isVisible() && PlatformWindow(window) != nullptr &&
         PlatformWindow(window)->isExposed();
}

// A click in the middle of a control, delivered to its window.
void Click(QWidget* control) {
  QTest::mouseClick(PlatformWindow(control), Qt::LeftButton, Qt::NoModifier,
                    control->mapTo(control->window(), control->rect().center()));
}

void Key(QWidget* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(PlatformWindow(window), key, modifiers);
}

void TypeInto(QWidget* window, const std::string& text) {
  for (char c : text) QTest::keyClick(PlatformWindow(window), c);
}

class EventLoopTest : public UiTest {};

// The comment editor takes typing, OK and Escape while the Options dialog is open and after it
// has closed, and the data file saved afterwards holds what was typed.
TEST_F(EventLoopTest, CommentEditorTakesInputBesideTheProgramsDialogs) {
  const std::string data_file = (dir_ / "data.txt").string();
  AnsweringDesktop desktop(data_file);
  AppOptions options;
  options.desktop = &desktop;
  auto device = device_;
  options.make_device = [device] { return std::make_unique<FakeAudioInput>(device); };
  Script script;
  CBlipcountDlg* main = nullptr;
  CounterState* state = nullptr;
  const auto dialog = [&] { return main->findChild<COptionsDlg*>(); };
  const auto editor = [&] { return main->comment_editor(); };
  const auto options_button = [&](int id) {
    return qobject_cast<QPushButton*>(dialog()->controls().Control(id));
  };
  const auto editor_ok = [&] { return editor()->findChild<QPushButton*>(); };
  const auto editor_field = [&] { return editor()->editor(); };

  // With the Options dialog open: Add Notes, two lines typed, OK.
  script.Add([&] {
    if (!Shown(main)) return false;
    Click(main->controls().Control(kOptionsButton));
    return true;
  });
  script.Add([&] {
    if (!Shown(dialog())) return false;
    Click(options_button(kAddNotesButton));
    return true;
  });
  script.Add([&] {
    if (!Shown(editor())) return false;
    Click(editor_field());
    TypeInto(editor(), "first line");
    Key(editor(), Qt::Key_Return);  // a new line, not OK
    TypeInto(editor(), "second");
    Click(editor_ok());
    return true;
  });
  script.Add([&] {
    EXPECT_FALSE(editor()->isVisible());
    EXPECT_EQ(state->notes, "first line\r\nsecond");
    Click(options_button(kAddNotesButton));
    return true;
  });
  // The Options dialog closes; the editor stays and takes more typing, then Escape.
  script.Add([&] {
    if (!Shown(editor())) return false;
    Key(dialog(), Qt::Key_Escape);
    return true;
  });
  script.Add([&] {
    if (dialog() != nullptr) return false;  // the dialog goes when the command ends
    EXPECT_TRUE(editor()->isVisible());
    Click(editor_field());
    Key(editor(), Qt::Key_End, Qt::ControlModifier);
    Key(editor(), Qt::Key_Return);
    TypeInto(editor(), "third");
    Key(editor(), Qt::Key_Escape);
    return true;
  });
  script.Add([&] {
    EXPECT_FALSE(editor()->isVisible());
    EXPECT_EQ(state->notes, "first line\r\nsecond");  // Escape does not save
    Click(main->controls().Control(kOptionsButton));
    return true;
  });
  // Save As takes the editor's text as it stands; Done; then the program ends.
  script.Add([&] {
    if (!Shown(dialog())) return false;
    Click(options_button(kSaveAsButton));
    Click(options_button(kDoneButton));
    return true;
  });
  script.Add([&] {
    if (dialog() != nullptr) return false;
    Key(main, Qt::Key_Escape);
    return true;
  });

  options.on_created = [&](CBlipcountDlg& window) {
    main = &window;
    script.Start();
  };
  CBlipcountApp app(std::move(options));
  state = &app.state();
  // Whatever happens, the program ends: a step that waits in vain ends the script, and then
  // every window is closed.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (!script.finished()) return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* open = qobject_cast<QDialog*>(widget); open != nullptr && open->isVisible()) {
        open->reject();
      }
    }
  });
  closer.start(2000);
  EXPECT_EQ(app.InitInstance(), 0);
  EXPECT_TRUE(script.finished()) << script.left() << " steps left";
  EXPECT_EQ(desktop.warnings, std::vector<std::string>{});

  const std::string data = ReadFile("data.txt");
  EXPECT_NE(data.find("---------- Notes ----------\nfirst line\r\nsecond\r\nthird\n"
                      "---------------------------\n"),
            std::string::npos)
      << data;
}

}  // namespace
