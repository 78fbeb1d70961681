// Message boxes with the system's captions. Every user-facing message of the
// core comes back as text; these show it the way the program always does.
#pragma once

#include <QMessageBox>
#include <QString>
#include <string>

#include "velkin/product.h"

namespace velkin::uikit {

inline constexpr char kCaptionKestrova[] = "Kestrova";
inline constexpr auto& kCaptionVelkinWeb = product::kCaption;

// An information box with an OK button.
void showInformation(QWidget* parent, const char* caption, const std::string& text);
// A Yes/No question; true for Yes.
bool askYesNo(QWidget* parent, const char* caption, const std::string& text);

}  // namespace velkin::uikit
