#include "uikit/tree_drop.h"

#include <QMimeData>
#include <QUrl>

namespace velkin::uikit {

namespace {

// UTF-16 text (little-endian, as browsers on this platform write it) has a
// zero byte in almost every other place; UTF-8 text has none.
bool looksLikeUtf16(const QByteArray& bytes) { return bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes.contains('\0'); }

QString decodeText(const QByteArray& bytes) {
  if (!looksLikeUtf16(bytes)) return QString::fromUtf8(bytes);
  QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
  return text;
}

std::vector<std::string> localPaths(const QMimeData& data) {
  std::vector<std::string> paths;
  if (!data.hasUrls()) return paths;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

}  // namespace

QString dropSourceAddress(const QMimeData& data) {
  if (!data.hasFormat(QString::fromLatin1(kSourceAddressFormat))) return {};
  const QString text = decodeText(data.data(QString::fromLatin1(kSourceAddressFormat)));
  const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
  QString first = lineEnd < 0 ? text : text.left(lineEnd);
  first.remove(QChar(0));
  return first.trimmed();
}

DropData classifyDrop(const QMimeData& data, const QString& fallbackSourceAddress) {
  DropData drop;
  drop.paths = localPaths(data);
  if (!drop.paths.empty()) {
    drop.kind = capture::DropKind::FileList;
    return drop;
  }
  if (data.hasHtml() && !data.html().isEmpty()) {
    drop.kind = capture::DropKind::ClipboardHtml;
    drop.text = data.html().toStdString();
    const QString source = dropSourceAddress(data);
    drop.sourceAddress = (source.isEmpty() ? fallbackSourceAddress : source).toStdString();
    return drop;
  }
  if (data.hasText() && !data.text().isEmpty()) {
    drop.kind = capture::DropKind::PlainText;
    drop.text = data.text().toStdString();
  }
  return drop;
}

}  // namespace velkin::uikit
