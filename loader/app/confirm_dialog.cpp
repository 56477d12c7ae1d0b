#include "loader/app/confirm_dialog.h"

#include <QLabel>
#include <QPushButton>

#include "loader/app/control_ids.h"
#include "loader/app/dialog_template.h"
#include "loader/app/pictures.h"

namespace flashup::app {

ConfirmDialog::ConfirmDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    DialogTemplate dialog(*this, QStringLiteral("MS Sans Serif"), 10, QSize(274, 161));
    QPushButton* yes =
        dialog.addButton(kIdYes, QStringLiteral("YES"), QRect(62, 127, 50, 14), true);
    QPushButton* no = dialog.addButton(kIdNo, QStringLiteral("NO"), QRect(155, 127, 50, 14));
    dialog.addPicture(kIdWarningIcon, kPictureWarning, QRect(7, 7, 20, 20));
    textControl_ = dialog.addText(kIdCompatibilityText, QStringLiteral("Text"),
                                  QRect(0, 29, 274, 10), Qt::AlignHCenter);
    // One line across the whole width: a longer sentence is cut at both
    // ends rather than wrapped out of sight.
    textControl_->setWordWrap(false);
    dialog.addText(0, QStringLiteral("ALL DATA WILL BE ERASED, so you should import them to your"),
                   QRect(41, 49, 191, 8));
    dialog.addText(0, QStringLiteral("PC before downloading the new firmware !"),
                   QRect(40, 59, 125, 8));
    QLabel* question = dialog.addText(0, QStringLiteral("DO YOU REALLY WANT TO CONTINUE ?"),
                                      QRect(61, 85, 144, 23), Qt::AlignCenter);
    question->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    setWindowTitle(QStringLiteral("Program Loader"));
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
}

void ConfirmDialog::setCompatibility(unsigned major, unsigned minor) {
    text_ = QString::asprintf("%s %u.%u",
                              "You are about to upgrade your VANTORIUM with firmware compatibility",
                              major, minor);
}

void ConfirmDialog::showEvent(QShowEvent* event) {
    textControl_->setText(text_);
    setWindowIcon(applicationIcon());
    setWindowTitle(QString::fromLatin1(kLoaderTitle));
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

}  // namespace flashup::app
