// What a drag from outside brings to the project tree, decided when it
// enters: a list of local files, else HTML (with the address of the page it
// came from when the source names one), else plain text. The drag is
// acceptable when a path was found or the text is not empty.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "capture/document_capture.h"

class QMimeData;

namespace velkin::uikit {

// The format a browser puts beside dragged HTML to name the page's address.
inline constexpr char kSourceAddressFormat[] = "text/x-moz-url-priv";

struct DropData {
  std::optional<capture::DropKind> kind;  // none: nothing usable
  std::vector<std::string> paths;  // FileList: local paths, in drop order
  std::string text;                // ClipboardHtml: the markup (text/html); PlainText: the text
  std::string sourceAddress;       // ClipboardHtml: where it came from, or ""
  bool acceptable() const { return kind.has_value() && (!paths.empty() || !text.empty()); }
};

// Classifies a drag's data; a drag with nothing usable has no kind. fallbackSourceAddress names the page for HTML
// that carries no address of its own (a drag out of this program's browser).
DropData classifyDrop(const QMimeData& data, const QString& fallbackSourceAddress = QString());

// The first line of text/x-moz-url-priv, which browsers write as UTF-16 or
// UTF-8; "" when the data has none.
QString dropSourceAddress(const QMimeData& data);

}  // namespace velkin::uikit
