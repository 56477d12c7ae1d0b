#include "loader/app/pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into the static library; a static library's
// resource object is only linked in when something refers to it.
static void ensurePicturesLinked() {
    static const bool linked = [] {
        Q_INIT_RESOURCE(resources);
        return true;
    }();
    (void)linked;
}

namespace flashup::app {

QPixmap renderPicture(const QString& resource, QSize size, qreal devicePixelRatio) {
    ensurePicturesLinked();
    QSvgRenderer renderer(resource);
    if (!renderer.isValid() || size.isEmpty()) return {};
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}

QIcon applicationIcon() {
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(renderPicture(kPictureApplication, QSize(side, side)));
    }
    return icon;
}

}  // namespace flashup::app
