#include "flows.h"
#include "form1.h"
#include "version.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace {

// Help and the version are text: they need no window, and so no display.
// Whether an option before the first argument is one of `texts`.
bool asks(int argc, char *argv[], std::initializer_list<std::string_view> texts) {
    for (int i = 1; i < argc && argv[i][0] == '-'; ++i)
        for (std::string_view text : texts)
            if (argv[i] == text)
                return true;
    return false;
}

}  // namespace

int main(int argc, char *argv[]) {
    if (asks(argc, argv, {"-h", "-?", "--help"})) {  // the same text as the Win32 window's
        std::fputs(zelvar::app::windowHelp().c_str(), stdout);
        return 0;
    }
    const std::unique_ptr<QCoreApplication> app =
        asks(argc, argv, {"--help-all", "-v", "--version"})
            ? std::make_unique<QCoreApplication>(argc, argv)
            : std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zelvar-bitrate"));
    QApplication::setApplicationVersion(
        QString::fromLatin1(zelvar::kVersion.data(), qsizetype(zelvar::kVersion.size())));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QString::fromLatin1(zelvar::kOpeningHelp.data(), qsizetype(zelvar::kOpeningHelp.size())));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("what"),
        QStringLiteral(
            "A configuration file, a line 'VARIABLE VALUE', or a variable and its value."),
        QStringLiteral("[FILE | LINE | VARIABLE VALUE]..."));
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Opens the settings of a running server, by its name in the servers file "
                       "or its address; the save key sends changes there."),
        QStringLiteral("NAME|HOST[:PORT]"));
    parser.addOption(server);
    // A value such as -5 is a value, not an option.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    parser.process(*app);
    Form1 form;
    form.openArguments(parser.positionalArguments());
    if (parser.isSet(server))
        form.openServer(parser.value(server));
    form.show();
    return QApplication::exec();
}
