#include "loader/app/about_dialog.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "loader/app/control_ids.h"
#include "loader/app/dialog_template.h"
#include "loader/app/pictures.h"

namespace flashup::app {

namespace {

// A thin border instead of a caption bar; the frame is drawn by the box.
constexpr int kBorder = 1;

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    DialogTemplate dialog(*this, QStringLiteral("MS Sans Serif"), 12, QSize(170, 115), kBorder);
    dialog.addPicture(kIdAppIcon, kPictureApplication, QRect(97, 49, 20, 20));
    dialog.addText(kIdVersionText, QStringLiteral("Version 3.12"), QRect(66, 79, 41, 8));
    closeButton_ = dialog.addButton(kIdOk, QStringLiteral("X"), QRect(158, 2, 9, 9), true);
    closeButton_->setFlat(true);
    dialog.addText(0, QStringLiteral("Program Loader for"), QRect(31, 66, 64, 9));
    dialog.addPicture(kIdLogoBitmap, kPictureLogo, QRect(6, 7, 20, 20));
    deviceName_ =
        dialog.addText(kIdDeviceName, QStringLiteral("Device Name"), QRect(95, 66, 46, 9));
    dialog.addPicture(0, kPictureTransfer, QRect(78, 49, 20, 20));
    dialog.addPicture(0, kPictureComputer, QRect(59, 49, 20, 20));
    dialog.addPicture(kIdVersionBitmap, kPictureVersion, QRect(111, 79, 44, 8))->hide();
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::accept);

    splashTimer_.setSingleShot(true);
    splashTimer_.setTimerType(Qt::PreciseTimer);
    splashTimer_.setInterval(kSplashMilliseconds);
    connect(&splashTimer_, &QTimer::timeout, this, &QDialog::reject);
    connect(this, &QDialog::finished, &splashTimer_, &QTimer::stop);
}

void AboutDialog::setColours(const QColor& background, const QColor& text) {
    backgroundColour_ = background;
    textColour_ = text;
    QPalette colours = palette();
    colours.setColor(QPalette::Window, backgroundColour_);
    colours.setColor(QPalette::WindowText, textColour_);
    setPalette(colours);
    setAutoFillBackground(true);
    update();
}

void AboutDialog::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        initialise();
    }
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

void AboutDialog::initialise() {
    if (splashMode_) {
        closeButton_->hide();
        splashTimer_.start();
    }
    setColours(Qt::white, Qt::black);
    setWindowTitle(QString::fromLatin1(kLoaderTitle));
    setWindowIcon(applicationIcon());
    deviceName_->setText(QStringLiteral("VANTORIUM"));
}

void AboutDialog::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(textColour_);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace flashup::app
