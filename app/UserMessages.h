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
};

/// Message boxes titled with the program's name.
class MessageBoxes : public UserMessages {
public:
  void showError(QWidget *parent, const QString &text) override;
  void showInformation(QWidget *parent, const QString &text) override;
};

/// Messages written to the standard error stream, for runs that nobody watches.
class PrintedMessages : public UserMessages {
public:
  void showError(QWidget *parent, const QString &text) override;
  void showInformation(QWidget *parent, const QString &text) override;
};

} // namespace tw::app
