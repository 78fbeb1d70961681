// Which browser extension started the host. Chromium and Chrome pass the
// caller's origin "chrome-extension://ID/" as the first argument (a second
// one, --parent-window=N, on some systems); Firefox passes the path of the
// host manifest and then the add-on id.
#pragma once

#include <string>
#include <vector>

#include "platform/browser_extensions.h"

namespace velkin::messaging {

// True when arguments (argv without the program) name extension as the
// caller, in either browser's form. A refused caller still gets an answer
// to every request ({"ok":false,"error":"caller not allowed"}), which tells
// a developer loading the extension under another id what is wrong.
bool callerAllowed(const std::vector<std::string>& arguments, const platform::BrowserExtension& extension);

}  // namespace velkin::messaging
