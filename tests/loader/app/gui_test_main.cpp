// Widgets need a QApplication before any test; without a display the tests
// run on the offscreen platform (also when the test list is discovered).
#include <gtest/gtest.h>

#include <QApplication>

namespace {

QtMessageHandler standardHandler = nullptr;

// The offscreen platform says so whenever a window asks for something only a
// window manager does; nothing a test cares about.
void filterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    standardHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
    standardHandler = qInstallMessageHandler(filterMessages);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
