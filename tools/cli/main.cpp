// bolaris-cli: the program's card store, datasets and registry from a shell.
#include "CliCommands.h"

#include "report/Fonts.h"

#include <QGuiApplication>

#include <cstring>
#include <memory>

int main(int argc, char *argv[])
{
    // Only the commands that paint (PDF sheets and minutes, ball pictures)
    // need fonts and so a GUI application, never a display; the others start
    // without loading a platform.
    const bool paints = argc > 1 && (std::strcmp(argv[1], "issue-pdf") == 0 || std::strcmp(argv[1], "ata") == 0 ||
                                     std::strcmp(argv[1], "make-media") == 0);
    std::unique_ptr<QCoreApplication> app;
    if (paints) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
        bolaris::installFontSubstitutes();
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    return bolaris::cli::run(QCoreApplication::arguments().mid(1), {out, err, &in});
}
