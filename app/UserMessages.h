#pragma once
// Where the window's messages to the user go: message boxes in the program, a record in tests.

#include <QString>

class QWidget;

namespace tw::app {

class UserMessages {
public:
  virtual ~UserMessages() = default;
  /// The standard error message box.
  virtual void showError(QWidget *parent, const QString &text) = 0;
  /// A message that informs and asks nothing.
  virtual void showInformation(QWidget *parent, const QString &text) = 0;
  /// The confirmation dialog "Confirm" with a question and the buttons "&Yes" and "&No"; false
  /// only when the answer is No (closing the dialog otherwise counts as yes).
  virtual bool confirm(QWidget *parent, const QString &question) = 0;
};

/// Message boxes titled with the program's name.
class MessageBoxes : public UserMessages {
public:
  void showError(QWidget *parent, const QString &text) override;
  void showInformation(QWidget *parent, const QString &text) override;
  bool confirm(QWidget *parent, const QString &question) override;
};

/// Messages written to the standard error stream, for runs that nobody watches; nobody is there
/// to confirm anything, so every question is answered No.
class PrintedMessages : public UserMessages {
public:
  void showError(QWidget *parent, const QString &text) override;
  void showInformation(QWidget *parent, const QString &text) override;
  bool confirm(QWidget *parent, const QString &question) override;
};

} // namespace tw::app
