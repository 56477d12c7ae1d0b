// The loader's pictures: SVG resources drawn at the size of the control or
// icon that shows them.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace flashup::app {

inline const QString kPictureApplication = QStringLiteral(":/icon129_application.svg");
inline const QString kPictureWarning = QStringLiteral(":/icon132_warning.svg");
inline const QString kPictureComputer = QStringLiteral(":/icon144_computer.svg");
inline const QString kPictureTransfer = QStringLiteral(":/icon154_transfer.svg");
inline const QString kPictureStartHint = QStringLiteral(":/icon159_start_hint.svg");
inline const QString kPicturePortHint = QStringLiteral(":/icon160_port_hint.svg");
inline const QString kPictureLogo = QStringLiteral(":/bitmap151_logo.svg");
inline const QString kPictureVersion = QStringLiteral(":/bitmap161_version.svg");

// The picture fitted into `size` (aspect ratio kept, centred, transparent
// elsewhere); a null pixmap when the resource cannot be drawn.
QPixmap renderPicture(const QString& resource, QSize size, qreal devicePixelRatio = 1.0);

// The application icon in the sizes window managers ask for.
QIcon applicationIcon();

}  // namespace flashup::app
