// bolaris-cli: the program's card store, datasets and registry from a shell.
#include "CliCommands.h"

#include "report/Fonts.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    // Fonts for PDF sheets need a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    bolaris::installFontSubstitutes();
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    return bolaris::cli::run(app.arguments().mid(1), {out, err, &in});
}
