// The loader's main window: the user picks the serial port and presses
// START; one worker thread runs the download while the window shows its
// progress; the outcome goes to a message box and the window closes. The
// window owns the Downloader, so building it runs the converter and
// destroying it deletes the temporary image files.
#pragma once

#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <thread>

#include "loader/engine/downloader.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace flashup::app {

class AboutDialog;

// What the worker posts to the window; queued events arrive in the order
// posted, so the last progress report is handled before the end.
inline const QEvent::Type kProgressEvent = static_cast<QEvent::Type>(QEvent::User + 1);
inline const QEvent::Type kDownloadDoneEvent = static_cast<QEvent::Type>(QEvent::User + 2);

// The port name handed to the engine: a device path as typed, any other
// name cut to its first 6 characters ("COM123").
std::string downloadPortName(const QString& typed);

class MainDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kAnimationMilliseconds = 500;

    explicit MainDialog(QWidget* parent = nullptr);
    // A download still running (only when the program is torn down around
    // it) is cancelled and waited for.
    ~MainDialog() override;

    unsigned compatibilityMajor() const { return downloader_.compatibility() / 256u; }
    unsigned compatibilityMinor() const { return downloader_.compatibility() % 256u; }
    const Downloader& downloader() const { return downloader_; }
    bool downloadRunning() const { return worker_.joinable(); }

    // The About box, modal, as an ordinary box: the context menu's and F1's
    // command, also while a download runs.
    void showAbout();

  public slots:
    // Escape and the close box: cancel a running download, else close.
    void reject() override;

  protected:
    bool event(QEvent* event) override;

  private:
    void startOrCancel();
    void cancelOrClose();
    void animateIcons();
    void onProgress(int percentage);
    void onDownloadDone(bool succeeded);

    QLabel* appIconControl_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QComboBox* portCombo_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QLabel* percentText_ = nullptr;
    QLabel* computerIcon_ = nullptr;
    QLabel* transferLeft_ = nullptr;
    QLabel* transferRight_ = nullptr;
    QList<QWidget*> idleControls_;
    QTimer animationTimer_;
    QPointer<AboutDialog> aboutBox_;
    Downloader downloader_;
    std::thread worker_;
};

}  // namespace flashup::app
