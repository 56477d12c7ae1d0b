#include "loader/app/loader_app.h"

#include <QGuiApplication>
#include <QString>
#include <filesystem>

#include "loader/app/about_dialog.h"
#include "loader/app/confirm_dialog.h"
#include "loader/app/main_dialog.h"
#include "loader/app/message_boxes.h"
#include "loader/engine/converter_runner.h"

namespace flashup::app {

namespace {

constexpr const char* kFirmwareFileName = "fw417.out";
constexpr const char* kProgramName = "FlashupVantorium";

bool presentInWorkingDirectory(const char* name) {
    std::error_code error;
    return std::filesystem::exists(name, error);
}

QString missingFileText(const char* name) {
    return QStringLiteral(
               "Required file %1 not found !\nPlease copy it in the same directory "
               "than %2")
        .arg(QString::fromLatin1(name), QString::fromLatin1(kProgramName));
}

}  // namespace

bool LoaderApp::startUp() {
    // The dialogs come and go one after the other; closing one of them is
    // not the end of the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // Declared first so that it goes last: its Downloader deletes the
    // temporary image files on every way out. Building it runs the
    // converter, before any window shows.
    MainDialog mainDialog;
    ConfirmDialog confirmDialog;

    AboutDialog splash;
    splash.setSplashMode(true);
    splash.exec();

    for (const char* required : {kFirmwareFileName, converterFileName()}) {
        if (!presentInWorkingDirectory(required)) {
            showError(nullptr, missingFileText(required));
            return false;
        }
    }

    confirmDialog.setCompatibility(mainDialog.compatibilityMajor(),
                                   mainDialog.compatibilityMinor());
    if (confirmDialog.exec() == QDialog::Accepted) mainDialog.exec();
    return false;
}

}  // namespace flashup::app
