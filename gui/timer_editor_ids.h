#pragma once

// Gadget ids of the timer editor window; the loop dispatches on them.
namespace zd::editor {

enum Id : int {
    kStatusLine = 1,
    kTimerOption1 = 2,  // options 2..6 stand for timers 1..5
    kTimerOption5 = 6,
    kMondayBox = 7,
    kTuesdayBox = 8,
    kWednesdayBox = 9,
    kThursdayBox = 10,
    kFridayBox = 11,
    kSaturdayBox = 12,
    kSundayBox = 13,
    kWeekdayModeOption = 14,
    kDateField = 15,
    kTunerOption = 16,
    kCdOption = 17,
    kTape1Option = 18,
    kTape2Option = 19,
    kPhonoOption = 20,
    kStationLabel = 21,
    kStationList = 22,
    kTape1Target = 31,
    kTape2Target = 32,
    kLsaTarget = 33,
    kLsbTarget = 34,
    kEmptyLabel = 39,
    kStartHourBar = 40,
    kStartMinuteBar = 41,
    kEndHourBar = 42,
    kEndMinuteBar = 43,
    kStartTimeText = 44,
    kEndTimeText = 45,
    kTimerLabel = 46,
    kDateModeOption = 47,
    kSourceLabel = 48,
    kTargetsLabel = 49,
    kStartLabel = 50,
    kEndLabel = 51,
    kEraseButton = 52,
    kWriteButton = 53,
    kBackButton = 54,
    kPresetList = 55,
    kStorePresetButton = 56,
    kRenamePresetButton = 57,
    kSettingsFrame = 58,
    kTestButton = 59,
};

}  // namespace zd::editor
