#include "ui/toolkit/Widgets.h"

#include "ui/toolkit/Picture.h"

namespace vantrix::ui {

void LogoAndDescription(QLabel* canvas, QLabel* text, int textHeight) {
  Name(canvas, "Canvas1", QStringLiteral("Orvello logo"));
  canvas->setGeometry(0, 0, 600, 158);
  canvas->setPixmap(Picture(QStringLiteral("logo_orvello.jpg")));
  canvas->setFocusPolicy(Qt::NoFocus);
  canvas->setAttribute(Qt::WA_TranslucentBackground);

  Name(text, "StaticText1");
  text->setGeometry(20, 170, 560, textHeight);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  text->setTextInteractionFlags(Qt::NoTextInteraction);
  text->setTextFormat(Qt::PlainText);
  SetPointSize(text, 10);
}

}  // namespace vantrix::ui
