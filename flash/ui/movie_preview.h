// MoviePreview: plays one Flash movie with the bundled player (Ruffle) in a
// web view. The player's files are served from the program's share folder
// ("ruffle" in it) through the "velkin-flash" address scheme, which answers
// only those files and the one local movie being previewed. A web movie's
// page takes the movie's own address as its base, so the player fetches it
// from its own origin. Without the player files the preview says so.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

class QLabel;
class QStackedLayout;
class QWebEngineView;

namespace velkin::flash::ui {

class PlayerFiles;

inline constexpr char kPlayerScheme[] = "velkin-flash";
inline constexpr char kPlayerMissingText[] =
    "The Flash player is not installed (no share/velkin/ruffle folder): movies cannot be previewed.";

// The folder holding the player's ruffle.js: "share/velkin/ruffle" beside the
// program's folder, else the build tree's, else the installed one; "" when
// none holds it.
std::string playerFolder();

// The preview page for a movie: the player from the player scheme and the
// movie from movieAddress (a JavaScript string, so any address is inert).
QString previewPage(const std::string& movieAddress);

class MoviePreview : public QWidget {
  Q_OBJECT

 public:
  // folder: the player's files ("" shows that the player is missing).
  explicit MoviePreview(const std::string& folder = playerFolder(), QWidget* parent = nullptr);
  ~MoviePreview() override;

  // Plays the movie at address: a web address, or a local file (a path or
  // "file://" address) when localAllowed. Anything else shows nothing.
  void play(const std::string& address, bool localAllowed);
  void clear();

  bool playerAvailable() const { return view_ != nullptr; }
  QLabel* messageLabel() const { return message_; }
  QWebEngineView* view() const { return view_; }

 private:
  QLabel* message_ = nullptr;
  QWebEngineView* view_ = nullptr;
  QStackedLayout* stack_ = nullptr;
  PlayerFiles* files_ = nullptr;
};

}  // namespace velkin::flash::ui
