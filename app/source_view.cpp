#include "app/source_view.h"

#include <QFileDialog>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextDocument>
#include <QVBoxLayout>

#include "app/html_source_edit.h"
#include "app/save_source_dialog.h"
#include "app/seams.h"
#include "app/source_settings.h"
#include "kb/messages.h"
#include "platform/file_util.h"
#include "platform/trace.h"
#include "uikit/message_box.h"

CKestrovaView::CKestrovaView(velkin::platform::Registry& registry, QWidget* parent)
    : QWidget(parent), registry_(registry) {
  setObjectName(QStringLiteral("sourceView"));
  edit_ = new CHtmlSourceEdit(registry_, this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit_);
  setFocusProxy(edit_);
  setSeams({});
}

void CKestrovaView::setSeams(Seams seams) {
  using velkin::app::takeSeam;
  takeSeam(seams_.askSave, seams.askSave, [this] { return [this] { return askSaveSource(this); }; });
  takeSeam(seams_.chooseSavePath, seams.chooseSavePath, [this] {
    return [this](const QString& proposed) {
      return QFileDialog::getSaveFileName(this, tr("Save Source As"), proposed,
                                          tr("Web Page (*.htm *.html);;All Files (*)"));
    };
  });
  takeSeam(seams_.ask, seams.ask, [this] {
    return [this](const char* caption, const QString& text) {
      return velkin::uikit::askYesNo(this, caption, text.toStdString());
    };
  });
}

bool CKestrovaView::loadFile(const QString& path) {
  if (path.isEmpty()) return false;
  const auto bytes = velkin::platform::readFile(path.toStdString());
  if (!bytes) {
    velkin::platform::trace("source", "cannot read " + path.toStdString());
    return false;
  }
  const QByteArray data = QByteArray::fromStdString(*bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
  QString text = utf8.decode(data);
  latin1_ = utf8.hasError();
  if (latin1_) text = QString::fromLatin1(data);
  crLf_ = data.contains("\r\n");
  fileName_ = path;
  edit_->showSource(text);
  return true;
}

void CKestrovaView::setSourceText(const QString& text) {
  fileName_.clear();
  latin1_ = false;
  crLf_ = false;
  edit_->showSource(text);
}

bool CKestrovaView::isModified() const { return edit_->document()->isModified(); }

QString CKestrovaView::writeTo(const QString& path) {
  // The raw text keeps no-break spaces that the plain text turns into spaces.
  QString text = edit_->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  if (crLf_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  QByteArray data;
  if (latin1_) {
    QStringEncoder latin1(QStringEncoder::Latin1);
    data = latin1(text);
    if (latin1.hasError()) return tr("the text holds characters its file's encoding (Latin-1) cannot hold");
  } else {
    data = text.toUtf8();
  }
  const std::string error = velkin::platform::writeFileAtomic(path.toStdString(), data.toStdString());
  if (!error.empty()) return QString::fromStdString(error);
  edit_->document()->setModified(false);
  return {};
}

bool CKestrovaView::confirmLeave() {
  if (!isModified()) return true;
  const velkin::app::SavePrompt prompt = velkin::app::readSavePrompt(registry_);
  bool save = prompt.saveWithoutAsking;
  if (prompt.ask) {
    const SaveAnswer answer = seams_.askSave();
    velkin::app::storeSaveAnswer(registry_, answer.save, answer.doNotAskAgain);
    save = answer.save;
  }
  return !save || saveOrLetGo();
}

bool CKestrovaView::saveOrLetGo() {
  const QString path = fileName_.isEmpty() ? seams_.chooseSavePath(QString()) : fileName_;
  const QString reason = path.isEmpty() ? tr("no file was chosen for the source of this web page") : writeTo(path);
  if (reason.isEmpty()) return true;
  velkin::platform::trace("source", "not saved: " + reason.toStdString());
  return seams_.ask(velkin::kb::kCaptionKestrova,
                    tr("The source could not be saved: %1\nLeave it anyway? The changes will be lost.").arg(reason));
}
