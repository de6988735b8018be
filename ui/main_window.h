// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <QDialog>
#include <QPointer>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/counter_state.h"
#include "input/capture_controller.h"
#include "ui/data_exchange.h"
#include "ui/desktop.h"
#include "ui/dialog_builder.h"
#include "ui/log_model.h"
#include "ui/qt_controls.h"

class AlarmSignals;
class CCommentDlg;
class CGraphDlg;
class ExportJob;
class ReadFileProgress;
class Recorder;
class WavFileRead;
class QCheckBox;
class QKeyEvent;
class StatusServer;

// The main window: the four measurement settings, the results, the command buttons and the log.
// It runs on the GUI thread and is the program's owner of the capture, the graph window, the
// comment editor and the status servers. `state` and `desktop` must outlive it.
class CBlipcountDlg : public QDialog, public FieldExchange {
 public:
  CBlipcountDlg(CounterState& state, Desktop& desktop,
                CaptureController::DeviceFactory make_device);
  ~CBlipcountDlg() override;

  // Opening: the title, the control references, the settings file, the first log line and the
  // autostart.
  void OnInitDialog();

  // The commands of the buttons.
  void OnStart();
  void OnCancelSampling();
  void OnGraph();
  void OnOptions();
  void OnHelp();
  void OnClearLog();
  void OnForever();
  void OnZero();
  void OnAbout();
  // The context menu's "Export recording...": the last 24 hours of the record into a file that
  // the user chooses, written on a thread of its own.
  void OnExportRecording();
  // Enter outside a push button: validates, then closes the audio input and ends the window.
  void OnOK();
  // A signal ends the program, whatever dialog is open: every running loop is left, so the
  // window is destroyed and the settings written with its last valid values, without a message.
  void EndOnSignal();

  // The window's data exchange over its four values; false when saving failed.
  bool DoDataExchange(DataExchange::Direction direction);
  std::optional<MainValues> SaveFields() override;
  MainValues values() const { return values_; }

  // Operations the Options dialog's buttons reach.
  void AddNotes();
  // Read File once a path is chosen: read and counted on a worker, with a progress dialog over
  // `parent` when it takes longer than half a second. The read exists until the window ends.
  void ReadWavFile(const std::string& path, QWidget* parent);
  WavFileRead& wav_read() { return *wav_read_; }
  ReadFileProgress* read_progress() const;
  CCommentDlg* comment_editor() const { return comment_editor_.get(); }
  CGraphDlg* graph_window() const { return graph_.get(); }
  CaptureController& capture() { return *capture_; }
  void KeepServer(std::unique_ptr<StatusServer> server);
  Desktop& desktop() { return desktop_; }
  CounterState& state() { return state_; }

  // The widgets, by control identifier.
  const BuiltDialog& controls() const { return built_; }
  const LogModel& log() const { return log_model_; }
  LineEditControl& field(int id);

  // Called with every log line after it is shown (for watching the program from outside).
  void SetLogObserver(std::function<void(const std::string&)> observer) {
    log_control_->SetObserver(std::move(observer));
  }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void done(int result) override;

 private:
  // Destruction of the window: the capture stopped, the values saved and written to the
  // settings file, the control references cleared. Runs once.
  void OnDestroy();
  void ApplyOptions(const class COptionsDlg& options);
  void StoreValues();

  CounterState& state_;
  Desktop& desktop_;
  BuiltDialog built_;
  WindowMessages messages_;
  LogModel log_model_;
  std::unique_ptr<LogListControl> log_control_;
  std::map<int, std::unique_ptr<LineEditControl>> fields_;
  std::map<int, std::unique_ptr<PushButtonControl>> buttons_;
  std::unique_ptr<LabelControl> dead_time_note_;
  std::unique_ptr<LabelControl> alarm_rule_;
  std::unique_ptr<BannerLabelControl> alarm_field_;
  std::unique_ptr<AlarmSignals> alarm_signals_;
  MainValues values_{0, 0, 0, 0.0};
  std::unique_ptr<CaptureController> capture_;
  std::unique_ptr<WavFileRead> wav_read_;
  QPointer<ReadFileProgress> read_progress_;
  std::unique_ptr<CGraphDlg> graph_;
  std::unique_ptr<CCommentDlg> comment_editor_;
  std::vector<std::unique_ptr<StatusServer>> servers_;
  std::unique_ptr<Recorder> recorder_;
  std::unique_ptr<ExportJob> export_;
  bool destroyed_ = false;
  bool silent_ = false;  // ending for a signal: no one is there to answer a message
};
