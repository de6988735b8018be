// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#pragma once

#include <cstdint>
#include <span>

// The windows' layouts as data: every control with its identifier, kind, text, place and size in
// dialog units, in template order (which is also the tab order). The builder turns a template
// into Qt widgets; nothing here includes Qt.

enum class ControlKind {
  kEdit,           // one-line edit with a border
  kMultiLineEdit,  // several lines, wraps, vertical scroll bar, Enter starts a new line
  kPushButton,
  kDefaultPushButton,  // the button that Enter presses
  kCheckBox,           // toggles itself, two states
  kText,               // static text, left-aligned, wraps
  kTextRight,          // static text, right-aligned
  kTextCentreBorder,   // static text, centred, with a border
  kGroupBox,
  kListBox,  // the log list
  kIcon,     // the program's icon
  kPicture,  // a picture in a sunken frame
};

// Control styles beyond what the kind implies.
enum ControlStyle : uint32_t {
  kStyleNone = 0,
  kStyleDisabled = 1u << 0,     // disabled at creation
  kStyleReadOnly = 1u << 1,     // an edit that shows but does not take typing
  kStyleAutoHScroll = 1u << 2,  // an edit that scrolls its text horizontally
};

inline constexpr int kNoId = -1;

struct ControlTemplate {
  int id;  // kNoId for texts, group boxes and pictures that nobody addresses
  ControlKind kind;
  const char* text;         // UTF-8; '&' marks the mnemonic
  int x, y, width, height;  // dialog units
  uint32_t styles = kStyleNone;
  int buddy = kNoId;  // for a text with a mnemonic: the control it moves the focus to
};

// Window styles of a template.
enum WindowStyle : uint32_t {
  kWindowSizable = 1u << 0,  // sizing border
  kWindowMinimizeBox = 1u << 1,
  kWindowMaximizeBox = 1u << 2,
  kWindowVisible = 1u << 3,  // shown when created
};

struct DialogTemplate {
  int id;
  const char* caption;
  int x, y, width, height;  // dialog units
  const char* font_family;
  int font_points;
  uint32_t styles;
  std::span<const ControlTemplate> controls;
};

// The five templates of the program.
const DialogTemplate& AboutTemplate();          // 100
const DialogTemplate& MainWindowTemplate();     // 102
const DialogTemplate& GraphTemplate();          // 129
const DialogTemplate& OptionsTemplate();        // 130
const DialogTemplate& CommentEditorTemplate();  // 131

// Control identifiers, one enum per template.
enum MainControl : int {
  kThresholdField = 1000,
  kCountsField = 1001,
  kRepeatField = 1002,
  kLogList = 1003,
  kClearLogButton = 1004,
  kStartButton = 1006,
  kCancelButton = 1007,
  kSampleTimeField = 1008,
  kCpmField = 1009,
  kMrhrField = 1010,
  kSensitivityField = 1011,
  kHelpButton = 1012,
  kGraphButton = 1013,
  kOptionsButton = 1014,
  kAverageCpmField = 1019,
  kAverageMrhrField = 1020,
  kForeverButton = 1026,
  kZeroButton = 1031,
  kUsvhField = 1033,
  kAverageUsvhField = 1034,
  kAverageUncertaintyField = 1035,
  kDeadTimeNote = 1036,
  kDoseSinceZeroField = 1037,
  kDoseSinceStartField = 1038,
  kAlarmField = 1039,
  kAlarmRuleText = 1040,
};

enum OptionsControl : int {
  kDoneButton = 1,
  kPortField = 1000,
  kTicksField = 1001,
  kGraphTitleField = 1002,
  kStartServerButton = 1004,
  kSaveAsButton = 1005,
  kAddNotesButton = 1006,
  kReadFileButton = 1007,
  kScrollWidthField = 1008,
  kInsertCommasBox = 1015,
  kConnectPointsBox = 1016,
  kVerticalBarsBox = 1017,
  kTextGraphBox = 1018,
  kAutostartBox = 1027,
  kWriteJpgBox = 1028,
  kFillBox = 1029,
  kCoincidenceBox = 1030,
  kLogConfidenceBox = 1032,
};

enum CommentControl : int {
  kCommentOkButton = 1,
  kCommentField = 1000,
};

enum AboutControl : int {
  kAboutDoneButton = 1,
  kClubLinkButton = 1004,
  kEmailButton = 1005,
};

// The About item of the window menu (its command value is 0x10).
inline constexpr char kAboutMenuText[] = "&About Blipcount...";
inline constexpr char kExportRecordingMenuText[] = "&Export recording...";
