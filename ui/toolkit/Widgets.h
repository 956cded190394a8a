#pragma once

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QString>
#include <QWidget>

namespace vantrix::ui {

// Small helpers the windows share.

// Names a control for Qt (object name) and for assistive tools.
inline void Name(QWidget* control, const char* objectName, const QString& accessibleName = {}) {
  control->setObjectName(QString::fromUtf8(objectName));
  if (!accessibleName.isEmpty()) control->setAccessibleName(accessibleName);
}

// The system font at the given point size.
inline void SetPointSize(QWidget* control, int points) {
  QFont font = control->font();
  font.setPointSize(points);
  control->setFont(font);
}

inline void WhiteBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::white);
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// The top of the splash and About windows: the logo as a 600 x 158 backdrop
// and below it the centred description, textHeight high, in 10 points.
void LogoAndDescription(QLabel* canvas, QLabel* text, int textHeight);

// A flat-ish push button that never takes the keyboard focus, as the
// program's bevel buttons are.
inline QPushButton* BevelButton(const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setFocusPolicy(Qt::NoFocus);
  button->setAutoDefault(false);
  return button;
}

}  // namespace vantrix::ui
