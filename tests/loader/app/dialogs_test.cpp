// The three windows as their templates lay them out, and the behaviour of the
// About and confirmation boxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cmath>
#include <optional>
#include <vector>

#include "loader/app/about_dialog.h"
#include "loader/app/confirm_dialog.h"
#include "loader/app/main_dialog.h"
#include "loader/engine/port_list.h"
#include "tests/loader/app/gui_robot.h"
#include "tests/support/test_support.h"

namespace {

using namespace flashup::app;
using namespace app_test;

// Dialog units to pixels from the font's average character width over the
// alphabet and its height, computed here independently of the program.
struct Units {
    explicit Units(const QFont& font) {
        const QFontMetrics metrics(font);
        charWidth = static_cast<int>(std::lround(
            metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") /
            52.0));
        charHeight = metrics.height();
    }
    int x(int units) const { return static_cast<int>(std::lround(units * charWidth / 4.0)); }
    int y(int units) const { return static_cast<int>(std::lround(units * charHeight / 8.0)); }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    int charWidth = 0;
    int charHeight = 0;
};

enum class Kind { Button, Text, Picture, Progress, Combo, Group };

struct Control {
    int id;  // 0: none; found by its text or, for a picture, its place
    Kind kind;
    QString text;
    QRect units;
    bool shown;
};

const char* className(Kind kind) {
    switch (kind) {
        case Kind::Button:
            return "QPushButton";
        case Kind::Text:
        case Kind::Picture:
            return "QLabel";
        case Kind::Progress:
            return "QProgressBar";
        case Kind::Combo:
            return "QComboBox";
        case Kind::Group:
            return "QGroupBox";
    }
    return "";
}

QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
    return {};
}

// Checks every control of a shown dialog against its template: kind, text,
// place and size in pixels, visibility; and the dialog's font and size.
void expectTemplate(QDialog& dialog, int pointSize, QSize size, int border,
                    const std::vector<Control>& controls) {
    EXPECT_EQ(dialog.font().pointSize(), pointSize);
    EXPECT_EQ(QFontInfo(dialog.font()).family(), "DejaVu Sans");
    const Units units(dialog.font());
    EXPECT_EQ(dialog.size(),
              QSize(units.x(size.width()) + 2 * border, units.y(size.height()) + 2 * border));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "fixed size";

    QList<QWidget*> texts;
    QList<QWidget*> others;
    for (const Control& expected : controls) {
        const QRect pixels = units
                                 .rect(expected.units.x(), expected.units.y(),
                                       expected.units.width(), expected.units.height())
                                 .translated(border, border);
        QWidget* found = nullptr;
        if (expected.id != 0) {
            found = dialog.findChild<QWidget*>(controlName(expected.id));
        } else {
            for (QWidget* child : dialog.findChildren<QWidget*>()) {
                if (!child->inherits(className(expected.kind))) continue;
                const bool match = expected.kind == Kind::Picture ? child->geometry() == pixels
                                                                  : textOf(child) == expected.text;
                if (match) found = child;
            }
        }
        SCOPED_TRACE("control " + std::to_string(expected.id) + " " + expected.text.toStdString());
        ASSERT_NE(found, nullptr);
        EXPECT_TRUE(found->inherits(className(expected.kind)));
        if (expected.kind == Kind::Picture) {
            auto* label = qobject_cast<QLabel*>(found);
            ASSERT_NE(label, nullptr);
            EXPECT_FALSE(label->pixmap().isNull());
        } else if (expected.kind != Kind::Progress && expected.kind != Kind::Combo) {
            EXPECT_EQ(textOf(found), expected.text);
        }
        if (expected.kind == Kind::Combo) {
            // The template's height includes the drop-down list.
            EXPECT_EQ(found->geometry().topLeft(), pixels.topLeft());
            EXPECT_EQ(found->width(), pixels.width());
        } else if (expected.kind == Kind::Text) {
            // Shown whole: a text the font makes wider than its box may grow
            // to the right, never shrink.
            EXPECT_EQ(found->geometry().topLeft(), pixels.topLeft());
            EXPECT_EQ(found->height(), pixels.height());
            EXPECT_GE(found->width(), pixels.width());
            EXPECT_LE(found->fontMetrics().horizontalAdvance(expected.text), found->width());
            texts.push_back(found);
        } else {
            EXPECT_EQ(found->geometry(), pixels);
        }
        EXPECT_EQ(found->isVisible(), expected.shown);
        if (expected.kind == Kind::Button || expected.kind == Kind::Combo) others.push_back(found);
    }
    // A widened text must not run into a neighbour.
    for (QWidget* text : texts) {
        for (QWidget* other : texts + others) {
            if (other != text && other->isVisible()) {
                EXPECT_FALSE(text->geometry().intersects(other->geometry()))
                    << textOf(text).toStdString() << " overlaps " << textOf(other).toStdString()
                    << " " << other->objectName().toStdString();
            }
        }
    }
}

