// The yardstick: a bare window of the calculator's size showing one line of
// text in the calculator's face, so that it pays for the font database too.
#include "firstframe.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QWidget window;
    window.setFixedSize(565, 391);
    window.setWindowTitle(QStringLiteral("Zelvar 1.9 Bitrate Calculator V1.3"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    QLabel line(QStringLiteral("zv_councilAllowedCMD 536870910"), &window);
    line.setFont(font);
    line.setGeometry(232, 352, 217, 25);
    FirstFrame frame(&window);
    window.show();
    return QApplication::exec();
}
