#include "ui/FinestraHelp.h"

#include <QPlainTextEdit>

#include "ui/FinestraPrincipale.h"
#include "ui/Texts.h"
#include "ui/toolkit/AnchoredGeometry.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Widgets.h"

namespace vantrix::ui {

// A tool window floats above its parent, the main window, when there is one.
FinestraHelp::FinestraHelp()
    : QWidget(Existing<FinestraPrincipale>(), Qt::Tool | Qt::CustomizeWindowHint |
                                                  Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                                  Qt::WindowMinimizeButtonHint),
      TextArea1(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("FinestraHelp"));
  setWindowTitle(QStringLiteral("Help"));
  resize(410, 400);
  setMinimumSize(64, 64);
  setMaximumSize(32000, 32000);

  Name(TextArea1, "TextArea1", QStringLiteral("Help text"));
  TextArea1->setReadOnly(true);
  TextArea1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  TextArea1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  TextArea1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  TextArea1->setFrameShape(QFrame::StyledPanel);
  // Carriage returns separate the paragraphs.
  TextArea1->setPlainText(QString::fromUtf8(texts::kHelpText));

  auto* anchors = new AnchoredGeometry(this, QSize(410, 400));
  anchors->Place(TextArea1, QRect(0, 0, 410, 400),
                 Anchor::Left | Anchor::Top | Anchor::Right | Anchor::Bottom);
}

}  // namespace vantrix::ui