TEST(DialogTemplates, MainWindow) {
    test_support::ScratchDir dir;  // the converter runs here, finding nothing
    MainDialog dialog;
    dialog.show();
    expectTemplate(dialog, 8, QSize(258, 155), 0,
                   {
                       {1004, Kind::Button, "START FIRMWARE UPGRADE", {125, 122, 113, 17}, true},
                       {1000, Kind::Progress, "", {14, 23, 228, 21}, true},
                       {0, Kind::Text, "%   loaded", {41, 52, 35, 15}, true},
                       {1012, Kind::Text, "0", {14, 52, 24, 11}, true},
                       {0, Kind::Group, "Download status", {7, 7, 244, 68}, true},
                       {1002, Kind::Combo, "", {124, 88, 115, 68}, true},
                       {1022, Kind::Picture, "", {219, 47, 21, 20}, false},
                       {1021, Kind::Picture, "", {135, 49, 21, 20}, false},
                       {1023, Kind::Picture, "", {167, 48, 21, 20}, false},
                       {1024, Kind::Picture, "", {195, 48, 21, 20}, false},
                       {1035, Kind::Picture, "", {17, 84, 21, 20}, true},
                       {1036, Kind::Picture, "", {18, 120, 21, 20}, true},
                       {1037, Kind::Text, "Select serial port number", {40, 89, 79, 13}, true},
                       {1038, Kind::Text, "Click on start button", {40, 126, 67, 9}, true},
                   });
    EXPECT_EQ(dialog.windowTitle(), "VANTORIUM Program Loader");
    EXPECT_TRUE(control<QPushButton>(&dialog, 1004)->isDefault());
    EXPECT_TRUE(control<QLabel>(&dialog, 1012)->alignment() & Qt::AlignRight);
    auto* bar = control<QProgressBar>(&dialog, 1000);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);

    auto* combo = control<QComboBox>(&dialog, 1002);
    EXPECT_TRUE(combo->isEditable());
    const std::vector<std::string> names = flashup::listPortNames();
    ASSERT_EQ(combo->count(), static_cast<int>(names.size()));
    for (int i = 0; i < combo->count(); ++i) EXPECT_EQ(combo->itemText(i).toStdString(), names[i]);
    EXPECT_EQ(combo->currentText(), "COM1");
    dialog.hide();
}

TEST(DialogTemplates, AboutBox) {
    AboutDialog dialog;
    dialog.show();
    expectTemplate(dialog, 12, QSize(170, 115), 1,
                   {
                       {1022, Kind::Picture, "", {97, 49, 20, 20}, true},
                       {1028, Kind::Text, "Version 3.12", {66, 79, 41, 8}, true},
                       {1, Kind::Button, "X", {158, 2, 9, 9}, true},
                       {0, Kind::Text, "Program Loader for", {31, 66, 64, 9}, true},
                       {1030, Kind::Picture, "", {6, 7, 20, 20}, true},
                       {1034, Kind::Text, "VANTORIUM", {95, 66, 46, 9}, true},
                       {0, Kind::Picture, "", {78, 49, 20, 20}, true},
                       {0, Kind::Picture, "", {59, 49, 20, 20}, true},
                       {1039, Kind::Picture, "", {111, 79, 44, 8}, false},
                   });
    EXPECT_EQ(dialog.windowTitle(), "VANTORIUM Program Loader");
    EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(dialog.palette().color(QPalette::WindowText), QColor(Qt::black));
    // The thin border: black all round the white box.
    const QImage picture = dialog.grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(picture.width() - 1, picture.height() / 2), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(2, picture.height() / 2), QColor(Qt::white));
    dialog.hide();
}

