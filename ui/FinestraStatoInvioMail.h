#pragma once

#include <QPoint>
#include <QRect>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace vantrix::ui {

// The small floating window that follows a mail batch: a bar counting the
// messages sent, an error label whose tooltip carries the detail, and a
// cancel button that shows after a minute or on an error. It has no
// buttons in its frame: the user can only close it with the cancel button.
//
// There is at most one; every operation below works on the open window,
// and those that need one create it (Reach) in its initial state.
class FinestraStatoInvioMail : public QWidget {
public:
  static constexpr bool kVisibleAtCreation = true;
  static constexpr int kWidth = 422;
  static constexpr int kHeight = 102;
  static constexpr int kCancelAfterMs = 60000;

  FinestraStatoInvioMail();

  QProgressBar* BarraProgresso;
  QLabel* TestoErrore;
  QPushButton* BottoneAnnullaInvio;
  QTimer* Timer1;

  // Moves to the main window's lower left corner.
  void Open();

  // One more message sent.
  void ProgressStep();
  // The error label, with the detail as its tooltip, and the cancel button.
  void ShowError(const QString& tooltip);
  // Cancels the batch on its way (InvioMailGlob::AnnullaInvio: its sender
  // stops and its unsent messages go back to the queue for the next batch)
  // and closes the window; nothing of the cancelled batch reopens it.
  void BottoneAnnullaInvio_Action();
  // Reveals the cancel button.
  void Timer1_Action();

  // Closes the open window; nothing when none is open.
  static void CloseOpen();
};

// Where the window goes: bottom edges level with the main window's
// (content) rectangle, 5 pixels in from its left.
QPoint LowerLeftPlace(const QRect& mainWindow, int ownHeight);

}  // namespace vantrix::ui
