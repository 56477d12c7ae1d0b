// The main window on its own, run modally as the start-up runs it: how a
// download is started and cancelled, the port name handed to the engine,
// failures before the line is used, and the About box during a download.
#include "loader/app/main_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "loader/app/about_dialog.h"
#include "tests/loader/app/gui_robot.h"
#include "tests/loader/app/working_directory.h"
#include "tests/loader/support/simulated_instrument.h"
#include "tests/support/test_support.h"

namespace {

using namespace flashup::app;
using namespace app_test;
using test_support::ScratchDir;
using test_support::SimulatedInstrument;

const QString kReminderStart = QStringLiteral("Set your VANTORIUM communication speed");

class MainDialogTest : public ::testing::Test {
  protected:
    // Message boxes: keeps what they said and answers OK.
    bool answerBox(QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (!box) return false;
        if (firstTime(window, "ok")) {
            boxes.push_back(toString(describe(*box)));
            clickLater(box->button(QMessageBox::Ok));
        }
        return true;
    }

    ScratchDir dir;
    std::vector<std::string> boxes;
};

enum class CancelBy { Enter, Escape, CloseBox };

const char* nameOf(CancelBy means) {
    switch (means) {
        case CancelBy::Enter:
            return "Enter";
        case CancelBy::Escape:
            return "Escape";
        case CancelBy::CloseBox:
            return "CloseBox";
    }
    return "";
}

void PrintTo(CancelBy means, std::ostream* out) { *out << nameOf(means); }

class CancelTest : public MainDialogTest, public ::testing::WithParamInterface<CancelBy> {};

// Enter starts the download from the port's edit field; then Enter, Escape
// and the close box each ask to cancel, and the window stays until the
// outcome has been shown.
TEST_P(CancelTest, CancelRequestKeepsTheWindowUntilTheOutcome) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware);
    SimulatedInstrument instrument(dir.path(), {"--silent-loader"});
    MainDialog dialog;
    bool cancelRequested = false;
    bool stayedAfterRequest = false;

    GuiRobot robot([&](QWidget* window) {
        if (answerBox(window)) return;
        if (window != &dialog) return;
        auto* combo = control<QComboBox>(window, kIdPortCombo);
        if (firstTime(window, "start")) {
            choosePort(combo, instrument.portPath());
            combo->lineEdit()->setFocus();
            later([combo] { QTest::keyClick(combo->lineEdit(), Qt::Key_Return); });
            return;
        }
        if (!dialog.downloadRunning()) return;
        if (cancelRequested) {
            stayedAfterRequest = dialog.isVisible() &&
                                 control<QPushButton>(window, kIdStartButton)->text() == "CANCEL";
            return;
        }
        cancelRequested = true;
        switch (GetParam()) {
            case CancelBy::Enter:
                later([window] { QTest::keyClick(window, Qt::Key_Return); });
                break;
            case CancelBy::Escape:
                later([window] { QTest::keyClick(window, Qt::Key_Escape); });
                break;
            case CancelBy::CloseBox:
                later([window] { window->close(); });
                break;
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(QString::fromStdString(boxes[0]).contains(kReminderStart));
    EXPECT_EQ(boxes[1], "error: Download canceled by user.");
    EXPECT_TRUE(stayedAfterRequest);
    EXPECT_EQ(dialog.downloader().result(), flashup::kResultCancelled);
    EXPECT_FALSE(dialog.downloadRunning());
}

INSTANTIATE_TEST_SUITE_P(Means, CancelTest,
                         ::testing::Values(CancelBy::Enter, CancelBy::Escape, CancelBy::CloseBox),
                         [](const auto& info) { return std::string(nameOf(info.param)); });

// A typed name without a slash is cut to six characters ("COM12345" becomes
// "COM123", which does not exist): the port failure reaches the user.
TEST_F(MainDialogTest, TypedPortNameIsCutAndItsFailureReported) {
    const coff_builder::CoffImage firmware = firmwareWithCompatibility(0x1278);
    prepareWorkingDirectory(&firmware);
    MainDialog dialog;
    EXPECT_EQ(dialog.compatibilityMajor(), 18u);
    EXPECT_EQ(dialog.compatibilityMinor(), 120u);

    GuiRobot robot([&](QWidget* window) {
        if (answerBox(window) || !firstTime(window, "start")) return;
        control<QComboBox>(window, kIdPortCombo)->setEditText("COM12345");
        clickLater(control<QPushButton>(window, kIdStartButton));
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);

    EXPECT_EQ(dialog.downloader().portName(), "COM123");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "error: ERROR : Unable to open serial port.");
}

TEST(DownloadPortName, PathsAreKeptWholeOtherNamesCutToSix) {
    EXPECT_EQ(downloadPortName("COM3"), "COM3");
    EXPECT_EQ(downloadPortName("COM123"), "COM123");
    EXPECT_EQ(downloadPortName("COM1234"), "COM123");
    EXPECT_EQ(downloadPortName("/tmp/some/long/instrument"), "/tmp/some/long/instrument");
    EXPECT_EQ(downloadPortName(""), "");
}

// Without image files (the converter failed on a damaged firmware) the
// reminder still comes first, then the engine's own text; no port opens.
TEST_F(MainDialogTest, DamagedFirmwareIsReportedWithoutUsingTheLine) {
    test_support::write_file("fw417.out", "this is not an object file\n");
    prepareWorkingDirectory(nullptr);
    SimulatedInstrument instrument(dir.path());
    MainDialog dialog;
    EXPECT_EQ(dialog.compatibilityMajor(), 255u);
    EXPECT_EQ(dialog.compatibilityMinor(), 255u);

    GuiRobot robot([&](QWidget* window) {
        if (answerBox(window) || !firstTime(window, "start")) return;
        choosePort(control<QComboBox>(window, kIdPortCombo), instrument.portPath());
        later([window] { QTest::keyClick(window, Qt::Key_Return); });
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(QString::fromStdString(boxes[0]).contains(kReminderStart));
    EXPECT_EQ(boxes[1], std::string("error: ") +
                            flashup::Downloader::resultText(flashup::kResultImageFailed));
    EXPECT_TRUE(instrument.logLines().empty());
}

// F1 opens the About box while the download runs; progress keeps arriving
// behind it, and the outcome closes it.
TEST_F(MainDialogTest, AboutBoxDuringTheDownloadLetsProgressThrough) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware);
    SimulatedInstrument instrument(dir.path());
    MainDialog dialog;
    int progressWhenAboutOpened = -1;
    bool closeButtonShown = false;
    QPointer<QWidget> about;
    bool aboutOpenAtOutcome = true;
    QString percentAtOutcome;

    GuiRobot robot([&](QWidget* window) {
        if (auto* box = qobject_cast<QMessageBox*>(window);
            box && box->text() == "Download successful." && firstTime(window, "look")) {
            aboutOpenAtOutcome = about && about->isVisible();
            percentAtOutcome = control<QLabel>(&dialog, kIdPercentText)->text();
        }
        if (answerBox(window)) return;
        if (qobject_cast<AboutDialog*>(window)) {
            if (firstTime(window, "seen")) {
                about = window;
                EXPECT_EQ(window->parentWidget(), &dialog);
                progressWhenAboutOpened = control<QProgressBar>(&dialog, kIdProgressBar)->value();
                closeButtonShown = control<QWidget>(window, kIdOk)->isVisible();
            }
            return;
        }
        if (window != &dialog) return;
        if (firstTime(window, "start")) {
            choosePort(control<QComboBox>(window, kIdPortCombo), instrument.portPath());
            clickLater(control<QPushButton>(window, kIdStartButton));
        } else if (dialog.downloadRunning() && firstTime(window, "about")) {
            later([window] {
                // The offscreen platform has no window manager to give the
                // window back its activation after the reminder box.
                window->activateWindow();
                EXPECT_TRUE(QTest::qWaitForWindowActive(window));
                QTest::keyClick(window, Qt::Key_F1);
            });
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);

    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "information: Download successful.");
    EXPECT_EQ(progressWhenAboutOpened, 0) << "opened before the first sector";
    EXPECT_TRUE(closeButtonShown) << "an ordinary About box, not the splash";
    EXPECT_FALSE(aboutOpenAtOutcome);
    EXPECT_EQ(percentAtOutcome, "100");
    EXPECT_EQ(instrument.wait(10s), 0);
}

// In the idle window the context menu offers the About command; the box
// stays past the splash time until its "X" is clicked, and the window is
// still idle afterwards.
TEST_F(MainDialogTest, ContextMenuOpensAnAboutBoxThatStaysUntilClosed) {
    MainDialog dialog;
    QElapsedTimer aboutClock;
    bool stillIdle = false;
    bool xClicked = false;
    bool aboutClosedByX = false;

    GuiRobot robot([&](QWidget* window) {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            if (firstTime(menu, "pick")) {
                for (QAction* action : menu->actions()) {
                    if (action->text() == "&About Flashup...") {
                        later([menu, action] {
                            menu->setActiveAction(action);
                            QTest::keyClick(menu, Qt::Key_Return);
                        });
                    }
                }
            }
            return;
        }
        if (qobject_cast<AboutDialog*>(window)) {
            if (firstTime(window, "seen")) aboutClock.start();
            if (aboutClock.elapsed() > AboutDialog::kSplashMilliseconds + 300 &&
                firstTime(window, "close")) {
                xClicked = true;
                clickLater(control<QPushButton>(window, kIdOk));
            }
            return;
        }
        if (window != &dialog) return;
        if (firstTime(window, "menu")) {
            later([window] {
                const QPoint inside(10, 10);
                QContextMenuEvent event(QContextMenuEvent::Mouse, inside,
                                        window->mapToGlobal(inside));
                QApplication::sendEvent(window, &event);
            });
        } else if (aboutClock.isValid() && firstTime(window, "close")) {
            aboutClosedByX = xClicked;
            stillIdle =
                !dialog.downloadRunning() &&
                control<QPushButton>(window, kIdStartButton)->text() == "START FIRMWARE UPGRADE" &&
                control<QWidget>(window, kIdPortCombo)->isVisible();
            later([window] { window->close(); });
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_TRUE(aboutClock.isValid()) << "the About box never showed";
    EXPECT_TRUE(aboutClosedByX) << "it must not end by itself like the splash";
    EXPECT_TRUE(stillIdle);
}

}  // namespace
