// Pictures of the three windows as a real X server shows them, written into
// the build folder for people to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QSet>
#include <QTest>

#include "loader/app/about_dialog.h"
#include "loader/app/confirm_dialog.h"
#include "loader/app/main_dialog.h"
#include "tests/loader/app/gui_robot.h"
#include "tests/loader/app/working_directory.h"
#include "tests/loader/support/simulated_instrument.h"
#include "tests/support/test_support.h"

namespace {

using namespace flashup::app;

QString picturePath(const QString& name) {
    return QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(name + ".png");
}

// Saves what `window` shows now.
void save(QWidget& window, const QString& name) {
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
    QFile::remove(picturePath(name));
    ASSERT_TRUE(window.grab().save(picturePath(name)));
}

// The file holds a real picture of the window: not one flat colour.
void expectPicture(const QWidget& window, const QString& name) {
    const QImage saved(picturePath(name));
    ASSERT_FALSE(saved.isNull()) << picturePath(name).toStdString();
    EXPECT_EQ(saved.size(), window.size() * window.devicePixelRatio());
    QSet<QRgb> colours;
    for (int y = 0; y < saved.height(); y += 2) {
        for (int x = 0; x < saved.width(); x += 2) colours.insert(saved.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 8) << picturePath(name).toStdString() << " looks blank";
}

// Shows `window`, waits until it is on screen, and photographs it.
void photograph(QWidget& window, const QString& name) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);  // let the window system settle fonts and frames
    save(window, name);
    window.hide();
    expectPicture(window, name);
}

TEST(Screenshots, AboutConfirmationAndMainWindow) {
    EXPECT_EQ(QGuiApplication::platformName(), "xcb") << "meant for a real X server";
    {
        AboutDialog about;
        photograph(about, "about");
    }
    {
        ConfirmDialog confirm;
        confirm.setCompatibility(4, 17);
        photograph(confirm, "confirm");
    }
    test_support::ScratchDir dir;
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    app_test::prepareWorkingDirectory(&firmware);
    MainDialog main;
    photograph(main, "main");
}

// The main window while a download runs: button, icon row and progress.
TEST(Screenshots, MainWindowDuringADownload) {
    test_support::ScratchDir dir;
    const coff_builder::CoffImage firmware = coff_builder::sample_firmware();
    app_test::prepareWorkingDirectory(&firmware);
    test_support::SimulatedInstrument instrument(dir.path(), {"--silent-loader"});
    MainDialog main;
    app_test::GuiRobot robot([&](QWidget* window) {
        using namespace app_test;
        if (auto* box = qobject_cast<QMessageBox*>(window)) {
            if (firstTime(window, "ok")) clickLater(box->button(QMessageBox::Ok));
            return;
        }
        if (window != &main) return;
        auto* button = control<QPushButton>(window, kIdStartButton);
        if (firstTime(window, "start")) {
            choosePort(control<QComboBox>(window, kIdPortCombo), instrument.portPath());
            clickLater(button);
        } else if (main.downloadRunning() && firstTime(window, "photo")) {
            later([&main, button] {
                QTest::qWait(600);  // one step of the blinking icons
                save(main, "main_running");
                button->click();
            });
        }
    });
    main.exec();
    expectPicture(main, "main_running");
}

}  // namespace
