// For the hosts' test drivers: answers the dialogs a host shows, as a user
// would, through their own controls, once each is shown. The dialogs may
// come from a library the host loaded with classes of its own, so they are
// recognised by Qt's classes and object names only.
//
// Read from an environment variable holding a JSON object, an answer may
// also carry "screenshot" (a PNG of the whole screen, taken screenshotDelayMs
// after the dialog shows, before it is answered; default 1000) and
// "timesLog" (a file that gets the wall-clock milliseconds at which the
// dialog was shown and answered).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

class QDialog;
class QTreeWidget;

namespace velkin::nativehost {

struct DialogAnswer {
  std::function<bool(QDialog& dialog)> matches;
  std::function<void(QDialog& dialog)> answer;
  std::string screenshot;
  std::string timesLog;
  int screenshotDelayMs = 1000;
};

// The JSON object in the environment variable; nullopt when it is unset or
// unreadable (traced).
std::optional<nlohmann::json> answerFromEnvironment(const char* variable);

// Fills the screenshot and timing fields of answer from json.
void readScreenshotFields(const nlohmann::json& json, DialogAnswer& answer);

// Answers each matching dialog once, from now on, in this process.
void answerDialogs(DialogAnswer answer);

// Makes the item at path ("Sub/Deeper": item texts below the first top-level
// item; "" is that item) the tree's current item, expanding each folder on
// the way as a click would (which lists it). False when an item is missing.
bool selectItemByPath(QTreeWidget& tree, const std::string& path);

}  // namespace velkin::nativehost
