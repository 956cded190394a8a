#include "update/TimerVersione.h"

#include <memory>

#include <QUrl>

#include "app/App.h"
#include "app/EstensioniUtili.h"
#include "db/CubeSQLServer.h"
#include "ui/toolkit/BusyCursor.h"
#include "ui/toolkit/Seam.h"
#include "update/AppoggioDbSupporto.h"

namespace vantrix::update {

QString WithoutExtension(const QString& fileName) {
  const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
  return dot > 0 ? fileName.left(dot) : fileName;
}

QString ProductKey(const QString& executableFileName) {
  QString key = WithoutExtension(executableFileName);
  const qsizetype debug = key.indexOf(QLatin1String("Debug"), 0, Qt::CaseInsensitive);
  if (debug >= 0) key.remove(debug, 5);
  return key;
}

std::string VersionQuery(const QString& productKey) {
  QString literal = productKey;
  literal.replace(QLatin1Char('\''), QLatin1String("''"));
  return "select versione,download,downloadwin from prodotti where nomesw='" +
         literal.toStdString() + "'";
}

bool LinkCanBeOpened(const QString& link) {
  // Strict parsing: an address with characters that do not belong in one
  // (spaces, line breaks) is not repaired into something else.
  const QUrl url(link, QUrl::StrictMode);
  if (!url.isValid()) return false;
  const QString scheme = url.scheme();
  const bool web = scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
                   scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
  return web && !url.host().isEmpty();
}

TimerVersione::TimerVersione(QObject* parent) : QTimer(parent) {
  connect(this, &QTimer::timeout, this, &TimerVersione::Action);
}

void TimerVersione::Action() {
  // One check at a time: a modal offer left open for a day must not be
  // joined by a second one. The re-arm at the end starts the timer again.
  stop();

  AppoggioDbSupporto::ConnessioneDbSupporto();
  db::CubeSQLServer& server = *AppoggioDbSupporto::SupportDb;
  bool connected = false;
  {
    const ui::BusyCursor busy;
    connected = server.Connect();
  }
  // An unreachable server or a refused account is passed over in silence.
  if (connected) {
    CheckVersion(server);
    server.Close();
  }

  setInterval(kRecheckMs);
  setSingleShot(false);
  start();
}

void TimerVersione::CheckVersion(db::CubeSQLServer& server) {
  ui::Seam& seam = ui::TheSeam();
  const QString fileName = seam.ExecutableFileName();
  const QString programName = WithoutExtension(fileName);

  std::unique_ptr<db::RowSet> rows;
  {
    const ui::BusyCursor busy;
    rows = server.SelectSQL(VersionQuery(ProductKey(fileName)));
  }
  if (!rows) {
    seam.MsgBox(EstensioniUtili::definisciCodificaStringa(server.ErrorMessage()));
    return;
  }
  if (rows->AfterLastRow()) {
    seam.MsgBox(QString::fromUtf8(kProductNotFound));
    return;
  }

  // Only the first row counts. Any other version than the running one is
  // offered, an older one included.
  const QString serverVersion =
      EstensioniUtili::definisciCodificaCampo(rows->ColumnAt(0).StringValue());
  if (serverVersion.compare(App::RunningVersion(), Qt::CaseInsensitive) == 0) return;

  ui::MessageDialogSpec offer;
  offer.Icon = 1;
  offer.ActionButton = {QString::fromUtf8(kDownload), true};
  offer.CancelButton.Visible = false;
  offer.AlternateActionButton = {QString::fromUtf8(kLater), !ObbligoQuit};
  offer.Explanation = QString::fromUtf8(ObbligoQuit ? kMandatory : kWantToDownload);
  offer.Message = QString::fromUtf8(kNewVersionOf) + programName + QLatin1Char(' ') + serverVersion;

  switch (seam.ShowModal(offer)) {
    case ui::PressedButton::Action: {
      // Only a web address is opened; for anything else the user is told,
      // and the program quits either way.
      const QString link = EstensioniUtili::definisciCodificaCampo(rows->ColumnAt(1).StringValue());
      if (LinkCanBeOpened(link)) {
        seam.ShowURL(link);
      } else {
        seam.MsgBox(QString::fromUtf8(kCannotOpenLink) + link);
      }
      seam.Quit(0);
      break;
    }
    case ui::PressedButton::AlternateAction:
      seam.MsgBox(QString::fromUtf8(kNextCheckAtStart) + programName);
      break;
    case ui::PressedButton::Cancel:
      break;
  }
}

}  // namespace vantrix::update
