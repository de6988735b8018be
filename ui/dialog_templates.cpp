// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 The Blipcount developers
#include "ui/dialog_template.h"

namespace {

constexpr const char kFont[] = "MS Sans Serif";
constexpr uint32_t kScroll = kStyleAutoHScroll;
constexpr uint32_t kResult = kStyleReadOnly | kStyleAutoHScroll;

using K = ControlKind;

constexpr ControlTemplate kMainControls[] = {
    {kSampleTimeField, K::kEdit, "", 112, 18, 40, 14, kScroll},
    {kRepeatField, K::kEdit, "", 112, 34, 40, 14, kScroll},
    {kThresholdField, K::kEdit, "", 112, 70, 40, 14, kScroll},
    {kSensitivityField, K::kEdit, "", 112, 89, 40, 14, kScroll},
    {kStartButton, K::kPushButton, "&Start", 7, 7, 50, 14},
    {kGraphButton, K::kPushButton, "&Graph...", 7, 25, 50, 14, kStyleDisabled},
    {kOptionsButton, K::kPushButton, "&Options...", 7, 43, 49, 14},
    {kCancelButton, K::kPushButton, "&Cancel", 14, 61, 37, 14, kStyleDisabled},
    {kHelpButton, K::kPushButton, "&Help...", 13, 79, 37, 14},
    {kClearLogButton, K::kPushButton, "Clear &Log", 7, 114, 40, 11},
    {kForeverButton, K::kPushButton, "&Forever", 79, 43, 31, 13},
    {kNoId, K::kTextRight, "Detection Threshold:", 73, 68, 34, 17},
    {kNoId, K::kText, "Counts:", 235, 18, 25, 8},
    {kNoId, K::kText, "Repeat:", 75, 33, 33, 8},
    {kCountsField, K::kEdit, "", 262, 15, 40, 14, kStyleReadOnly},
    {kLogList, K::kListBox, "", 7, 126, 489, 66},
    // Right-aligned: from the left edge of its box the text would lie across the frame of the
    // group box it belongs to.
    {kNoId, K::kTextRight, "Sample time:", 59, 20, 48, 8},
    {kNoId, K::kText, "CPM:", 242, 36, 18, 8},
    {kCpmField, K::kEdit, "", 262, 34, 40, 14, kStyleReadOnly},
    {kNoId, K::kText, "mR/hr:", 237, 55, 23, 8},
    {kMrhrField, K::kEdit, "", 262, 52, 40, 14, kResult},
    {kNoId, K::kText, "seconds", 156, 21, 28, 8},
    {kNoId, K::kText, "(1-255)", 156, 72, 23, 8},
    {kNoId, K::kText, "Sensitivity:", 73, 90, 34, 9},
    {kNoId, K::kText, "CPM/mR/hr", 156, 92, 40, 8},
    {kNoId, K::kGroupBox, "Pulse Counting", 63, 7, 141, 105},
    {kNoId, K::kGroupBox, "Latest Results", 210, 7, 170, 67},
    {kNoId, K::kText, "times", 156, 36, 17, 8},
    {kAverageCpmField, K::kEdit, "", 262, 79, 40, 14, kResult},
    {kNoId, K::kText, "CPM:", 242, 82, 18, 8},
    {kAverageMrhrField, K::kEdit, "", 262, 95, 40, 14, kResult},
    {kNoId, K::kText, "mR/hr:", 237, 95, 23, 8},
    {kNoId, K::kGroupBox, "Average", 210, 74, 170, 38},
    {kZeroButton, K::kPushButton, "&Zero", 215, 84, 23, 11},
    // The dose: a second column in each result group, and a column of its own for the doses
    // and the alarm.
    {kDeadTimeNote, K::kText, "", 306, 37, 72, 8},
    {kNoId, K::kTextRight, "µSv/h:", 306, 55, 28, 8},
    {kUsvhField, K::kEdit, "", 336, 52, 40, 14, kResult},
    {kNoId, K::kTextRight, "95%:", 306, 82, 28, 8},
    {kAverageUncertaintyField, K::kEdit, "", 336, 79, 40, 14, kResult},
    {kNoId, K::kTextRight, "µSv/h:", 306, 98, 28, 8},
    {kAverageUsvhField, K::kEdit, "", 336, 95, 40, 14, kResult},
    {kNoId, K::kGroupBox, "Dose (µSv)", 386, 7, 110, 48},
    {kNoId, K::kTextRight, "Since Zero:", 390, 19, 44, 8},
    {kDoseSinceZeroField, K::kEdit, "", 436, 16, 54, 14, kResult},
    {kNoId, K::kTextRight, "Since start:", 390, 36, 44, 8},
    {kDoseSinceStartField, K::kEdit, "", 436, 33, 54, 14, kResult},
    {kNoId, K::kGroupBox, "Dose-Rate Alarm", 386, 57, 110, 55},
    {kAlarmField, K::kTextCentreBorder, "", 392, 68, 98, 16},
    {kAlarmRuleText, K::kText, "", 392, 86, 98, 24},
};

constexpr ControlTemplate kOptionsControls[] = {
    {kInsertCommasBox, K::kCheckBox, "&Insert Commas ", 75, 18, 64, 10},
    {kTextGraphBox, K::kCheckBox, "&Text Graph", 75, 29, 51, 10},
    {kVerticalBarsBox, K::kCheckBox, "Draw Vertical &Bars", 15, 60, 74, 10},
    {kConnectPointsBox, K::kCheckBox, "&Connect Points", 15, 71, 64, 10},
    {kPortField, K::kEdit, "", 249, 53, 40, 14, kScroll},
    {kTicksField, K::kEdit, "", 249, 84, 40, 14, kScroll},
    {kSaveAsButton, K::kPushButton, "Save &As...", 16, 15, 50, 14},
    {kAddNotesButton, K::kPushButton, "Add &Notes...", 15, 30, 50, 14},
    {kReadFileButton, K::kPushButton, "&Read File...", 171, 17, 50, 14},
    {kStartServerButton, K::kPushButton, "&Start Server", 171, 53, 50, 14},
    {kDoneButton, K::kDefaultPushButton, "&Done", 131, 169, 50, 14},
    {kNoId, K::kGroupBox, "Save CPM Data as a Text File", 7, 7, 147, 42},
    {kNoId, K::kGroupBox, "Web Server", 163, 42, 147, 29},
    {kNoId, K::kText, "Port:", 229, 56, 16, 8},
    {kNoId, K::kGroupBox, "Timing Click Removal", 163, 72, 147, 31},
    {kNoId, K::kGroupBox, "Graphing Options", 7, 50, 147, 68},
    {kNoId, K::kText, "Ticks per Minute:", 191, 87, 56, 8},
    {kNoId, K::kGroupBox, "Pre-Recorded WAV File Input", 163, 7, 147, 28},
    {kNoId, K::kText, "mono, 8 bit, 11025 kHz", 226, 20, 75, 11},
    {kAutostartBox, K::kCheckBox, "A&utostart", 17, 127, 44, 10},
    {kGraphTitleField, K::kEdit, "", 7, 105, 147, 12, kScroll},
    {kNoId, K::kText, "Graph Title: ", 14, 97, 40, 8},
    {kScrollWidthField, K::kEdit, "", 97, 83, 40, 14, kScroll},
    {kNoId, K::kText, "Scroll &Width:", 53, 86, 41, 8, kStyleNone, kScrollWidthField},
    {kNoId, K::kGroupBox, "Demo Options", 7, 118, 147, 23},
    {kWriteJpgBox, K::kCheckBox, "Write &JPG", 97, 61, 48, 10},
    {kFillBox, K::kCheckBox, "&Fill", 15, 82, 24, 10},
    {kNoId, K::kGroupBox, "Coincidence Detection (Cosmic Rays)", 164, 108, 145, 34},
    {kCoincidenceBox, K::kCheckBox, "&Enable", 174, 123, 38, 10},
    {kLogConfidenceBox, K::kCheckBox, "Log 95% confidence intervals", 17, 146, 109, 10},
};

constexpr ControlTemplate kCommentControls[] = {
    {kCommentOkButton, K::kDefaultPushButton, "OK", 187, 7, 50, 14},
    {kCommentField, K::kMultiLineEdit, "", 7, 22, 230, 132},
    {kNoId, K::kText, "Enter Comments for the Data File:  ", 7, 13, 110, 8},
};

constexpr ControlTemplate kAboutControls[] = {
    {kNoId, K::kIcon, "", 14, 15, 20, 20},
    {kNoId, K::kText, "Blipcount ", 40, 15, 44, 8},
    {kNoId, K::kText, "by the Blipcount developers", 40, 25, 120, 8},
    {kAboutDoneButton, K::kDefaultPushButton, "&Done", 178, 7, 50, 14},
    {kNoId, K::kTextCentreBorder, "This tool counts pulses (clicks) in the audio line-input.", 23,
     43, 80, 29},
    {kClubLinkButton, K::kPushButton, "Users' &Club Page...", 151, 60, 77, 14},
    {kEmailButton, K::kPushButton, "Send Me &Email...", 151, 41, 77, 14},
    {kNoId, K::kPicture, "", 23, 78, 136, 90},
};

constexpr DialogTemplate kAbout{
    100, "About Blipcount", 0, 0, 235, 189, kFont, 8, kWindowVisible, kAboutControls};
constexpr DialogTemplate kMain{102,
                               "Blipcount",
                               0,
                               0,
                               503,
                               199,
                               kFont,
                               8,
                               kWindowSizable | kWindowMinimizeBox | kWindowVisible,
                               kMainControls};
constexpr DialogTemplate kGraph{
    129, "Blipcount             Activity Graph     Counts Per Minute", 0, 0, 287, 94, kFont,
    8,   kWindowSizable | kWindowMinimizeBox | kWindowMaximizeBox,     {}};
constexpr DialogTemplate kOptions{
    130, "Blipcount Options", 0, 0, 317, 190, kFont, 8, kWindowVisible, kOptionsControls};
constexpr DialogTemplate kComment{
    131, "Blipcount  Comment Editor", 0, 0, 244, 161, kFont, 8, 0, kCommentControls};

}  // namespace

const DialogTemplate& AboutTemplate() { return kAbout; }
const DialogTemplate& MainWindowTemplate() { return kMain; }
const DialogTemplate& GraphTemplate() { return kGraph; }
const DialogTemplate& OptionsTemplate() { return kOptions; }
const DialogTemplate& CommentEditorTemplate() { return kComment; }
