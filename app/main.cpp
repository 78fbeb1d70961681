// kestrova: the main program of Velkin Web.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_settings.h"
#include "app/kestrova_app.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "uikit/web_engine_setup.h"

namespace {

bool environmentSaysNoTip() {
  const char* value = std::getenv("VELKIN_NO_TIP");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

}  // namespace

int main(int argc, char** argv) {
  velkin::uikit::prepareWebEngine();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kestrova"));

  std::vector<std::string> arguments;
  const QStringList given = QApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(given[i].toStdString());
  const velkin::app::StartOptions options = velkin::app::parseStartOptions(arguments, environmentSaysNoTip());
  if (options.help) {
    std::printf("%s\n", velkin::app::kUsage);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "kestrova: %s\n%s\n", options.error.c_str(), velkin::app::kUsage);
    return 2;
  }

  velkin::platform::Registry registry(velkin::platform::configFolder());
  CKestrovaApp kestrova(registry, options);
  if (!kestrova.initInstance()) {
    std::fprintf(stderr, "kestrova: %s\n", kestrova.error().toLocal8Bit().constData());
    return 1;
  }
  return QApplication::exec();
}
