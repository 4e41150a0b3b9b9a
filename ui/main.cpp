#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-bitrate"));
    QApplication::setApplicationVersion(QStringLiteral("1.03"));
    Form1 form;
    form.show();
    return QApplication::exec();
}