TEST(DialogTemplates, ConfirmationBox) {
    ConfirmDialog dialog;
    dialog.setCompatibility(4, 17);
    dialog.show();
    const QString sentence =
        "You are about to upgrade your VANTORIUM with firmware compatibility 4.17";
    expectTemplate(
        dialog, 10, QSize(274, 161), 0,
        {
            {6, Kind::Button, "YES", {62, 127, 50, 14}, true},
            {7, Kind::Button, "NO", {155, 127, 50, 14}, true},
            {1014, Kind::Picture, "", {7, 7, 20, 20}, true},
            {1027, Kind::Text, sentence, {0, 29, 274, 10}, true},
            {0,
             Kind::Text,
             "ALL DATA WILL BE ERASED, so you should import them to your",
             {41, 49, 191, 8},
             true},
            {0, Kind::Text, "PC before downloading the new firmware !", {40, 59, 125, 8}, true},
            {0, Kind::Text, "DO YOU REALLY WANT TO CONTINUE ?", {61, 85, 144, 23}, true},
        });
    EXPECT_EQ(dialog.windowTitle(), "VANTORIUM Program Loader");
    EXPECT_TRUE(control<QPushButton>(&dialog, 6)->isDefault());
    dialog.hide();
}

TEST(ConfirmDialog, SentenceIsCentredOnOneLineAcrossTheWholeWidth) {
    ConfirmDialog dialog;
    dialog.setCompatibility(0x12, 0x78);
    EXPECT_EQ(dialog.text(),
              "You are about to upgrade your VANTORIUM with firmware compatibility 18.120");
    dialog.show();
    auto* sentence = control<QLabel>(&dialog, 1027);
    EXPECT_EQ(sentence->text(), dialog.text());
    EXPECT_EQ(sentence->x(), 0);
    EXPECT_EQ(sentence->width(), dialog.width());
    EXPECT_TRUE(sentence->alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(sentence->wordWrap());
    EXPECT_LE(sentence->fontMetrics().horizontalAdvance(sentence->text()), sentence->width());
    EXPECT_LE(sentence->fontMetrics().height(), sentence->height());
    dialog.hide();
}

// Only YES accepts; NO, Escape and the close box reject. Enter presses the
// default button, YES.
TEST(ConfirmDialog, OnlyYesAccepts) {
    struct Answer {
        const char* name;
        std::function<void(QWidget*)> give;
        int result;
    };
    const std::vector<Answer> answers = {
        {"YES", [](QWidget* w) { control<QPushButton>(w, 6)->click(); }, QDialog::Accepted},
        {"Enter", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); }, QDialog::Accepted},
        {"NO", [](QWidget* w) { control<QPushButton>(w, 7)->click(); }, QDialog::Rejected},
        {"Escape", [](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); }, QDialog::Rejected},
        {"close box", [](QWidget* w) { w->close(); }, QDialog::Rejected},
    };
    for (const Answer& answer : answers) {
        SCOPED_TRACE(answer.name);
        ConfirmDialog dialog;
        dialog.setCompatibility(2, 3);
        GuiRobot robot([&](QWidget* window) {
            if (window == &dialog && firstTime(window, "answer")) {
                later([&answer, window] { answer.give(window); });
            }
        });
        EXPECT_EQ(dialog.exec(), answer.result);
    }
}

TEST(AboutDialog, SplashHasNoCloseButtonAndEndsItself) {
    AboutDialog dialog;
    dialog.setSplashMode(true);
    std::optional<bool> closeButtonShown;
    GuiRobot robot([&](QWidget* window) {
        if (window == &dialog && !closeButtonShown) {
            closeButtonShown = control<QWidget>(window, 1)->isVisible();
        }
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_GE(clock.elapsed(), AboutDialog::kSplashMilliseconds - 100);
    EXPECT_EQ(closeButtonShown, std::optional<bool>(false));
}

TEST(AboutDialog, EscapeEndsTheSplashEarly) {
    AboutDialog dialog;
    dialog.setSplashMode(true);
    GuiRobot robot([&](QWidget* window) {
        if (window == &dialog && firstTime(window, "escape")) {
            later([window] { QTest::keyClick(window, Qt::Key_Escape); });
        }
    });
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_LT(clock.elapsed(), AboutDialog::kSplashMilliseconds - 300);
}

TEST(AboutDialog, OrdinaryBoxEndsWithEnterAsOk) {
    AboutDialog dialog;
    GuiRobot robot([&](QWidget* window) {
        if (window == &dialog && firstTime(window, "enter")) {
            EXPECT_TRUE(control<QWidget>(window, 1)->isVisible());
            later([window] { QTest::keyClick(window, Qt::Key_Return); });
        }
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
}

}  // namespace
