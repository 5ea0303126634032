#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QMargins>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

// The real program on a real X server with a window manager (Xvfb and
// openbox), driven as an operator drives it: clicks, keys and the close box
// (through the window manager, as wmctrl asks it). Screenshots of the steps
// are kept in the build's artifacts folder.
namespace bolaris::test {

inline bool haveDesktopTools() {
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

    // screen: its width, height and depth.
    bool start(const QString &screen = QStringLiteral("1280x1024x24")) {
        // Xvfb picks a free display and writes its number once it listens.
        m_x.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
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

    // The frame of the window on the screen.
    QRect outer(qulonglong id) const { return client(id).marginsAdded(frame(id)); }
    // The windows the window manager shows, from the bottom of the stack to its top.
    QList<qulonglong> stacking() const {
        QList<qulonglong> ids;
        const QString list = run(QStringLiteral("xprop"), {QStringLiteral("-root"),
                                                            QStringLiteral("_NET_CLIENT_LIST_STACKING")});
        for (const QString &id : list.section(QLatin1Char('#'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts))
            ids << id.trimmed().toULongLong(nullptr, 16);
        return ids;
    }
    // The window with the keyboard.
    qulonglong active() const {
        return run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")})
            .section(QLatin1Char('#'), 1)
            .trimmed()
            .toULongLong(nullptr, 16);
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
        const QString dir = m_artifacts;
        QDir().mkpath(dir);
        if (!QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty())
            run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                           dir + QLatin1Char('/') + name + QStringLiteral(".png")});
    }

    // Where screenshots go.
    void setArtifacts(const QString &dir) { m_artifacts = dir; }

  private:
    QString m_artifacts = QDir::tempPath();
    QProcess m_x;
    QProcess m_wm;
    QString m_display;
};

} // namespace bolaris::test
