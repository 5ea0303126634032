#include "Desktop.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace bolaris::test;

// The real program on a real X server serves the draw, and a real browser
// (headless Chromium) shows it: the balls drawn on the board are lit on the
// page. Screenshots of the phone and TV layouts are kept in the artifacts.
namespace {

const QString kMainTitle = QStringLiteral("^Bolaris 90/15 $");
constexpr int kDrawLeft = 8, kDrawTop = 5; // the Draw panel in the main window's client area
constexpr int kColumnLefts[10] = {6, 73, 139, 205, 271, 337, 403, 469, 535, 601};
constexpr int kRowTops[9] = {6, 49, 92, 135, 178, 221, 264, 307, 351};

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) ? probe.serverPort() : 0;
}

QByteArray get(quint16 port, const QByteArray &path)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(1000))
        return {};
    socket.write("GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray answer;
    while (socket.waitForReadyRead(300))
        answer += socket.readAll();
    return answer;
}

} // namespace

class TestBrowser : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<Desktop> m_desktop;
    QTemporaryDir m_runtime;
    QString m_chromium;
    qulonglong m_main = 0;
    int m_menu = 0;

    void click(int x, int y) { m_desktop->click(m_main, kDrawLeft + x, m_menu + kDrawTop + y); }

    // Chromium with a fresh profile and nothing of its own on the network.
    QByteArray chromium(const QStringList &args, const QString &url)
    {
        QTemporaryDir profile;
        QProcess p;
        p.setProcessEnvironment(m_desktop->environment());
        p.start(m_chromium, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                        QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
                                        QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                                        QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                                        QStringLiteral("--hide-scrollbars"),
                                        QStringLiteral("--user-data-dir=") + profile.path()}
                                + args + QStringList{url});
        if (!p.waitForFinished(60000))
            p.kill();
        return p.readAllStandardOutput();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (m_chromium.isEmpty())
            QSKIP("needs chromium (installed by scripts/deps.sh)");
        if (!haveDesktopTools())
            QSKIP("needs Xvfb, openbox, xdotool, wmctrl, xwininfo and xprop (scripts/deps.sh installs them)");
        m_desktop = std::make_unique<Desktop>();
        m_desktop->setArtifacts(QStringLiteral(BOLARIS_ARTIFACTS "/web"));
        if (!m_desktop->start())
            QSKIP("no X server with a window manager could be started here");
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void browserSeesTheDraw()
    {
        QTemporaryDir work;
        const quint16 port = freePort();
        QVERIFY(port);
        QProcess program;
        QProcessEnvironment env = m_desktop->environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("BOLARIS_WEB_PORT"), QString::number(port));
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(work.path());
        program.start(QStringLiteral(BOLARIS_APP), {});
        m_main = m_desktop->window(kMainTitle);
        QVERIFY(m_main);
        QTRY_VERIFY_WITH_TIMEOUT(!m_desktop->frame(m_main).isNull(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(m_desktop->client(m_main).width(), 810, 5000);
        m_menu = m_desktop->client(m_main).height() - 551;

        m_desktop->click(m_main, 370, m_menu / 2); // "Sorteio"
        QVERIFY(get(port, "/estado").isEmpty()); // nothing served before the box is ticked
        click(681 + 6, 231 + 8);                  // "Celulares"
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/estado").startsWith("HTTP/1.1 200"), 5000);
        click(680 + 7 + 48, 6 + 43 + 13); // "Sorteio manual"
        const QList<int> drawn{7, 45, 90, 12};
        for (int ball : drawn)
            click(5 + kColumnLefts[(ball - 1) % 10] + 32, 3 + kRowTops[(ball - 1) / 10] + 20);
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/estado").contains("\"pedras\":[7,45,90,12]"), 5000);
        m_desktop->screenshot(QStringLiteral("01-draw-panel"));
        click(681 + 6, 208 + 8); // "Telão": the address and its QR code on the players' display
        QTest::qWait(1500);
        m_desktop->screenshot(QStringLiteral("02-players-display"));

        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(port);
        const QString dom = QString::fromUtf8(
            chromium({QStringLiteral("--dump-dom"), QStringLiteral("--virtual-time-budget=3000")}, url));
        QVERIFY2(dom.contains(QLatin1String("data-ball=\"90\"")), qPrintable(dom.left(500)));
        const QRegularExpression ball(QStringLiteral("<div class=\"([^\"]*)\" data-ball=\"(\\d+)\">"));
        QSet<int> lit;
        int seen = 0;
        for (const QRegularExpressionMatch &m : ball.globalMatch(dom)) {
            ++seen;
            if (m.captured(1).split(QLatin1Char(' ')).contains(QLatin1String("sorteada")))
                lit.insert(m.captured(2).toInt());
        }
        QCOMPARE(seen, 90);
        QCOMPARE(lit, QSet<int>(drawn.begin(), drawn.end()));
        QVERIFY(dom.contains(QLatin1String("id=\"ultima\"")));
        QVERIFY2(dom.contains(QStringLiteral("<h1 id=\"ultimaTitulo\">ÚLTIMA PEDRA</h1>")), qPrintable(dom.mid(dom.indexOf("<aside"), 300)));

        // Ball 12 taken back: the page says so, never showing it as the last ball drawn.
        click(5 + kColumnLefts[1] + 32, 3 + kRowTops[1] + 20);
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/estado").contains("\"ultimaRetirada\":true"), 5000);
        QVERIFY(get(port, "/estado").contains("\"sorteio\":1,")); // the draw log's number
        const QString after = QString::fromUtf8(
            chromium({QStringLiteral("--dump-dom"), QStringLiteral("--virtual-time-budget=3000")}, url));
        QVERIFY2(after.contains(QStringLiteral("<h1 id=\"ultimaTitulo\">PEDRA RETIRADA</h1>")), qPrintable(after.mid(after.indexOf("<aside"), 300)));
        click(5 + kColumnLefts[1] + 32, 3 + kRowTops[1] + 20); // drawn again
        QTRY_VERIFY_WITH_TIMEOUT(get(port, "/estado").contains("\"pedras\":[7,45,90,12]"), 5000);

        // The phone and TV layouts, and a player's card.
        const QString dir = QStringLiteral(BOLARIS_ARTIFACTS "/web");
        for (const auto &[name, size, path] :
             {std::tuple{"phone", "390,844", ""}, std::tuple{"tv", "1920,1080", ""},
              std::tuple{"card-phone", "390,844", "cartela?serie=A&numero=12"}}) {
            const QString file = QStringLiteral("%1/page-%2.png").arg(dir, QLatin1String(name));
            QFile::remove(file);
            chromium({QStringLiteral("--screenshot=") + file, QStringLiteral("--window-size=") + QLatin1String(size),
                      QStringLiteral("--virtual-time-budget=3000")},
                     url + QLatin1String(path));
            QVERIFY2(QFileInfo(file).size() > 0, qPrintable(file));
        }

        m_desktop->close(m_main);
        QVERIFY(program.waitForFinished(15000));
        QVERIFY(get(port, "/estado").isEmpty()); // closing the program stops serving
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
