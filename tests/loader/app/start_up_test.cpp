// The whole program as a user meets it: LoaderApp::startUp runs unmodified,
// with its modal splash, confirmation, main window and message boxes, and a
// robot answers each of them.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <string>
#include <vector>

#include "loader/app/about_dialog.h"
#include "loader/app/confirm_dialog.h"
#include "loader/app/loader_app.h"
#include "loader/app/main_dialog.h"
#include "tests/loader/app/gui_robot.h"
#include "tests/loader/app/working_directory.h"
#include "tests/loader/support/simulated_instrument.h"
#include "tests/support/test_support.h"

namespace {

using namespace flashup::app;
using namespace app_test;
using test_support::ScratchDir;
using test_support::SimulatedInstrument;
using Clock = std::chrono::steady_clock;

const std::string kReminder =
    "information: Set your VANTORIUM communication speed to 115200 bauds.\n\nWhen done click "
    "on OK";
const QString kSentence =
    QStringLiteral("You are about to upgrade your VANTORIUM with firmware compatibility ");

// Records the windows of a run in order and answers the ones every run has
// alike: the splash is left to close itself, message boxes get OK.
class StartUpTest : public ::testing::Test {
  protected:
    // True when `window` was one of the common ones and has been dealt with.
    bool handleCommon(QWidget* window) {
        if (qobject_cast<AboutDialog*>(window)) {
            if (firstTime(window, "seen")) {
                seen.push_back("splash");
                splashSeenAt = Clock::now();
            }
            return true;
        }
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            if (firstTime(window, "ok")) {
                const Box said = describe(*box);
                EXPECT_EQ(said.title, "VANTORIUM Program Loader");
                seen.push_back(toString(said));
                if (firstBoxAt == Clock::time_point()) firstBoxAt = Clock::now();
                clickLater(box->button(QMessageBox::Ok));
            }
            return true;
        }
        return false;
    }

    // YES or NO in the confirmation box, keeping its sentence.
    void answerConfirmation(QWidget* window, int button) {
        if (!firstTime(window, "answer")) return;
        seen.push_back("confirm");
        confirmation = control<QLabel>(window, kIdCompatibilityText)->text();
        clickLater(control<QPushButton>(window, button));
    }

    void start(QWidget* main, const std::string& port) {
        seen.push_back("main");
        choosePort(control<QComboBox>(main, kIdPortCombo), port);
        clickLater(control<QPushButton>(main, kIdStartButton));
    }

    ScratchDir dir;
    std::vector<std::string> seen;
    QString confirmation;
    Clock::time_point splashSeenAt;
    Clock::time_point firstBoxAt;
};

TEST_F(StartUpTest, WholeRunUpgradesTheInstrumentAndCleansUp) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware);
    SimulatedInstrument instrument(dir.path());
    bool lineQuietDuringReminder = false;
    std::vector<int> progress;
    QString percentShownAtEnd;
    int barAtEnd = -1;

    GuiRobot robot([&](QWidget* window) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && firstTime(window, "look")) {
            if (box->text().startsWith("Set your")) {
                lineQuietDuringReminder = instrument.logLines().empty();
            }
            if (box->text() == "Download successful.") {
                percentShownAtEnd = control<QLabel>(window->parentWidget(), kIdPercentText)->text();
                barAtEnd = control<QProgressBar>(window->parentWidget(), kIdProgressBar)->value();
            }
        }
        if (handleCommon(window)) return;
        if (qobject_cast<ConfirmDialog*>(window)) return answerConfirmation(window, kIdYes);
        if (qobject_cast<MainDialog*>(window)) {
            if (firstTime(window, "start")) return start(window, instrument.portPath());
            progress.push_back(control<QProgressBar>(window, kIdProgressBar)->value());
        }
    });
    EXPECT_FALSE(LoaderApp().startUp());

    const std::vector<std::string> expected = {"splash", "confirm", "main", kReminder,
                                               "information: Download successful."};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(confirmation, kSentence + "4.17");  // the sample's word 0x0411
    EXPECT_TRUE(lineQuietDuringReminder) << "nothing goes on the line before OK";
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(barAtEnd, 100);
    EXPECT_EQ(percentShownAtEnd, "100");
    EXPECT_TRUE(temporaryFilesGone());
    EXPECT_EQ(instrument.wait(10s), 0);
    EXPECT_EQ(instrument.image(), coff_builder::sample_firmware_page0_words());
}

