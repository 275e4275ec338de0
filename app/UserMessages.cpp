#include "app/UserMessages.h"

#include "app/ProgramFiles.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <cstdio>

namespace tw::app {

void MessageBoxes::showError(QWidget *parent, const QString &text) {
  QMessageBox::critical(parent, QString::fromLatin1(ProgramTitle), text);
}

void MessageBoxes::showInformation(QWidget *parent, const QString &text) {
  QMessageBox::information(parent, QString::fromLatin1(ProgramTitle), text);
}

bool MessageBoxes::confirm(QWidget *parent, const QString &question) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), question, QMessageBox::Yes | QMessageBox::No,
                  parent);
  box.button(QMessageBox::Yes)->setText(QStringLiteral("&Yes"));
  box.button(QMessageBox::No)->setText(QStringLiteral("&No"));
  return box.exec() != QMessageBox::No;
}

void PrintedMessages::showError(QWidget *, const QString &text) {
  std::fprintf(stderr, "error: %s\n", qPrintable(text));
}

void PrintedMessages::showInformation(QWidget *, const QString &text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
}

bool PrintedMessages::confirm(QWidget *, const QString &question) {
  std::fprintf(stderr, "%s (answered No)\n", qPrintable(question));
  return false;
}

} // namespace tw::app
