#pragma once

#include "TestSupport.h"
#include "app/UnitMenu.h"
#include "game/BallSource.h"
#include "draw/DrawPanel.h"
#include "draw/MediaInstaller.h"
#include "ui/SoundPlayer.h"
#include "validation/ValidationRegistry.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTest>

#include <functional>

namespace bolaris::test {


class RecordingSound : public SoundPlayer {
public:
    QStringList played;
    void play(const QString &path) override { played << QFileInfo(path).fileName(); }
};

class RecordingInstaller : public MediaInstaller {
public:
    QList<int> installs;
    void install(const QString &, int parts) override { installs << parts; }
};

void writePicture(const QString &dir, int ball)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    image.save(QDir(dir).filePath(QStringLiteral("imbl%1.jpg").arg(ball)), "JPG");
}

// Cards sold and ticket 8 (of card A-2) returned, in the folder of a fresh hall.
// Cards of series A sold and tickets returned in the folder of a fresh hall.
inline void sell(const QString &dir, const QString &cards, const QList<int> &returned = {})
{
    ScriptedPrompter yes;
    ValidationRegistry registry(dir);
    registry.lock();
    registry.open();
    yes.answers = {true};
    registry.SaiEnter(QStringLiteral("A"), cards, yes);
    for (int ticket : returned) {
        yes.answers = {true};
        registry.SaiEnterC(QStringLiteral("A"), QString::number(ticket), yes);
    }
    registry.close();
}

// Cards sold, ticket 8 returned.
inline void sellTwoCards(const QString &dir) { sell(dir, QStringLiteral("1-2"), {8}); }
// Card A-2 sold.
inline void sellCardTwo(const QString &dir) { sell(dir, QStringLiteral("2")); }

// The main window with its Draw panel entered and every seam replaced.
struct DrawFixture {
    QTemporaryDir dir;
    test::ScriptedPrompter prompter;
    RecordingSound sound;
    RecordingInstaller installer;
    ScriptedBallSource source;
    std::unique_ptr<TFormMenu> window;
    DrawPanel *panel = nullptr;
    qint64 now = 0; // the panel's clock, in milliseconds

    // prepare fills the working folder before the window opens it.
    explicit DrawFixture(const std::function<void(const QString &)> &prepare = {})
    {
        if (prepare)
            prepare(dir.path());
        window = std::make_unique<TFormMenu>(dir.path(), prompter);
        panel = window->findChild<DrawPanel *>(QStringLiteral("PanelSorteio"));
        panel->setSoundPlayer(sound);
        panel->setMediaInstaller(installer);
        panel->setBallSource(source);
        panel->setTimeScale(0);
        panel->setClock([this] { return now; });
        window->show();
        window->FormActivate(); // the card store, as at the window's activation
    }
    template <typename T = QWidget> T *get(const QString &name) const { return window->findChild<T *>(name); }
    QString text(const QString &name) const
    {
        if (auto *label = get<QLabel>(name))
            return label->text();
        return get<QPlainTextEdit>(name)->toPlainText();
    }
    void menu(const char *name) { window->menuBar()->findChild<QAction *>(QString::fromLatin1(name))->trigger(); }
    void click(const QString &name)
    {
        QWidget *w = get(name);
        // A check box takes clicks on its box and caption only.
        const QPoint at = qobject_cast<QCheckBox *>(w) ? QPoint(6, w->height() / 2) : w->rect().center();
        QTest::mouseClick(w, Qt::LeftButton, {}, at);
    }
    void enter() { menu("MenuSorteio"); }
    void startElectronic() { click(QStringLiteral("ButtonEletronico")); }
    void startManual() { click(QStringLiteral("ButtonManual")); }
    // Draws a ball electronically: the value that picks it from the undrawn balls.
    void drawBall(int ball)
    {
        int value = 0;
        for (int n = 1; n < ball; ++n)
            value += !panel->state().drawn(n);
        source.push(value);
        click(QStringLiteral("ButtonAlea"));
    }
    // A click a second after the one before: never half of a double click.
    void clickBall(int ball)
    {
        now += 1000;
        click(QStringLiteral("P%1").arg(ball));
    }
    QColor ballColour(int ball) const
    {
        return get(QStringLiteral("P%1").arg(ball))->palette().color(QPalette::WindowText);
    }
    bool shown(const QString &name) const { return get(name)->isVisible(); }
};

} // namespace bolaris::test
