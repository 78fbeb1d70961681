// What a program that may show a web view sets before it makes its
// QApplication: the engine's contexts shared between windows, and its
// sandbox off for the root user (it cannot start there).
#pragma once

namespace velkin::uikit {

// Call before the QApplication is constructed.
void prepareWebEngine();

}  // namespace velkin::uikit
