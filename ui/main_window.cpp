// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

#include "core/report.h"
#include "files/config_file.h"
#include "files/settings_file.h"
#include "graph/graph_dialog.h"
#include "server/http_server.h"
#include "ui/about_dialog.h"
#include "ui/comment_dialog.h"
#include "ui/options_dialog.h"
#include "ui/pictures.h"

namespace {

constexpr char kHelpDocument[] = "Help.html";

constexpr int kFieldIds[] = {kSampleTimeField,  kRepeatField,     kThresholdField,
                             kSensitivityField, kCountsField,     kCpmField,
                             kMrhrField,        kAverageCpmField, kAverageMrhrField};
constexpr int kButtonIds[] = {kStartButton, kCancelButton, kGraphButton};

}  // namespace

CBlipcountDlg::CBlipcountDlg(CounterState& state, Desktop& desktop,
                             CaptureController::DeviceFactory make_device)
    : QDialog(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      state_(state),
      desktop_(desktop),
      built_(BuildDialog(*this, MainWindowTemplate())),
      messages_(desktop, this) {
  setWindowIcon(ProgramIcon());
  setSizeGripEnabled(false);
  auto* list = built_.Get<QAbstractItemView>(kLogList);
  list->setModel(&log_model_);
  log_control_ = std::make_unique<LogListControl>(list, &log_model_);
  for (int id : kFieldIds) {
    fields_[id] = std::make_unique<LineEditControl>(built_.Get<QLineEdit>(id));
  }
  for (int id : kButtonIds) {
    buttons_[id] = std::make_unique<PushButtonControl>(built_.Get<QPushButton>(id));
  }
  capture_ = std::make_unique<CaptureController>(state_, std::move(make_device), *this);

  const auto on_click = [this](int id, void (CBlipcountDlg::*command)()) {
    connect(built_.Get<QPushButton>(id), &QPushButton::clicked, this, command);
  };
  on_click(kStartButton, &CBlipcountDlg::OnStart);
  on_click(kCancelButton, &CBlipcountDlg::OnCancelSampling);
  on_click(kGraphButton, &CBlipcountDlg::OnGraph);
  on_click(kOptionsButton, &CBlipcountDlg::OnOptions);
  on_click(kHelpButton, &CBlipcountDlg::OnHelp);
  on_click(kClearLogButton, &CBlipcountDlg::OnClearLog);
  on_click(kForeverButton, &CBlipcountDlg::OnForever);
  on_click(kZeroButton, &CBlipcountDlg::OnZero);
  DoDataExchange(DataExchange::Direction::kLoad);
}

CBlipcountDlg::~CBlipcountDlg() {
  OnDestroy();
  // The owned windows go before the main window; the servers, which only read the state and
  // post log lines, are stopped and joined last.
  comment_editor_.reset();
  graph_.reset();
  state_.graphdlg = nullptr;
  capture_.reset();
  servers_.clear();
}

LineEditControl& CBlipcountDlg::field(int id) { return *fields_.at(id); }

void CBlipcountDlg::OnInitDialog() {
  // This platform has no window menu that a program may extend: the About item goes into the
  // window's context menu, after a separator.
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  addAction(separator);
  auto* about = new QAction(QString::fromUtf8(kAboutMenuText), this);
  connect(about, &QAction::triggered, this, &CBlipcountDlg::OnAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  setWindowTitle(QString::fromStdString(state_.banner));
  state_.controls = MainControls{&field(kCountsField),
                                 &field(kCpmField),
                                 &field(kMrhrField),
                                 &field(kAverageCpmField),
                                 &field(kAverageMrhrField),
                                 log_control_.get(),
                                 buttons_.at(kStartButton).get(),
                                 buttons_.at(kCancelButton).get(),
                                 buttons_.at(kGraphButton).get(),
                                 &field(kRepeatField),
                                 &field(kSampleTimeField)};
  const auto take_state = [this] {
    values_.threshold = state_.threshold;
    values_.sampletime = state_.sampletime;
    values_.repeat = state_.repeat;
    values_.scale = state_.scale;
  };
  take_state();
  if (ReadSettings(state_, state_.ini_file_name)) take_state();
  DoDataExchange(DataExchange::Direction::kLoad);
  LogLine(state_, state_.banner);
  // The file of the newer features lies beside the settings file; its problems follow the
  // banner, one line each.
  for (const std::string& problem : ReadConfig(kConfigFileName, state_.config).problems) {
    LogLine(state_, problem);
  }
  if (state_.autostart != 0) {
    LogLine(state_, "Starting automatically...");
    OnStart();
    OnGraph();  // whatever became of the Start
  }
  built_.Control(kSampleTimeField)->setFocus(Qt::OtherFocusReason);
}

bool CBlipcountDlg::DoDataExchange(DataExchange::Direction direction) {
  DataExchange dx(direction, messages_);
  dx.Unsigned(kThresholdField, field(kThresholdField), values_.threshold, 1, 255);
  dx.Unsigned(kSampleTimeField, field(kSampleTimeField), values_.sampletime, 1, 99999);
  dx.Float(kSensitivityField, field(kSensitivityField), values_.scale, 1, 9999999999.0);
  dx.Unsigned(kRepeatField, field(kRepeatField), values_.repeat, 1, UINT32_MAX);
  return dx.ok();
}

std::optional<MainValues> CBlipcountDlg::SaveFields() {
  if (!DoDataExchange(DataExchange::Direction::kSave)) return std::nullopt;
  return values_;
}

void CBlipcountDlg::StoreValues() {
  state_.threshold = values_.threshold;
  state_.scale = static_cast<float>(values_.scale);
  std::lock_guard lock(state_.shared_mutex);
  state_.sampletime = values_.sampletime;
  state_.repeat = values_.repeat;
}

void CBlipcountDlg::OnStart() { capture_->OnStart(); }

void CBlipcountDlg::OnCancelSampling() { capture_->OnCancelSampling(); }

void CBlipcountDlg::OnGraph() { OnGraphCommand(state_, graph_, this); }

void CBlipcountDlg::OnHelp() {
  // The document in the working directory; a missing one gets no message.
  desktop_.OpenUrl(
      QUrl::fromLocalFile(QDir::current().absoluteFilePath(QString::fromUtf8(kHelpDocument))));
}

void CBlipcountDlg::OnClearLog() { log_control_->Clear(); }

void CBlipcountDlg::OnForever() {
  DoDataExchange(DataExchange::Direction::kSave);  // a failure shows and the command goes on
  values_.repeat = FOREVER_REPEAT;
  DoDataExchange(DataExchange::Direction::kLoad);
}

void CBlipcountDlg::OnZero() {
  {
    std::lock_guard lock(state_.shared_mutex);
    state_.iteration = 0;
  }
  field(kAverageCpmField).SetText("0");
  field(kAverageMrhrField).SetText("0");
}

void CBlipcountDlg::OnAbout() {
  CAboutDlg about(desktop_, this);
  desktop_.RunModal(about);
}

void CBlipcountDlg::OnOptions() {
  DoDataExchange(DataExchange::Direction::kSave);  // a failure shows and the command goes on
  StoreValues();

  COptionsDlg options(*this);
  options.port = state_.webport;
  options.ticks_per_minute = state_.timingticksperminute;
  options.connect_points = state_.connectpoints != 0;
  options.vertical_bars = state_.verticalbars != 0;
  options.autostart = state_.autostart != 0;
  options.graph_title = state_.graphtitle;
  options.scroll_width = state_.scrollwidth;
  options.write_jpg = state_.savegraph != 0;
  options.fill = state_.fillgraph != 0;
  options.coincidence = (state_.coincidence & 0xFF) != 0;
  options.log_confidence = state_.logconfidence != 0;
  options.OnInitDialog();
  if (desktop_.RunModal(options) == QDialog::Accepted) ApplyOptions(options);
}

void CBlipcountDlg::ApplyOptions(const COptionsDlg& options) {
  state_.verticalbars = options.vertical_bars != 0;
  state_.connectpoints = options.connect_points != 0;
  state_.timingticksperminute = options.ticks_per_minute;
  state_.webport = options.port;
  state_.fillgraph = options.fill != 0;
  state_.autostart = options.autostart != 0;
  state_.graphtitle = options.graph_title;
  state_.savegraph = options.write_jpg != 0;
  state_.logconfidence = options.log_confidence != 0;

  const int32_t coincidence = options.coincidence != 0;
  if (coincidence != static_cast<int32_t>(state_.coincidence_on())) {
    if (capture_->device_open()) {
      LogLine(state_, "Stopping: coincidence detection change.");
      capture_->OnCancelSampling();
    }
    state_.coincidence = coincidence;
  }

  if (options.scroll_width != state_.scrollwidth) {
    if (state_.forever()) {
      LogLine(state_, "Stopping: change in \"forever\" scroll window.");
      capture_->OnCancelSampling();
    }
    std::lock_guard lock(state_.shared_mutex);
    state_.scrollwidth = options.scroll_width;
    state_.history = CountHistory::Allocate(state_.scrollwidth, state_.allocation_limit);
  }

  if (state_.graph_open) {
    RepaintGraph(state_);
    SetGraphCaption(state_, graph_.get());
  }
}

void CBlipcountDlg::AddNotes() {
  if (!state_.notes_open) {
    state_.notes_open = true;
    comment_editor_ = std::make_unique<CCommentDlg>(state_);
  }
  comment_editor_->showNormal();
  comment_editor_->raise();
  comment_editor_->activateWindow();
  comment_editor_->update();
}

void CBlipcountDlg::KeepServer(std::unique_ptr<StatusServer> server) {
  if (server != nullptr) servers_.push_back(std::move(server));
}

void CBlipcountDlg::keyPressEvent(QKeyEvent* event) {
  // The window has no default button: Enter, where no push button takes it, is the OK command.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier) {
    OnOK();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CBlipcountDlg::OnOK() {
  // The fields are validated first; only a window that really ends closes the audio input.
  if (!DoDataExchange(DataExchange::Direction::kSave)) return;
  capture_->StopAndClose();
  accept();
}

void CBlipcountDlg::setVisible(bool visible) {
  QDialog::setVisible(visible);
  // A dialog that is shown makes its first button the default one; this window has none, only
  // the focused button takes Enter.
  if (!visible) return;
  for (QPushButton* button : findChildren<QPushButton*>()) {
    if (button->isDefault() && !button->hasFocus()) button->setDefault(false);
  }
}

void CBlipcountDlg::done(int result) {
  QDialog::done(result);
  OnDestroy();
}

void CBlipcountDlg::OnDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // A capture in progress stops before the controls it writes to go away.
  capture_->StopAndClose();
  DoDataExchange(DataExchange::Direction::kSave);  // a failure shows and is otherwise ignored
  StoreValues();
  WriteSettings(state_, state_.ini_file_name);  // a failure is ignored
  if (comment_editor_ != nullptr) comment_editor_->hide();
  if (graph_ != nullptr) graph_->hide();
  state_.controls = MainControls{};
}
