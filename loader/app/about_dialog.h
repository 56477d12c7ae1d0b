// The About box: program name and version. The start-up shows it as a splash
// that closes itself; from the main window it stays until the user closes it.
#pragma once

#include <QColor>
#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

namespace flashup::app {

class AboutDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kSplashMilliseconds = 1500;

    explicit AboutDialog(QWidget* parent = nullptr);

    // Before the modal run: no close button, and the box ends itself
    // (rejected) after kSplashMilliseconds. Escape ends it earlier.
    void setSplashMode(bool splash) { splashMode_ = splash; }
    bool splashMode() const { return splashMode_; }

    void setColours(const QColor& background, const QColor& text);

  protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void initialise();

    bool splashMode_ = false;
    bool initialised_ = false;
    QPushButton* closeButton_ = nullptr;
    QLabel* deviceName_ = nullptr;
    QTimer splashTimer_;
    QColor textColour_ = Qt::black;
    QColor backgroundColour_ = Qt::white;
};

}  // namespace flashup::app
