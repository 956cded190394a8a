#include "ui/toolkit/AnchoredGeometry.h"

#include <QEvent>
#include <QWidget>

namespace vantrix::ui {

AnchoredGeometry::AnchoredGeometry(QWidget* container, QSize designSize)
    : QObject(container), container_(container), designSize_(designSize) {
  container_->installEventFilter(this);
}

void AnchoredGeometry::Place(QWidget* control, QRect designRect, Anchors anchors) {
  entries_.push_back({control, designRect, anchors});
  control->setGeometry(Layout(designRect, anchors, designSize_, container_->size()));
}

QRect AnchoredGeometry::Layout(QRect designRect, Anchors anchors, QSize designSize, QSize size) {
  const int dw = size.width() - designSize.width();
  const int dh = size.height() - designSize.height();
  QRect rect = designRect;
  if (anchors.testFlag(Anchor::Right)) {
    if (anchors.testFlag(Anchor::Left))
      rect.setWidth(rect.width() + dw);
    else
      rect.translate(dw, 0);
  }
  if (anchors.testFlag(Anchor::Bottom)) {
    if (anchors.testFlag(Anchor::Top))
      rect.setHeight(rect.height() + dh);
    else
      rect.translate(0, dh);
  }
  return rect;
}

bool AnchoredGeometry::eventFilter(QObject* watched, QEvent* event) {
  if (watched == container_ && event->type() == QEvent::Resize) Relayout();
  return QObject::eventFilter(watched, event);
}

void AnchoredGeometry::Relayout() {
  const QSize size = container_->size();
  for (const Entry& entry : entries_) {
    if (entry.control)
      entry.control->setGeometry(Layout(entry.designRect, entry.anchors, designSize_, size));
  }
}

}  // namespace vantrix::ui
