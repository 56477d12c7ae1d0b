// The loader's message boxes: its title, an information or error icon and
// an OK button.
#pragma once

#include <QString>

class QWidget;

namespace flashup::app {

void showInformation(QWidget* parent, const QString& text);
void showError(QWidget* parent, const QString& text);

}  // namespace flashup::app
