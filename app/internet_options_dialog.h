// The Internet Option dialog: the web view's own settings (scripts, images,
// plug-ins) and the proxy in use, shown read-only. The choices are kept in
// the profile area's "Internet Options" section (numbers "JavaScript",
// "Images", "Plugins", 1 on and 0 off) and applied to the web view.
#pragma once

#include <QDialog>
#include <QString>

#include "platform/registry.h"

class QCheckBox;
class QWebEngineSettings;

namespace velkin::app {

inline constexpr char kInternetOptionsSection[] = "Internet Options";
inline constexpr char kJavaScriptValue[] = "JavaScript";
inline constexpr char kImagesValue[] = "Images";
inline constexpr char kPluginsValue[] = "Plugins";

struct InternetOptions {
  bool javaScript = true;
  bool images = true;
  bool plugins = false;
};

// The stored options; each missing value keeps its default above.
InternetOptions readInternetOptions(platform::Registry& registry);
bool storeInternetOptions(platform::Registry& registry, const InternetOptions& options);
void applyInternetOptions(const InternetOptions& options, QWebEngineSettings* settings);
// The proxy web addresses go through, as a line of text.
QString proxyDescription();

}  // namespace velkin::app

class CInternetOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  CInternetOptionsDialog(const velkin::app::InternetOptions& options, QWidget* parent = nullptr);
  velkin::app::InternetOptions options() const;
  QCheckBox* javaScriptBox() const { return javaScript_; }

 private:
  QCheckBox* javaScript_ = nullptr;
  QCheckBox* images_ = nullptr;
  QCheckBox* plugins_ = nullptr;
};
