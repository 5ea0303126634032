// Plays a manual draw of five balls, with a line won at the fifth, through the
// real Draw panel in the folder argv[1], then dies by SIGKILL in the middle of it.
#include "DrawFixture.h"
#include "validation/ValidationRegistry.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    {
        bolaris::test::ScriptedPrompter yes;
        yes.answers = {true};
        bolaris::ValidationRegistry registry(dir);
        registry.lock();
        registry.open();
        registry.SaiEnter(QStringLiteral("A"), QStringLiteral("2"), yes);
        registry.close();
    }
    bolaris::test::DrawFixture f([](const QString &) {});
    // The fixture's own folder is not used: the window works in dir.
    f.window = std::make_unique<bolaris::TFormMenu>(dir, f.prompter);
    f.panel = f.window->findChild<bolaris::DrawPanel *>(QStringLiteral("PanelSorteio"));
    f.panel->setSoundPlayer(f.sound);
    f.panel->setTimeScale(0);
    f.window->show();
    f.window->FormActivate();
    f.enter();
    f.click(QStringLiteral("CheckLinha"));
    f.startManual();
    // Row 1 of ticket 7. A ball event waits for its log only up to a short
    // budget, which a loaded machine can overrun: the four first events are
    // let through, as a sound disk does, and the last one is in progress
    // when the process dies.
    for (int ball : {1, 21, 32, 51}) {
        f.clickBall(ball);
        f.panel->drainLog();
    }
    f.clickBall(72);
    ::raise(SIGKILL);
    return 1;
}
