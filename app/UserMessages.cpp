#include "app/UserMessages.h"

#include "app/ProgramFiles.h"

#include <QMessageBox>

#include <cstdio>

namespace tw::app {

void MessageBoxes::showError(QWidget *parent, const QString &text) {
  QMessageBox::critical(parent, QString::fromLatin1(ProgramTitle), text);
}

void MessageBoxes::showInformation(QWidget *parent, const QString &text) {
  QMessageBox::information(parent, QString::fromLatin1(ProgramTitle), text);
}

void PrintedMessages::showError(QWidget *, const QString &text) {
  std::fprintf(stderr, "error: %s\n", qPrintable(text));
}

void PrintedMessages::showInformation(QWidget *, const QString &text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace tw::app
