#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace vantrix::ui {

// The About window: logo, description and thanks, and two buttons that
// open the maker's web page and a new e-mail to the maker.
class AboutWin : public QWidget {
public:
  static constexpr bool kVisibleAtCreation = false;

  AboutWin();

  QLabel* Canvas1;
  QLabel* StaticText1;
  QPushButton* BevelButton1;  // "Visit website"
  QPushButton* BevelButton3;  // "Email us your feedback"

  // Sets the text, once per window.
  void Open();
  void BevelButton1_Action();
  void BevelButton3_Action();
};

}  // namespace vantrix::ui
