#include "ui/AboutWin.h"

#include <QLabel>
#include <QPushButton>

#include "ui/Texts.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/Widgets.h"

namespace vantrix::ui {

AboutWin::AboutWin()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      Canvas1(new QLabel(this)),
      StaticText1(new QLabel(this)),
      BevelButton1(BevelButton(QStringLiteral("Visit website"), this)),
      BevelButton3(BevelButton(QStringLiteral("Email us your feedback"), this)) {
  setObjectName(QStringLiteral("AboutWin"));
  setWindowTitle(QStringLiteral("About"));
  setFixedSize(600, 316);
  WhiteBackground(this);

  LogoAndDescription(Canvas1, StaticText1, 126);

  Name(BevelButton1, "BevelButton1", QStringLiteral("Visit website"));
  BevelButton1->setGeometry(0, 295, 174, 22);
  connect(BevelButton1, &QPushButton::clicked, this, &AboutWin::BevelButton1_Action);
  Name(BevelButton3, "BevelButton3", QStringLiteral("Email us your feedback"));
  BevelButton3->setGeometry(426, 295, 174, 22);
  connect(BevelButton3, &QPushButton::clicked, this, &AboutWin::BevelButton3_Action);
}

void AboutWin::Open() { StaticText1->setText(texts::AboutText()); }

void AboutWin::BevelButton1_Action() { TheSeam().ShowURL(texts::WebsiteUrl()); }

void AboutWin::BevelButton3_Action() { TheSeam().ShowURL(texts::FeedbackMailUrl()); }

}  // namespace vantrix::ui
