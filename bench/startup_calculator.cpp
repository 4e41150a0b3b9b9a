// The calculator as main.cpp starts it, opening what its arguments name, and
// reporting its first frame.
#include "firstframe.h"
#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    Form1 form;
    form.openArguments(QApplication::arguments().mid(1));
    FirstFrame frame(&form);
    form.show();
    return QApplication::exec();
}
