#include <QDir>
#include <QElapsedTimer>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The real program on a real X server with a window manager (Xvfb and
// openbox), driven as an operator drives it: clicks, keys and the close box
// (through the window manager, as wmctrl asks it). Screenshots of the steps
// are kept in the build's artifacts folder.
namespace {

bool haveTools() {
    for (const char *tool : {"Xvfb", "openbox", "xdotool", "wmctrl", "xwininfo", "xprop"})
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            return false;
    return true;
}

// One X server with its window manager for the whole test.
class Desktop {
  public:
    ~Desktop() {
        for (QProcess *p : {&m_wm, &m_x}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished(1000);
        }
    }

    bool start() {
        // Xvfb picks a free display and writes its number once it listens.
        m_x.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains('\n') && t.elapsed() < 10000 && m_x.state() != QProcess::NotRunning) {
            m_x.waitForReadyRead(200);
            out += m_x.readAllStandardOutput();
        }
        if (!out.contains('\n'))
            return false;
        m_display = QLatin1Char(':') + QString::fromLatin1(out.trimmed());
        m_wm.setProcessEnvironment(environment());
        m_wm.start(QStringLiteral("openbox"), {});
        while (t.elapsed() < 20000) {
            if (run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}).contains(QLatin1String("Openbox")))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

    QString run(const QString &program, const QStringList &args) const {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The first window whose title matches, waited for; 0 when none came.
    qulonglong window(const QString &title, int timeoutMs = 15000) const {
        QElapsedTimer t;
        t.start();
        do {
            const QStringList ids =
                run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), title})
                    .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!ids.isEmpty())
                return ids.first().toULongLong();
            QTest::qWait(100);
        } while (t.elapsed() < timeoutMs);
        return 0;
    }

    // The window's client area on the screen.
    QRect client(qulonglong id) const {
        const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(id)});
        auto number = [&](const char *label) {
            const QRegularExpression re(QLatin1String(label) + QStringLiteral(":\\s*(-?\\d+)"));
            return re.match(info).captured(1).toInt();
        };
        return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                number("Height")};
    }

    // The window manager's frame around the client area: left, top, right, bottom.
    QMargins frame(qulonglong id) const {
        const QString prop = run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(id),
                                                           QStringLiteral("_NET_FRAME_EXTENTS")});
        const QStringList v = prop.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (v.size() != 4)
            return {};
        return {v[0].trimmed().toInt(), v[2].trimmed().toInt(), v[1].trimmed().toInt(),
                v[3].trimmed().toInt()};
    }

    // Where the top-left corner of the window's frame is on the screen.
    QPoint frameCorner(qulonglong id) const {
        const QMargins m = frame(id);
        return client(id).topLeft() - QPoint(m.left(), m.top());
    }

    // A click at a point of the window's client area.
    void click(qulonglong id, int x, int y) const {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(id), QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
        QTest::qWait(150);
    }
    void type(const QString &text) const {
        run(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
    }
    void key(const QString &keys) const { run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}); }
    // As the window's close box does.
    void close(qulonglong id) const {
        run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), QString::number(id)});
    }

    void screenshot(const QString &name) const {
        const QString dir = QStringLiteral(BOLARIS_ARTIFACTS "/desktop");
        QDir().mkpath(dir);
        if (!QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
            run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                           dir + QLatin1Char('/') + name + QStringLiteral(".png")});
    }

  private:
    QProcess m_x;
    QProcess m_wm;
    QString m_display;
};