TEST_F(StartUpTest, CancelDuringTheDownloadIsReportedAndEndsTheProgram) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware);
    SimulatedInstrument instrument(dir.path(), {"--silent-loader"});
    bool idleControlsHidden = false;
    bool rowShown = false;
    bool bothTransferIconsShown = false;
    bool phases[3] = {false, false, false};

    GuiRobot robot([&](QWidget* window) {
        if (handleCommon(window)) return;
        if (qobject_cast<ConfirmDialog*>(window)) return answerConfirmation(window, kIdYes);
        if (!qobject_cast<MainDialog*>(window)) return;
        if (firstTime(window, "start")) return start(window, instrument.portPath());
        auto* button = control<QPushButton>(window, kIdStartButton);
        if (button->text() != "CANCEL") return;
        if (firstTime(window, "running")) {
            idleControlsHidden = true;
            for (int id : {kIdPortHintIcon, kIdStartHintIcon, kIdPortHintText, kIdStartHintText,
                           kIdPortCombo}) {
                idleControlsHidden &= control<QWidget>(window, id)->isHidden();
            }
            rowShown = control<QWidget>(window, kIdComputerIcon)->isVisible() &&
                       control<QWidget>(window, kIdAppIcon)->isVisible();
        }
        const bool left = control<QWidget>(window, kIdTransferIconLeft)->isVisible();
        const bool right = control<QWidget>(window, kIdTransferIconRight)->isVisible();
        bothTransferIconsShown |= left && right;
        phases[left ? 0 : right ? 1 : 2] = true;
        // Cancel once the blinking has gone through all of its phases.
        if (phases[0] && phases[1] && phases[2] && firstTime(window, "cancel")) {
            clickLater(button);
        }
    });
    EXPECT_FALSE(LoaderApp().startUp());

    const std::vector<std::string> expected = {"splash", "confirm", "main", kReminder,
                                               "error: Download canceled by user."};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(idleControlsHidden);
    EXPECT_TRUE(rowShown);
    EXPECT_TRUE(phases[0] && phases[1] && phases[2]);
    EXPECT_FALSE(bothTransferIconsShown);
    EXPECT_TRUE(temporaryFilesGone());
    EXPECT_TRUE(instrument.image().empty());
}

TEST_F(StartUpTest, NoInTheConfirmationEndsWithoutTouchingTheLine) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware);
    SimulatedInstrument instrument(dir.path());

    GuiRobot robot([&](QWidget* window) {
        if (handleCommon(window)) return;
        if (qobject_cast<ConfirmDialog*>(window)) {
            EXPECT_TRUE(std::filesystem::exists("LSB.tmp")) << "converted before the question";
            return answerConfirmation(window, kIdNo);
        }
        ADD_FAILURE() << "unexpected window " << window->metaObject()->className();
        QMetaObject::invokeMethod(window, "reject", Qt::QueuedConnection);
    });
    EXPECT_FALSE(LoaderApp().startUp());

    EXPECT_EQ(seen, (std::vector<std::string>{"splash", "confirm"}));
    EXPECT_TRUE(instrument.logLines().empty());
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(StartUpTest, CompatibilityWordIsShownAsHighByteDotLowByte) {
    const coff_builder::CoffImage firmware = firmwareWithCompatibility(0x0203);
    prepareWorkingDirectory(&firmware);

    GuiRobot robot([&](QWidget* window) {
        if (handleCommon(window)) return;
        if (qobject_cast<ConfirmDialog*>(window) && firstTime(window, "escape")) {
            seen.push_back("confirm");
            confirmation = control<QLabel>(window, kIdCompatibilityText)->text();
            // Escape answers NO.
            later([window] { QTest::keyClick(window, Qt::Key_Escape); });
        }
    });
    EXPECT_FALSE(LoaderApp().startUp());

    EXPECT_EQ(seen, (std::vector<std::string>{"splash", "confirm"}));
    EXPECT_EQ(confirmation, kSentence + "2.3");
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(StartUpTest, MissingFirmwareIsReportedAfterTheSplash) {
    prepareWorkingDirectory(nullptr);
    GuiRobot robot([&](QWidget* window) {
        if (!handleCommon(window)) ADD_FAILURE() << "no other window expected";
    });
    EXPECT_FALSE(LoaderApp().startUp());

    EXPECT_EQ(seen, (std::vector<std::string>{
                        "splash",
                        "error: Required file fw417.out not found !\nPlease copy it in the same "
                        "directory than FlashupVantorium"}));
    // The splash ran its course: it was not cut short by the error.
    EXPECT_GE(firstBoxAt - splashSeenAt, 1000ms);
    EXPECT_TRUE(temporaryFilesGone());
}

TEST_F(StartUpTest, MissingConverterIsReportedAfterTheSplash) {
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    prepareWorkingDirectory(&firmware, false);
    GuiRobot robot([&](QWidget* window) {
        if (!handleCommon(window)) ADD_FAILURE() << "no other window expected";
    });
    EXPECT_FALSE(LoaderApp().startUp());

    EXPECT_EQ(seen, (std::vector<std::string>{
                        "splash",
                        "error: Required file romcvt not found !\nPlease copy it in the same "
                        "directory than FlashupVantorium"}));
    EXPECT_TRUE(temporaryFilesGone());
}

}  // namespace
