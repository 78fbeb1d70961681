// CKestrovaApp: starts the main program. In this order: takes the settings
// store as its profile, creates the single main window, opens the page given
// on the command line (or the start page), shows the window where the user
// left it (when that place still meets a screen; otherwise at the default
// place, shown normally), gives it its title, and shows the tip of the day
// unless the command line or the "StartUp" setting says not to.
//
// Two hooks serve scripts: --exit-when-shown prints a line and quits once
// the window is shown and its first page has loaded; --screenshot=DIR saves
// pictures of the main window and its dialogs into DIR (CScreenshotTour),
// then quits.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <vector>

#include "app/app_settings.h"
#include "platform/registry.h"

class CMainFrame;
class CRaiseListener;

class CKestrovaApp : public QObject {
  Q_OBJECT

 public:
  CKestrovaApp(velkin::platform::Registry& registry, velkin::app::StartOptions options, QObject* parent = nullptr);
  ~CKestrovaApp() override;

  // False when the command line cannot be processed; error() tells why.
  bool initInstance();
  const QString& error() const { return error_; }
  CMainFrame* mainFrame() const { return frame_.get(); }

  // Shows frame with the stored placement when it meets one of screens,
  // otherwise as it is, shown normally. True when the placement was used.
  static bool showWithPlacement(CMainFrame& frame, velkin::platform::Registry& registry,
                                const std::vector<velkin::app::ScreenRect>& screens);
  // The available areas of the machine's screens.
  static std::vector<velkin::app::ScreenRect> screenAreas();

  static constexpr char kShownMarker[] = "kestrova: shown";

 signals:
  // The main window is shown and its first page has loaded.
  void firstPageShown();

 private:
  bool resolvePage(QString* page);
  void showTipAtStartUp();
  void watchFirstPage();
  void takeScreenshots();

  velkin::platform::Registry& registry_;
  velkin::app::StartOptions options_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<CRaiseListener> raiseListener_;  // the capture dialog's Run Kestrova
  QString error_;
};
