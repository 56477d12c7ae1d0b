#include "tests/loader/app/gui_robot.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QThread>
#include <filesystem>

namespace app_test {

namespace {

constexpr int kTickMilliseconds = 25;

}  // namespace

void later(std::function<void()> action) {
    QMetaObject::invokeMethod(qApp, std::move(action), Qt::QueuedConnection);
}

void clickLater(QAbstractButton* button) {
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

void choosePort(QComboBox* combo, const std::string& path) {
    // Compared as names: equivalent() refuses device files.
    const std::filesystem::path wanted = std::filesystem::absolute(path).lexically_normal();
    for (int i = 0; i < combo->count(); ++i) {
        const std::filesystem::path item(combo->itemText(i).toStdString());
        if (item.is_absolute() && item.lexically_normal() == wanted) {
            combo->setCurrentIndex(i);
            return;
        }
    }
    // A person picks the simulated instrument from the list; it must be there.
    std::string listed;
    for (int i = 0; i < combo->count(); ++i) listed += " " + combo->itemText(i).toStdString();
    ADD_FAILURE() << "port " << path << " is not in the port list:" << listed;
    combo->setEditText(QString::fromStdString(path));
}

bool firstTime(QWidget* window, const char* step) {
    const QByteArray property = QByteArray("robotDone_") + step;
    if (window->property(property.constData()).toBool()) return false;
    window->setProperty(property.constData(), true);
    return true;
}

Box describe(const QMessageBox& box) { return Box{box.windowTitle(), box.text(), box.icon()}; }

std::string toString(const Box& box) {
    const char* icon = box.icon == QMessageBox::Information ? "information"
                       : box.icon == QMessageBox::Critical  ? "error"
                                                            : "other";
    return std::string(icon) + ": " + box.text.toStdString();
}

GuiRobot::GuiRobot(Handler handler, std::chrono::milliseconds patience)
    : handler_(std::move(handler)), deadline_(std::chrono::steady_clock::now() + patience) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    timer_.start(kTickMilliseconds);
}

GuiRobot::~GuiRobot() { timer_.stop(); }

void GuiRobot::tick() {
    QWidget* window = QApplication::activeModalWidget();
    if (!window) return;
    if (!gaveUp_ && std::chrono::steady_clock::now() > deadline_) {
        gaveUp_ = true;
        ADD_FAILURE() << "the robot gave up; window on top: " << window->metaObject()->className()
                      << " " << window->windowTitle().toStdString();
    }
    if (gaveUp_) {
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        }
        return;
    }
    handler_(window);
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

}  // namespace app_test
