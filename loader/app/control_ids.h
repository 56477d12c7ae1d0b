// The numeric ids of the dialogs' controls. Each control carries its id in
// its object name ("control1004"), so that tools and tests find it.
#pragma once

#include <QString>

namespace flashup::app {

// Shared by the main window and the About box: the application icon.
inline constexpr int kIdAppIcon = 1022;

// Main window.
inline constexpr int kIdStartButton = 1004;
inline constexpr int kIdProgressBar = 1000;
inline constexpr int kIdPercentText = 1012;
inline constexpr int kIdPortCombo = 1002;
inline constexpr int kIdComputerIcon = 1021;
inline constexpr int kIdTransferIconLeft = 1023;
inline constexpr int kIdTransferIconRight = 1024;
inline constexpr int kIdPortHintIcon = 1035;
inline constexpr int kIdStartHintIcon = 1036;
inline constexpr int kIdPortHintText = 1037;
inline constexpr int kIdStartHintText = 1038;

// About box.
inline constexpr int kIdOk = 1;
inline constexpr int kIdVersionText = 1028;
inline constexpr int kIdLogoBitmap = 1030;
inline constexpr int kIdDeviceName = 1034;
inline constexpr int kIdVersionBitmap = 1039;

// Confirmation box.
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;
inline constexpr int kIdWarningIcon = 1014;
inline constexpr int kIdCompatibilityText = 1027;

inline QString controlName(int id) { return QStringLiteral("control%1").arg(id); }

// Title of every window and message box of the loader.
inline constexpr const char* kLoaderTitle = "VANTORIUM Program Loader";

}  // namespace flashup::app
