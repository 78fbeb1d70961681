// The texts the knowledge-base operations hand to their callers for display.
#pragma once

namespace velkin::kb {

inline constexpr char kCaptionKestrova[] = "Kestrova";
inline constexpr char kRootText[] = "My Projects";
inline constexpr char kNewCategoryText[] = "New Category";
inline constexpr char kFailedToCreateDirectory[] = "Failed to Create Directory: %s!";
inline constexpr char kNewPageFileName[] = "New Page.htm";
inline constexpr char kFailedToCreatePage[] = "Failed to Create the Page in %s!";
inline constexpr char kInvalidLetterMessage[] = "The filename include invalid letter!  eg: \\/:*?\"<>|";
inline constexpr char kDeleteQuestion[] = "You will delete folder or file? Are you sure?";

}  // namespace velkin::kb
