#include "picture.h"

#include <QImageReader>
#include <QPainter>

// Naming the format spares the reader from sniffing the file; it still asks
// each image plugin in turn whether it reads "jpg".
Picture::Picture(const QString &file, QWidget *parent)
    : QWidget(parent), decoding_(std::async(std::launch::async,
                                            [file] { return QImageReader(file, "jpg").read(); })) {}

void Picture::paintEvent(QPaintEvent * /*event*/) {
    if (decoding_.valid())
        picture_ = decoding_.get();
    QPainter(this).drawImage(rect(), picture_);
}
