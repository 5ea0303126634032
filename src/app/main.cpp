#include "ui/Messages.h"
#include "QtTranslations.h"
#include "SingleInstance.h"
#include "report/Fonts.h"
#include "UnitMenu.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bolaris::SingleInstance instance;
    if (!instance.tryLock())
        return 0; // another instance runs for this user: end silently
    QApplication::setApplicationName(QStringLiteral("Bolaris"));
    bolaris::installQtTranslations(app);
    bolaris::installFontSubstitutes();

    bolaris::MessageBoxPrompter prompter;
    bolaris::TFormMenu menu(QDir::currentPath(), prompter);
    QObject::connect(&menu, &bolaris::TFormMenu::closed, &app, &QApplication::quit);
    menu.show();
    return QApplication::exec();
}
