// Prompts: how a dialog or control shows its messages. By default these are
// the program's message boxes (message_box.h); a test replaces them with
// functions that record the text and answer at once, so nothing blocks.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "uikit/message_box.h"

class QWidget;

namespace velkin::uikit {

struct Prompts {
  using Inform = std::function<void(QWidget* parent, const char* caption, const std::string& text)>;
  using Ask = std::function<bool(QWidget* parent, const char* caption, const std::string& text)>;

  Inform inform;  // unset: an information box
  Ask ask;        // unset: a Yes/No question box

  // Takes the prompts set in other; unset ones stay as they are.
  void replaceWith(Prompts other) {
    if (other.inform) inform = std::move(other.inform);
    if (other.ask) ask = std::move(other.ask);
  }

  void information(QWidget* parent, const char* caption, const std::string& text) const {
    if (inform) {
      inform(parent, caption, text);
    } else {
      showInformation(parent, caption, text);
    }
  }
  bool question(QWidget* parent, const char* caption, const std::string& text) const {
    return ask ? ask(parent, caption, text) : askYesNo(parent, caption, text);
  }
};

}  // namespace velkin::uikit
