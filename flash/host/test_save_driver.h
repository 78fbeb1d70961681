// For tests only: answers the Flash save dialog when VELKIN_TEST_FLASH_ANSWER
// is set, as a user would, through the dialog's own controls:
//   {"folder":"Sub/Deeper","untick":[1],"cancel":false,"overwrite":true,"dialogs":"ok"}
// "folder" is a folder of the dialog's folder tree below its root, chosen
// for every ticked row ("" or absent: the rows keep the Flash folder);
// "untick" lists rows (from 0) to untick. Save or Cancel is then pressed.
// The download dialog's question about an existing file is answered with
// "overwrite" (default true). With "dialogs" set to "ok" or "cancel", the
// Options dialog and the About box the host shows are closed that way. "screenshot" and "timesLog" as for every
// host driver (nativehost/test_dialog_watcher.h).
#pragma once

namespace velkin::flash::host {

inline constexpr char kTestFlashAnswerVariable[] = "VELKIN_TEST_FLASH_ANSWER";

// Starts answering the save dialogs, overwrite questions and (when asked)
// the Options and About dialogs, when the variable is set.
void startTestSaveDriver();

}  // namespace velkin::flash::host
