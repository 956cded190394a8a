#pragma once

#include <string>

#include <QString>
#include <QTimer>

namespace vantrix::db {
class CubeSQLServer;
}

namespace vantrix::update {

// The version-check timer of the main window. Its Action asks the support
// server for the current version of this product and, when it differs from
// the running one, offers the download. Whatever the outcome, each check
// re-arms the timer to fire again every 24 hours.
class TimerVersione : public QTimer {
public:
  static constexpr int kRecheckMs = 86400000;  // 24 hours

  explicit TimerVersione(QObject* parent = nullptr);

  // The offered update is mandatory: the offer cannot be postponed.
  bool ObbligoQuit = false;

  // Runs on every timeout, on the user-interface thread.
  void Action();

private:
  // The part of the check that needs a connected support server.
  void CheckVersion(db::CubeSQLServer& server);
};

// The texts of the check.
inline constexpr const char* kProductNotFound =
    "Applicazione non trovata sui nostri server. Spiacente.";
inline constexpr const char* kDownload = "Scarica";
inline constexpr const char* kLater = "Più tardi";
inline constexpr const char* kWantToDownload = "Vuoi scaricarla?";
inline constexpr const char* kMandatory = "AGGIORNAMENTO OBBLIGATORIO";
inline constexpr const char* kNewVersionOf = "È disponibile una nuova versione di ";
inline constexpr const char* kNextCheckAtStart =
    "Il controllo della nuova versione avverrà al prossimo avvio di ";
inline constexpr const char* kCannotOpenLink =
    "Impossibile aprire il collegamento per lo scaricamento: ";

// A file name without its extension (the part after the last dot; a name
// that only starts with a dot keeps it).
QString WithoutExtension(const QString& fileName);

// The key under which the support server lists this product: the
// executable's name without extension, with its first "Debug" (in any
// letter case) removed, so that debug builds ask for the released product.
QString ProductKey(const QString& executableFileName);

// Whether the download link that the support server sent may be opened:
// only a well-formed http or https address (the scheme in any letter case)
// with a host. Anything else (a file: path, another registered scheme, a
// bare path, an empty link, whitespace in the address) is refused, so the
// support server cannot make the program open a local file or hand an
// address to whatever handler the desktop has for its scheme.
bool LinkCanBeOpened(const QString& link);

// The query for a product's row. The key is written as an SQL string
// literal, its single quotes doubled, so any file name gives a valid query
// that asks for exactly that key.
std::string VersionQuery(const QString& productKey);

}  // namespace vantrix::update
