#pragma once

#include <vector>

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

class QWidget;

namespace vantrix::ui {

enum class Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };
Q_DECLARE_FLAGS(Anchors, Anchor)
Q_DECLARE_OPERATORS_FOR_FLAGS(Anchors)

// Fixed positions with anchors, for windows laid out in absolute
// coordinates. Each control gets its rectangle for the container's design
// size; when the container is resized, a control keeps its distance to the
// edges it is anchored to: anchored left and right it stretches, anchored
// right only it moves with the right edge, not anchored horizontally (or
// left only) it stays; the same vertically.
class AnchoredGeometry : public QObject {
public:
  AnchoredGeometry(QWidget* container, QSize designSize);

  // Places the control (a direct child of the container) at its design
  // rectangle and keeps it anchored from then on.
  void Place(QWidget* control, QRect designRect, Anchors anchors = {});

  // The rectangle of a control anchored so, for a container of this size.
  static QRect Layout(QRect designRect, Anchors anchors, QSize designSize, QSize size);

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  struct Entry {
    QPointer<QWidget> control;
    QRect designRect;
    Anchors anchors;
  };
  void Relayout();

  QWidget* container_;
  QSize designSize_;
  std::vector<Entry> entries_;
};

}  // namespace vantrix::ui