const QString kMainTitle = QStringLiteral("^Bolaris 90/15 $");
const QString kPreviewTitle = QStringLiteral("^Visualiza");

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT
  private:
    std::unique_ptr<Desktop> m_desktop;
    QTemporaryDir m_runtime;

    std::unique_ptr<QProcess> startProgram(const QString &workDir) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = m_desktop->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(workDir);
        p->start(QStringLiteral(BOLARIS_APP), {});
        return p;
    }

    // Issues cards from the Issue panel of the main window: series, range and
    // the print model's place in the panel, then "Emite".
    void issue(qulonglong main, const QString &first, const QString &last, int modelTop) {
        const QRect client = m_desktop->client(main);
        const int menu = client.height() - 551; // the menu bar above the 810 x 551 client area
        const QPoint panel(89, 46 + menu);
        m_desktop->click(main, 40, menu / 2);                     // "Emissão de cartelas"
        m_desktop->click(main, panel.x() + 151, panel.y() + 262); // series box
        m_desktop->type(QStringLiteral("A"));
        m_desktop->click(main, panel.x() + 161, panel.y() + 289); // first card
        m_desktop->type(first);
        m_desktop->click(main, panel.x() + 161, panel.y() + 317); // last card
        m_desktop->type(last);
        m_desktop->click(main, panel.x() + 350, panel.y() + modelTop + 8);
        m_desktop->click(main, panel.x() + 227, panel.y() + 384); // "Emite"
    }

  private Q_SLOTS:
    void initTestCase() {
        if (!haveTools())
            QSKIP("needs Xvfb, openbox, xdotool, wmctrl, xwininfo and xprop (scripts/deps.sh installs them)");
        m_desktop = std::make_unique<Desktop>();
        if (!m_desktop->start())
            QSKIP("no X server with a window manager could be started here");
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // The main window and the preview have their title bars on the screen:
    // their frames, not their client areas, are at the top-left corner.
    void windowsAtTheTopLeftCorner() {
        QTemporaryDir work;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->frameCorner(main), QPoint(0, 0), 5000);
        QCOMPARE(m_desktop->client(main).width(), 810);
        QVERIFY(m_desktop->frame(main).top() > 0); // a title bar above the client area

        issue(main, QStringLiteral("1"), QStringLiteral("3"), 299); // "1/3 por folha com grade"
        const qulonglong preview = m_desktop->window(kPreviewTitle);
        QVERIFY(preview);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->frameCorner(preview), QPoint(0, 0), 5000);
        m_desktop->screenshot(QStringLiteral("preview"));

        m_desktop->close(main);
        QVERIFY(program->waitForFinished(15000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
    }

    // Closing the main window while the preview saves a PDF stops the save
    // (no file is left), closes the preview and ends the program, whose next
    // start then runs.
    void closingDuringASaveEndsTheProgram() {
        QTemporaryDir work, out;
        auto program = startProgram(work.path());
        const qulonglong main = m_desktop->window(kMainTitle);
        QVERIFY(main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(main).isNull(), 10000);
        issue(main, QStringLiteral("1"), QStringLiteral("2000"), 299); // 6,000 pages
        const qulonglong preview = m_desktop->window(kPreviewTitle);
        QVERIFY(preview);
        QTest::qWait(500);
        m_desktop->key(QStringLiteral("ctrl+s")); // "Salvar"
        QVERIFY(m_desktop->window(QStringLiteral("^Salvar$")));
        QTest::qWait(300);
        m_desktop->key(QStringLiteral("ctrl+a"));
        m_desktop->type(QDir(out.path()).filePath(QStringLiteral("cartelas.pdf")));
        m_desktop->screenshot(QStringLiteral("save-dialog"));
        m_desktop->key(QStringLiteral("Return"));
        // The save writes beside the file until it is complete.
        QTRY_VERIFY_WITH_TIMEOUT(
            !QDir(out.path())
                 .entryList({QStringLiteral(".cartelas.pdf*")}, QDir::Files | QDir::Hidden)
                 .isEmpty(),
            5000);
        m_desktop->screenshot(QStringLiteral("saving"));
        m_desktop->close(main);
        QVERIFY2(program->waitForFinished(20000), "the program is still running after its window was closed");
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(m_desktop->window(kPreviewTitle, 500), 0ULL);

        auto next = startProgram(work.path());
        const qulonglong again = m_desktop->window(kMainTitle);
        QVERIFY2(again, "the next start showed no window");
        m_desktop->screenshot(QStringLiteral("next-start"));
        m_desktop->close(again);
        QVERIFY(next->waitForFinished(15000));
        QCOMPARE(next->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDesktop)
#include "tst_desktop.moc"
