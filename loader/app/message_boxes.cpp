#include "loader/app/message_boxes.h"

#include <QMessageBox>

#include "loader/app/control_ids.h"
#include "loader/app/pictures.h"

namespace flashup::app {

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, QString::fromLatin1(kLoaderTitle), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowIcon(applicationIcon());
    box.exec();
}

}  // namespace

void showInformation(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Information, text);
}

void showError(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Critical, text);
}

}  // namespace flashup::app
