#include "picture.h"

#include <QImageReader>
#include <QPainter>

// Naming the format spares the reader from asking every image plugin.
Picture::Picture(const QString &file, QWidget *parent)
    : QWidget(parent), decoding_(std::async(std::launch::async,
                                            [file] { return QImageReader(file, "jpg").read(); })) {}

void Picture::paintEvent(QPaintEvent * /*event*/) {
    if (decoding_.valid())
        picture_ = decoding_.get();
    QPainter(this).drawImage(rect(), picture_);
}
