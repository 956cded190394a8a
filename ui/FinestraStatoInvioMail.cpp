#include "ui/FinestraStatoInvioMail.h"

#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "mail/InvioMailGlob.h"
#include "ui/FinestraPrincipale.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Widgets.h"

namespace vantrix::ui {

namespace {
// The window floats above the main window when there is one.
QWidget* FloatOver() { return Existing<FinestraPrincipale>(); }
}  // namespace

QPoint LowerLeftPlace(const QRect& mainWindow, int ownHeight) {
  return {mainWindow.left() + 5, mainWindow.top() + mainWindow.height() - ownHeight};
}

FinestraStatoInvioMail::FinestraStatoInvioMail()
    : QWidget(FloatOver(), Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      BarraProgresso(new QProgressBar(this)),
      TestoErrore(new QLabel(this)),
      BottoneAnnullaInvio(new QPushButton(this)),
      Timer1(new QTimer(this)) {
  setObjectName(QStringLiteral("FinestraStatoInvioMail"));
  setWindowTitle(QStringLiteral("Invio email in corso, attendere..."));
  setFixedSize(kWidth, kHeight);

  Name(BarraProgresso, "BarraProgresso");
  BarraProgresso->setGeometry(20, 41, 382, 20);
  BarraProgresso->setRange(0, 100);
  BarraProgresso->setValue(0);
  BarraProgresso->setTextVisible(false);

  Name(TestoErrore, "TestoErrore");
  TestoErrore->setGeometry(208, 9, 194, 20);
  TestoErrore->setText(QStringLiteral("Errore invio. Riento connessione."));
  TestoErrore->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  QFont bold = TestoErrore->font();
  bold.setPointSize(10);
  bold.setBold(true);
  TestoErrore->setFont(bold);
  // The label keeps its right edge; where this platform's bold font is
  // wider than the space laid out for it, it grows to the left so the
  // whole text stays readable.
  const int needed = TestoErrore->fontMetrics().horizontalAdvance(TestoErrore->text()) + 4;
  if (needed > 194) TestoErrore->setGeometry(402 - needed, 9, needed, 20);
  TestoErrore->hide();

  Name(BottoneAnnullaInvio, "BottoneAnnullaInvio");
  BottoneAnnullaInvio->setText(QStringLiteral("Annulla invio"));
  BottoneAnnullaInvio->setGeometry(318, 73, 84, 20);
  BottoneAnnullaInvio->setFont(QFont(QStringLiteral("Arial"), 10));
  BottoneAnnullaInvio->hide();
  connect(BottoneAnnullaInvio, &QPushButton::clicked, this,
          &FinestraStatoInvioMail::BottoneAnnullaInvio_Action);

  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kCancelAfterMs);
  Timer1->setSingleShot(true);
  connect(Timer1, &QTimer::timeout, this, &FinestraStatoInvioMail::Timer1_Action);
  Timer1->start();
}

void FinestraStatoInvioMail::Open() {
  if (const FinestraPrincipale* main = Existing<FinestraPrincipale>()) {
    move(LowerLeftPlace(main->geometry(), kHeight));
  }
}

void FinestraStatoInvioMail::ProgressStep() {
  BarraProgresso->setValue(BarraProgresso->value() + 1);
}

void FinestraStatoInvioMail::ShowError(const QString& tooltip) {
  TestoErrore->setToolTip(tooltip);
  TestoErrore->show();
  BottoneAnnullaInvio->show();
}

void FinestraStatoInvioMail::BottoneAnnullaInvio_Action() {
  mail::InvioMailGlob::AnnullaInvio();
  close();
}

void FinestraStatoInvioMail::Timer1_Action() { BottoneAnnullaInvio->show(); }

void FinestraStatoInvioMail::CloseOpen() {
  if (FinestraStatoInvioMail* window = Existing<FinestraStatoInvioMail>()) window->close();
}

}  // namespace vantrix::ui
