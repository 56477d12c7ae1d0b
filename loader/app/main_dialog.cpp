#include "loader/app/main_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "loader/app/about_dialog.h"
#include "loader/app/control_ids.h"
#include "loader/app/dialog_template.h"
#include "loader/app/message_boxes.h"
#include "loader/app/pictures.h"
#include "loader/engine/port_list.h"

namespace flashup::app {

namespace {

constexpr qsizetype kMaxPortNameLength = 6;

// Phase of the blinking transfer icons, kept across windows like any other
// program-wide counter: 0 left shown, 1 right shown, 2 both hidden.
int animationPhase = 0;

class ValueEvent final : public QEvent {
  public:
    ValueEvent(Type type, int value) : QEvent(type), value_(value) {}
    int value() const { return value_; }

  private:
    int value_;
};

// Runs on the worker: progress leaves the engine only as posted events, the
// controls are never touched from here.
class ProgressPoster final : public DownloadListener {
  public:
    explicit ProgressPoster(QObject* window) : window_(window) {}
    void downloadProgress(uint32_t percent) override {
        QCoreApplication::postEvent(window_,
                                    new ValueEvent(kProgressEvent, static_cast<int>(percent)));
    }

  private:
    QObject* window_;
};

void runDownload(Downloader& downloader, QObject* window) {
    ProgressPoster progress(window);
    const bool succeeded = downloader.download(progress);
    // The worker's last act: the window joins the thread when it sees this.
    QCoreApplication::postEvent(window, new ValueEvent(kDownloadDoneEvent, succeeded ? 1 : 0));
}

}  // namespace

std::string downloadPortName(const QString& typed) {
    if (typed.contains(QLatin1Char('/'))) return typed.toStdString();
    return typed.left(kMaxPortNameLength).toStdString();
}

MainDialog::MainDialog(QWidget* parent)
    // A normal window rather than a dialog: it has the task bar entry and
    // the minimize box of the program's main window.
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    DialogTemplate dialog(*this, QStringLiteral("MS Sans Serif"), 8, QSize(258, 155));
    startButton_ = dialog.addButton(kIdStartButton, QStringLiteral("START FIRMWARE UPGRADE"),
                                    QRect(125, 122, 113, 17), true);
    progressBar_ = dialog.addProgressBar(kIdProgressBar, QRect(14, 23, 228, 21));
    dialog.addText(0, QStringLiteral("%   loaded"), QRect(41, 52, 35, 15));
    percentText_ =
        dialog.addText(kIdPercentText, QStringLiteral("0"), QRect(14, 52, 24, 11), Qt::AlignRight);
    dialog.addGroupBox(QStringLiteral("Download status"), QRect(7, 7, 244, 68));
    portCombo_ = dialog.addComboBox(kIdPortCombo, QRect(124, 88, 115, 68));
    appIconControl_ = dialog.addPicture(kIdAppIcon, kPictureApplication, QRect(219, 47, 21, 20));
    computerIcon_ = dialog.addPicture(kIdComputerIcon, kPictureComputer, QRect(135, 49, 21, 20));
    transferLeft_ =
        dialog.addPicture(kIdTransferIconLeft, kPictureTransfer, QRect(167, 48, 21, 20));
    transferRight_ =
        dialog.addPicture(kIdTransferIconRight, kPictureTransfer, QRect(195, 48, 21, 20));
    idleControls_ = {
        dialog.addPicture(kIdPortHintIcon, kPicturePortHint, QRect(17, 84, 21, 20)),
        dialog.addPicture(kIdStartHintIcon, kPictureStartHint, QRect(18, 120, 21, 20)),
        dialog.addText(kIdPortHintText, QStringLiteral("Select serial port number"),
                       QRect(40, 89, 79, 13)),
        dialog.addText(kIdStartHintText, QStringLiteral("Click on start button"),
                       QRect(40, 126, 67, 9)),
        portCombo_,
    };
    for (QWidget* icon : {appIconControl_, computerIcon_, transferLeft_, transferRight_}) {
        icon->hide();
    }

    setWindowTitle(QString::fromLatin1(kLoaderTitle));
    setWindowIcon(applicationIcon());
    for (const std::string& name : listPortNames()) {
        portCombo_->addItem(QString::fromStdString(name));
    }
    portCombo_->setCurrentIndex(0);

    // X11 and Wayland offer no system menu a program can extend: the About
    // command lives in the window's context menu and on F1.
    auto* about = new QAction(QStringLiteral("&About Flashup..."), this);
    about->setShortcut(QKeySequence(Qt::Key_F1));
    about->setShortcutContext(Qt::WindowShortcut);
    connect(about, &QAction::triggered, this, &MainDialog::showAbout);
    addAction(about);
    setContextMenuPolicy(Qt::ActionsContextMenu);

    animationTimer_.setInterval(kAnimationMilliseconds);
    connect(&animationTimer_, &QTimer::timeout, this, &MainDialog::animateIcons);
    connect(startButton_, &QPushButton::clicked, this, &MainDialog::startOrCancel);
}

MainDialog::~MainDialog() {
    if (worker_.joinable()) {
        downloader_.cancelEvent().signal();
        worker_.join();
    }
}

void MainDialog::showAbout() {
    AboutDialog about(this);
    aboutBox_ = &about;
    about.exec();
}

void MainDialog::reject() { cancelOrClose(); }

bool MainDialog::event(QEvent* event) {
    if (event->type() == kProgressEvent) {
        onProgress(static_cast<ValueEvent*>(event)->value());
        return true;
    }
    if (event->type() == kDownloadDoneEvent) {
        onDownloadDone(static_cast<ValueEvent*>(event)->value() == 1);
        return true;
    }
    return QDialog::event(event);
}

void MainDialog::startOrCancel() {
    if (worker_.joinable()) {
        cancelOrClose();
        return;
    }
    const std::string portName = downloadPortName(portCombo_->currentText());
    // The answer does not matter: the box makes the user stop and set the
    // instrument before anything goes on the line.
    showInformation(this, QStringLiteral("Set your VANTORIUM communication speed to 115200 "
                                         "bauds.\n\nWhen done click on OK"));
    for (QWidget* control : idleControls_) control->hide();
    startButton_->setText(QStringLiteral("CANCEL"));
    transferLeft_->hide();
    transferRight_->hide();
    computerIcon_->show();
    appIconControl_->show();
    animationTimer_.start();
    downloader_.setPortName(portName);
    worker_ = std::thread(runDownload, std::ref(downloader_), static_cast<QObject*>(this));
}

void MainDialog::cancelOrClose() {
    if (worker_.joinable()) {
        // The worker sees it while it waits for the instrument's next answer;
        // the window stays until the worker reports its end.
        downloader_.cancelEvent().signal();
        return;
    }
    QDialog::reject();
}

void MainDialog::animateIcons() {
    transferLeft_->setVisible(animationPhase == 0);
    transferRight_->setVisible(animationPhase == 1);
    animationPhase = (animationPhase + 1) % 3;
}

void MainDialog::onProgress(int percentage) {
    progressBar_->setValue(percentage);
    percentText_->setText(QString::asprintf("%d", percentage));
}

void MainDialog::onDownloadDone(bool succeeded) {
    // The outcome matters more than an About box left open over the window.
    if (aboutBox_) aboutBox_->reject();
    // Posted as the worker's last act: the join returns at once.
    worker_.join();
    animationTimer_.stop();
    if (succeeded) {
        showInformation(this, QStringLiteral("Download successful."));
    } else {
        showError(this, QString::fromUtf8(downloader_.resultText()));
    }
    cancelOrClose();
}

}  // namespace flashup::app
