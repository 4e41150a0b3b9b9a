// The image control: one picture, stretched over the control's own
// rectangle. The stretch happens as it is drawn, without smoothing, as the
// home platform stretches it: only the parts a paint exposes are scaled, and
// no stretched copy is kept beside the picture. The picture is decoded on a
// thread of its own while the window builds its controls, and is waited for
// only when it is first painted.
#pragma once

#include <QImage>
#include <QWidget>

#include <future>

class Picture final : public QWidget {
public:
    Picture(const QString &file, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::future<QImage> decoding_;
    QImage picture_;
};
