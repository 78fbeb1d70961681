// The texts the Flash folder operations hand to their callers for display,
// with the caption and information icon of the Flash part's message boxes.
#pragma once

#include "kb/messages.h"

namespace velkin::flash {

inline constexpr char kCaptionFlash[] = "Velkin Web for Flash";
inline constexpr char kRootItemText[] = "Flash";
// The same letters and text as the project tree's category names.
inline constexpr const char* kInvalidLetterMessage = kb::kInvalidLetterMessage;
inline constexpr char kNewFolderText[] = "New Folder";
inline constexpr char kFileNameTakenMessage[] = "The file name has existed, Please rename...";
inline constexpr char kFolderNameTakenMessage[] = "The folder name has existed, Please rename...";
inline constexpr const char* kFailedToCreateFolderMessage = kb::kFailedToCreateDirectory;  // "%s": the folder
inline constexpr char kOutsideFolderMessage[] = "%s lies outside the Flash folder: it is left unchanged.";

}  // namespace velkin::flash
