#include "ui/EnterKeys.h"
#include "ui/Messages.h"
#include "QtTranslations.h"
#include "CloseBox.h"
#include "SingleInstance.h"
#include "UserFolder.h"
#include "report/Fonts.h"
#include "UnitMenu.h"
#include "GuardedApplication.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The menu belongs to the window, as the panels' places assume, even on
    // desktops that would take it to a menu bar of their own; asking the
    // desktop for one costs the start several milliseconds.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    bolaris::GuardedApplication app(argc, argv);
    // Without arguments the current folder is the working folder (scripts/run.sh
    // starts the program in it). The desktop entry passes --user-folder: a
    // folder in the user's data folder, filled from the installed data.
    const QStringList args = QApplication::arguments().mid(1);
    const bool userFolder = args == QStringList{QStringLiteral("--user-folder")};
    if (!args.isEmpty() && !userFolder) {
        std::fputs("usage: bolaris [--user-folder]\n", stderr);
        return 2;
    }
    bolaris::SingleInstance instance;
    if (!instance.tryLock()) {
        // Another instance runs for this user: its window comes to the
        // front, and this start ends silently.
        instance.showRunning();
        return 0;
    }
    QApplication::setApplicationName(QStringLiteral("Bolaris"));
    QGuiApplication::setDesktopFileName(QStringLiteral("bolaris"));
    bolaris::installQtTranslations(app);
    bolaris::installFontSubstitutes();
    bolaris::EnterKeys enterKeys;
    app.installEventFilter(&enterKeys);

    bolaris::MessageBoxPrompter prompter;
    app.setPrompter(&prompter);
    QString workDir = QDir::currentPath();
    if (userFolder) {
        workDir = bolaris::UserFolder::defaultPath();
        const QString installed =
            QDir(QApplication::applicationDirPath()).filePath(QStringLiteral(BOLARIS_DATA_FROM_BINARY));
        const bolaris::UserFolder::Result prepared = bolaris::UserFolder::prepare(workDir, installed);
        if (const QString problem = prepared.message(workDir); !problem.isEmpty())
            prompter.error(problem);
        if (prepared.folderError)
            return 1;
        QDir::setCurrent(workDir); // file dialogs open where the data is, as with scripts/run.sh
    }
    // The window shows as soon as its menu and background are made; the
    // rest follows its first paint, before any input is handled.
    bolaris::TFormMenu menu(workDir, prompter, nullptr, bolaris::TFormMenu::Start::AfterFirstPaint);
    // The icon theme is searched then too: the windows take the icon when it is set.
    QObject::connect(&menu, &bolaris::TFormMenu::started,
                     [] { QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("bolaris"))); });
    QObject::connect(&menu, &bolaris::TFormMenu::closed, &app, &QApplication::quit);
    bolaris::CloseBox closeBox(&menu);
    app.installNativeEventFilter(&closeBox);
    menu.show();
    QObject::connect(&instance, &bolaris::SingleInstance::showRequested, &menu, [&menu] {
        menu.setWindowState(menu.windowState() & ~Qt::WindowMinimized);
        menu.show();
        menu.raise();
        menu.activateWindow();
    });
    return QApplication::exec();
}
