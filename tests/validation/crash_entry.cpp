// Makes one card entry and one returned-ticket entry through the real panel of
// the main window in the folder argv[1], then dies by SIGKILL without closing.
#include "TestSupport.h"
#include "app/UnitMenu.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    bolaris::test::ScriptedPrompter prompter;
    bolaris::TFormMenu window(QString::fromLocal8Bit(argv[1]), prompter);
    window.show();
    window.menuBar()->findChild<QAction *>(QStringLiteral("MenuValidacao"))->trigger();
    auto *serie = window.findChild<QLineEdit *>(QStringLiteral("EditSer"));
    auto *card = window.findChild<QLineEdit *>(QStringLiteral("EditVal"));
    auto *ticket = window.findChild<QLineEdit *>(QStringLiteral("EditValC"));
    QTest::keyClicks(serie, QStringLiteral("B"));
    QTest::keyClicks(card, QStringLiteral("30-47"));
    QTest::keyClick(card, Qt::Key_Return);
    QTest::keyClicks(ticket, QStringLiteral("181"));
    QTest::keyClick(ticket, Qt::Key_Return);
    ::raise(SIGKILL);
    return 1;
}
