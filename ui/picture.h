// The image control: one picture, stretched over the control's own
// rectangle. The stretch happens as it is drawn, without smoothing, as the
// home platform stretches it: only the parts a paint exposes are scaled, and
// no stretched copy is kept beside the picture.
#pragma once

#include <QImage>
#include <QWidget>

class Picture final : public QWidget {
public:
    Picture(const QString &file, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage picture_;
};
