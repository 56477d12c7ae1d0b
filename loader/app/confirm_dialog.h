// The last question before the main window: the instrument's data will be
// erased; go on with this firmware compatibility? YES accepts, NO, Escape
// and the close box reject.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace flashup::app {

class ConfirmDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ConfirmDialog(QWidget* parent = nullptr);

    // The sentence "You are about to upgrade your VANTORIUM with firmware
    // compatibility MAJOR.MINOR", both numbers in decimal.
    void setCompatibility(unsigned major, unsigned minor);
    const QString& text() const { return text_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QString text_;
    QLabel* textControl_ = nullptr;
};

}  // namespace flashup::app
