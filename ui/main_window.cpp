// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/main_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

#include "core/dose_report.h"
#include "core/limits.h"
#include "core/period_events.h"
#include "core/report.h"
#include "core/text_format.h"
#include "files/config_file.h"
#include "files/settings_file.h"
#include "graph/graph_dialog.h"
#include "input/wav_input.h"
#include "record/export_job.h"
#include "record/recorder.h"
#include "server/http_server.h"
#include "ui/about_dialog.h"
#include "ui/alarm_signals.h"
#include "ui/comment_dialog.h"
#include "ui/options_dialog.h"
#include "ui/pictures.h"
#include "ui/read_file_progress.h"

namespace {

constexpr char kHelpDocument[] = "Help.html";
constexpr int64_t kExportSpanMs = int64_t{24} * 3600 * 1000;

constexpr int kFieldIds[] = {kSampleTimeField,    kRepeatField,        kThresholdField,
                             kSensitivityField,   kCountsField,        kCpmField,
                             kMrhrField,          kAverageCpmField,    kAverageMrhrField,
                             kUsvhField,          kAverageUsvhField,   kAverageUncertaintyField,
                             kDoseSinceZeroField, kDoseSinceStartField};
constexpr int kButtonIds[] = {kStartButton, kCancelButton, kGraphButton};

class NoMessages : public MessageSink {
 public:
  void Warning(const std::string&) override {}
};

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
  dead_time_note_ = std::make_unique<LabelControl>(built_.Get<QLabel>(kDeadTimeNote));
  alarm_rule_ = std::make_unique<LabelControl>(built_.Get<QLabel>(kAlarmRuleText));
  alarm_field_ = std::make_unique<BannerLabelControl>(built_.Get<QLabel>(kAlarmField));
  capture_ = std::make_unique<CaptureController>(state_, std::move(make_device), *this);
  wav_read_ = std::make_unique<WavFileRead>(state_, [this] { return capture_->capturing(); });
  alarm_signals_ = std::make_unique<AlarmSignals>(state_, desktop_);
  state_.period_listeners.push_back(alarm_signals_.get());

  // The window has no default button. A dialog's buttons become its default while they have the
  // focus and one of them stays so after it; these take Enter only while they have the focus
  // (keyPressEvent).
  for (QPushButton* button : findChildren<QPushButton*>()) button->setAutoDefault(false);
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
  delete read_progress_;
  wav_read_.reset();  // a read in progress is cancelled, and its worker ends
  capture_.reset();
  // The record takes the end of the run (told above), writes what it holds and closes.
  export_.reset();
  std::erase(state_.period_listeners, recorder_.get());
  recorder_.reset();
  servers_.clear();
  std::erase(state_.period_listeners, alarm_signals_.get());
}

LineEditControl& CBlipcountDlg::field(int id) { return *fields_.at(id); }

void CBlipcountDlg::OnInitDialog() {
  // This platform has no window menu that a program may extend: the About item goes into the
  // window's context menu, after a separator, and the record's export before them.
  auto* export_recording = new QAction(QString::fromUtf8(kExportRecordingMenuText), this);
  connect(export_recording, &QAction::triggered, this, &CBlipcountDlg::OnExportRecording);
  addAction(export_recording);
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
  MainControls& dose = state_.controls;
  dose.usvh_field = &field(kUsvhField);
  dose.avg_usvh_field = &field(kAverageUsvhField);
  dose.avg_uncertainty_field = &field(kAverageUncertaintyField);
  dose.dead_time_note = dead_time_note_.get();
  dose.dose_since_zero_field = &field(kDoseSinceZeroField);
  dose.dose_since_start_field = &field(kDoseSinceStartField);
  dose.alarm_field = alarm_field_.get();
  dose.alarm_rule_text = alarm_rule_.get();
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
  // The record is there before an autostart, so that it sees the run start.
  recorder_ = StartRecorder(
      state_.config, [&state = state_](std::string line) { PostLogLine(state, std::move(line)); });
  if (recorder_ != nullptr) state_.period_listeners.push_back(recorder_.get());
  ShowDoseSettings(state_);
  if (state_.autostart != 0) {
    LogLine(state_, "Starting automatically...");
    OnStart();
    OnGraph();  // whatever became of the Start
  }
  built_.Control(kSampleTimeField)->setFocus(Qt::OtherFocusReason);
}

