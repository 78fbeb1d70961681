// For tests only: answers the capture dialog when VELKIN_TEST_DIALOG_ANSWER
// is set, as a user would, through the dialog's own controls:
//   {"fileName":"Page","category":"Sub/Deeper","types":["zip"],"cancel":false}
// "category" is relative to the book directory ("" for the root); "types"
// are the file types to check (the others are unchecked). Save or Cancel is
// then pressed and the dialog's own rules run. For the screenshot script and
// the benchmark, "screenshot" names a PNG of the whole screen taken a moment
// after the dialog shows, and "timesLog" a file that gets the wall-clock
// milliseconds at which the dialog was shown and answered.
#pragma once

namespace velkin::iecapture::host {

inline constexpr char kTestDialogAnswerVariable[] = "VELKIN_TEST_DIALOG_ANSWER";

// Starts answering every capture dialog that opens, when the variable is set.
void startTestDialogDriver();

}  // namespace velkin::iecapture::host
