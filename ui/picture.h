// The image control: one picture, stretched over the control's own
// rectangle. It is decoded and stretched once for each size rather than on
// every paint, without smoothing, as the home platform stretches it; only the
// stretched copy is kept.
#pragma once

#include <QImage>
#include <QWidget>

class Picture final : public QWidget {
public:
    Picture(QString file, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString file_;
    QImage stretched_;
};
