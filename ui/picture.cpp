#include "picture.h"

#include <QImageReader>
#include <QPainter>

#include <utility>

Picture::Picture(QString file, QWidget *parent) : QWidget(parent), file_(std::move(file)) {}

void Picture::paintEvent(QPaintEvent * /*event*/) {
    const qreal ratio = devicePixelRatioF();
    const QSize device = (QSizeF(size()) * ratio).toSize();
    if (stretched_.size() != device) {
        // Naming the format spares the reader from asking every image plugin.
        stretched_ = QImageReader(file_, "jpg")
                         .read()
                         .scaled(device, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        stretched_.setDevicePixelRatio(ratio);
    }
    QPainter(this).drawImage(0, 0, stretched_);
}
