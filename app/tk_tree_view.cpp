#include "app/tk_tree_view.h"

#include <QLabel>
#include <QResizeEvent>
#include <QStyle>
#include <QToolButton>

#include "app/project_tree_ctrl.h"

namespace {
constexpr int kCaptionHeight = 19;
}

CTkTreeView::CTkTreeView(velkin::platform::Registry& registry, QWidget* parent) : QWidget(parent) {
  caption_ = new QLabel(tr("Project"), this);
  caption_->setFrameShape(QFrame::StyledPanel);
  closeButton_ = new QToolButton(this);
  closeButton_->setObjectName(QStringLiteral("closeButton"));
  closeButton_->setAutoRaise(true);
  closeButton_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  closeButton_->setToolTip(tr("Close"));
  connect(closeButton_, &QToolButton::clicked, this, &CTkTreeView::closeClicked);
  tree_ = new CProjectTreeCtrl(registry, this);
}

void CTkTreeView::resizeEvent(QResizeEvent* event) {
  const int width = event->size().width();
  const int height = event->size().height();
  caption_->setGeometry(0, 0, width, kCaptionHeight);
  closeButton_->setGeometry(width - 18, 2, 16, 15);
  closeButton_->raise();
  tree_->setGeometry(0, kCaptionHeight, width, qMax(0, height - kCaptionHeight));
}
