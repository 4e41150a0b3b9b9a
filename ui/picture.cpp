#include "picture.h"

#include <QImageReader>
#include <QPainter>

// Naming the format spares the reader from asking every image plugin.
Picture::Picture(const QString &file, QWidget *parent)
    : QWidget(parent), picture_(QImageReader(file, "jpg").read()) {}

void Picture::paintEvent(QPaintEvent * /*event*/) { QPainter(this).drawImage(rect(), picture_); }
