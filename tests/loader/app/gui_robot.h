// Drives the loader's modal windows from inside their own event loops: a
// timer looks at the window on top every few milliseconds and hands it to the
// test, which answers it as a user would.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <string>

#include "loader/app/control_ids.h"

namespace app_test {

using namespace std::chrono_literals;

template <class Control>
Control* control(QWidget* window, int id) {
    return window->findChild<Control*>(flashup::app::controlName(id));
}

// Runs `action` from the event loop once the robot's tick is over. Anything
// that opens a modal box goes this way, or it would stop the robot's timer.
void later(std::function<void()> action);
void clickLater(QAbstractButton* button);

// Picks the port at `path` from the combo box's list when the list offers
// it, else types the path into its edit field.
void choosePort(QComboBox* combo, const std::string& path);

// True the first time it is asked for this window and step; lets a test act
// once on a window that it sees on many ticks.
bool firstTime(QWidget* window, const char* step);

// What a message box said.
struct Box {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};
Box describe(const QMessageBox& box);
std::string toString(const Box& box);

class GuiRobot {
  public:
    using Handler = std::function<void(QWidget* window)>;

    // `handler` gets the active modal window on every tick. Past `patience`
    // the test fails and the robot closes whatever comes, so that a stuck
    // test ends.
    explicit GuiRobot(Handler handler, std::chrono::milliseconds patience = 20s);
    ~GuiRobot();
    GuiRobot(const GuiRobot&) = delete;
    GuiRobot& operator=(const GuiRobot&) = delete;

  private:
    void tick();

    Handler handler_;
    std::chrono::steady_clock::time_point deadline_;
    bool gaveUp_ = false;
    QTimer timer_;
};

// Processes events until `condition` holds or `limit` passes; returns it.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 10s);

}  // namespace app_test
