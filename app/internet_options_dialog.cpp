#include "app/internet_options_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QNetworkProxyFactory>
#include <QWebEngineSettings>

#include "app/app_settings.h"

namespace velkin::app {

namespace {

bool readOption(platform::Registry& registry, const char* value, bool fallback) {
  const auto stored = readProfileNumber(registry, kInternetOptionsSection, value);
  return stored ? *stored != 0 : fallback;
}

}  // namespace

InternetOptions readInternetOptions(platform::Registry& registry) {
  const InternetOptions defaults;
  InternetOptions options;
  options.javaScript = readOption(registry, kJavaScriptValue, defaults.javaScript);
  options.images = readOption(registry, kImagesValue, defaults.images);
  options.plugins = readOption(registry, kPluginsValue, defaults.plugins);
  return options;
}

bool storeInternetOptions(platform::Registry& registry, const InternetOptions& options) {
  bool ok = writeProfileNumber(registry, kInternetOptionsSection, kJavaScriptValue, options.javaScript ? 1 : 0);
  ok = writeProfileNumber(registry, kInternetOptionsSection, kImagesValue, options.images ? 1 : 0) && ok;
  ok = writeProfileNumber(registry, kInternetOptionsSection, kPluginsValue, options.plugins ? 1 : 0) && ok;
  return ok;
}

void applyInternetOptions(const InternetOptions& options, QWebEngineSettings* settings) {
  settings->setAttribute(QWebEngineSettings::JavascriptEnabled, options.javaScript);
  settings->setAttribute(QWebEngineSettings::AutoLoadImages, options.images);
  settings->setAttribute(QWebEngineSettings::PluginsEnabled, options.plugins);
}

QString proxyDescription() {
  // The engine takes its proxy from the system's settings (the proxy
  // environment variables); asking for an address sends nothing anywhere.
  const QList<QNetworkProxy> proxies =
      QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("http://example.com/"))));
  for (const QNetworkProxy& proxy : proxies) {
    if (proxy.type() == QNetworkProxy::HttpProxy || proxy.type() == QNetworkProxy::Socks5Proxy) {
      return QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
    }
  }
  return QObject::tr("Direct connection (no proxy)");
}

}  // namespace velkin::app

CInternetOptionsDialog::CInternetOptionsDialog(const velkin::app::InternetOptions& options, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(tr("Internet Options"));
  javaScript_ = new QCheckBox(tr("Run scripts (JavaScript)"), this);
  images_ = new QCheckBox(tr("Load images"), this);
  plugins_ = new QCheckBox(tr("Enable plug-ins"), this);
  javaScript_->setChecked(options.javaScript);
  images_->setChecked(options.images);
  plugins_->setChecked(options.plugins);
  auto* proxy = new QLabel(velkin::app::proxyDescription(), this);
  proxy->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QFormLayout(this);
  layout->addRow(javaScript_);
  layout->addRow(images_);
  layout->addRow(plugins_);
  layout->addRow(tr("Proxy:"), proxy);
  layout->addRow(buttons);
}

velkin::app::InternetOptions CInternetOptionsDialog::options() const {
  velkin::app::InternetOptions options;
  options.javaScript = javaScript_->isChecked();
  options.images = images_->isChecked();
  options.plugins = plugins_->isChecked();
  return options;
}