bool CBlipcountDlg::DoDataExchange(DataExchange::Direction direction) {
  NoMessages no_messages;
  DataExchange dx(direction, silent_ ? static_cast<MessageSink&>(no_messages) : messages_);
  dx.Unsigned(kThresholdField, field(kThresholdField), values_.threshold, 1, 255);
  dx.Unsigned(kSampleTimeField, field(kSampleTimeField), values_.sampletime, 1, 99999);
  dx.Float(kSensitivityField, field(kSensitivityField), values_.scale, kScaleRange.min,
           kScaleRange.max);
  dx.Unsigned(kRepeatField, field(kRepeatField), values_.repeat, 1, UINT32_MAX);
  return dx.ok();
}

std::optional<MainValues> CBlipcountDlg::SaveFields() {
  if (!DoDataExchange(DataExchange::Direction::kSave)) return std::nullopt;
  MainValues values = values_;
  values.scale = StoredScale(values_.scale);  // as the state will hold it
  return values;
}

void CBlipcountDlg::StoreValues() {
  state_.threshold = values_.threshold;
  state_.scale = StoredScale(values_.scale);
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
  ZeroDose(state_);
}

void CBlipcountDlg::OnAbout() {
  CAboutDlg about(desktop_, this);
  desktop_.RunModal(about);
}

void CBlipcountDlg::OnExportRecording() {
  if (export_ != nullptr && !export_->finished()) {
    LogLine(state_, "An export is still being written; try again when it is done.");
    return;
  }
  const std::optional<std::string> path = desktop_.ChooseExportFile(this);
  if (!path) return;
  LogLine(state_,
          StringPrintf("Exporting the last 24 hours of the record to \"%s\"...", path->c_str()));
  ExportRange range;
  range.from_ms = UtcNowMs() - kExportSpanMs;
  export_.reset();  // the one before has finished
  export_ = std::make_unique<ExportJob>(
      state_.config.database, *path, range,
      [&state = state_](std::string line) { PostLogLine(state, std::move(line)); });
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

void CBlipcountDlg::ReadWavFile(const std::string& path, QWidget* parent) {
  if (!wav_read_) return;  // the window is ending
  // Made first, so that a read that ends at once (refused, or without an owner thread) finds it.
  auto* progress = new ReadFileProgress(*wav_read_, path, parent != nullptr ? parent : this);
  read_progress_ = progress;
  const auto finished = [this] {
    if (read_progress_ == nullptr) return;
    read_progress_->hide();
    read_progress_->deleteLater();
    read_progress_ = nullptr;
  };
  wav_read_->Begin(path, finished);
  if (!wav_read_->running() && read_progress_ == progress) finished();
}

ReadFileProgress* CBlipcountDlg::read_progress() const { return read_progress_; }

void CBlipcountDlg::KeepServer(std::unique_ptr<StatusServer> server) {
  if (server != nullptr) servers_.push_back(std::move(server));
}

void CBlipcountDlg::keyPressEvent(QKeyEvent* event) {
  // Enter presses the push button that has the focus; anywhere else it is the OK command.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
      event->modifiers() == Qt::NoModifier) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button != nullptr) {
      button->click();
    } else {
      OnOK();
    }
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

void CBlipcountDlg::EndOnSignal() {
  silent_ = true;
  // Every loop that runs ends, a modal dialog's too, and one opened from now on returns at once.
  QCoreApplication::exit(0);
}

void CBlipcountDlg::done(int result) {
  QDialog::done(result);
  OnDestroy();
}

void CBlipcountDlg::OnDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  // A capture in progress stops, and a Read File in progress is cancelled, before the controls
  // they write to go away.
  capture_->StopAndClose();
  delete read_progress_;
  wav_read_.reset();
  DoDataExchange(DataExchange::Direction::kSave);  // a failure shows and is otherwise ignored
  StoreValues();
  WriteSettings(state_, state_.ini_file_name);  // a failure is ignored
  if (comment_editor_ != nullptr) comment_editor_->hide();
  if (graph_ != nullptr) graph_->hide();
  state_.controls = MainControls{};
}
