// Builds the Debian package from this build, unpacks it into a scratch root
// (dpkg-deb -x, as dpkg would lay it out) and starts what it installed there,
// as the desktop entry starts it, for a user whose home is a scratch folder.
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QImage>
#include <QSettings>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <memory>

using bolaris::test::readBytes;
using bolaris::test::Run;
using bolaris::test::writeBytes;

namespace {

// name -> size, time and content of every file in dir, hidden ones too.
QMap<QString, QString> snapshot(const QString &dir)
{
    QMap<QString, QString> files;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
        files.insert(
            info.fileName(),
            QStringLiteral("%1 %2 %3")
                .arg(info.size())
                .arg(info.lastModified().toString(Qt::ISODateWithMs),
                     QCryptographicHash::hash(readBytes(info.filePath()), QCryptographicHash::Md5).toHex()));
    }
    return files;
}

// The process holding the registry of dir (0 when none).
qint64 registryHolder(const QString &dir)
{
    QFile lock(QDir(dir).filePath(QStringLiteral(".bolaris-registry.lock")));
    return lock.open(QIODevice::ReadOnly) ? lock.readLine().trimmed().toLongLong() : 0;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_deb;
    QString m_root; // where the package is unpacked
    QString m_data; // its data a new user folder starts from

    QString installed(const QString &path) const { return QDir(m_root).filePath(path); }

    // The desktop entry's command line, its program found among the installed ones.
    QStringList execLine() const
    {
        QSettings entry(installed(QStringLiteral("usr/share/applications/bolaris.desktop")),
                        QSettings::IniFormat);
        QStringList words =
            entry.value(QStringLiteral("Desktop Entry/Exec")).toString().split(QLatin1Char(' '));
        words.first() = QStandardPaths::findExecutable(words.first(), {installed(QStringLiteral("usr/bin"))});
        return words;
    }

    // Starts the desktop entry's command for a user with this home (and
    // XDG_DATA_HOME, when given); returns once the program holds the registry
    // in folder and has had time to finish starting.
    std::unique_ptr<QProcess> startFromMenu(const QString &home, const QString &dataHome,
                                            const QString &folder, const QTemporaryDir &runtime)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        if (!dataHome.isEmpty())
            env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        auto program = std::make_unique<QProcess>();
        program->setProcessEnvironment(env);
        program->setWorkingDirectory(m_scratch.path()); // not the working folder
        const QStringList line = execLine();
        program->start(line.first(), line.mid(1));
        [&] {
            QVERIFY(program->waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(registryHolder(folder), program->processId(), 60000);
            QTRY_VERIFY(QFile::exists(QDir(folder).filePath(QStringLiteral("Validadas.cds"))) &&
                        QFile::exists(QDir(folder).filePath(QStringLiteral("Cartoes.cds"))));
            QTest::qWait(500); // the rest of the start-up: window, card store
        }();
        return program;
    }

    static void stop(QProcess &program)
    {
        // Offscreen there is no close box to press; a kill leaves what a crash would.
        ::kill(pid_t(program.processId()), SIGKILL);
        program.waitForFinished(5000);
    }

    Run cli(const QStringList &args) const
    {
        return bolaris::test::runProgram(installed(QStringLiteral("usr/bin/bolaris-cli")), args);
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QString cpackOut = QDir(m_scratch.path()).filePath(QStringLiteral("cpack"));
        QProcess cpack;
        cpack.setProcessChannelMode(QProcess::MergedChannels);
        cpack.start(QStringLiteral(CPACK_COMMAND), {"--config", CPACK_CONFIG, "-B", cpackOut});
        QVERIFY(cpack.waitForFinished(240000));
        QVERIFY2(cpack.exitCode() == 0, cpack.readAll().constData());
        // bolaris_VERSION_ARCH.deb, the name Debian's tools give it.
        const QStringList debs =
            QDir(cpackOut).entryList({QStringLiteral("bolaris_" BOLARIS_VERSION "_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(cpackOut).filePath(debs.first());

        m_root = QDir(m_scratch.path()).filePath(QStringLiteral("root"));
        QCOMPARE(QProcess::execute(QStringLiteral("dpkg-deb"), {"-x", m_deb, m_root}), 0);
        m_data = installed(QStringLiteral("usr/share/bolaris"));
    }

    void declaresDependencies_data()
    {
        QTest::addColumn<QString>("package");
        for (const char *name : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6printsupport6",
                                 "libqt6multimedia6", "qt6-translations-l10n", "libsqlite3-0", "libpq5",
                                 "fonts-liberation2", "fonts-croscore", "fonts-bebas-neue"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void declaresDependencies()
    {
        QFETCH(QString, package);
        QProcess field;
        field.start(QStringLiteral("dpkg-deb"), {"--field", m_deb, "Depends"});
        QVERIFY(field.waitForFinished());
        const QString depends = QString::fromUtf8(field.readAllStandardOutput()).trimmed();
        QStringList names;
        for (const QString &item : depends.split(QLatin1Char(',')))
            names << item.trimmed().section(QLatin1Char(' '), 0, 0);
        QVERIFY2(names.contains(package), qPrintable(depends));
    }

    void installsProgramsDataAndDesktopEntry()
    {
        for (const char *program : {"usr/bin/bolaris", "usr/bin/bolaris-cli"})
            QVERIFY2(QFileInfo(installed(QLatin1String(program))).isExecutable(), program);

        QStringList expected{"bateu.wav", "compl22.cds", "sompedra.wav"};
        for (int ball = 1; ball <= 90; ++ball)
            expected << QStringLiteral("spbl%1.wav").arg(ball) << QStringLiteral("imbl%1.jpg").arg(ball);
        expected.sort();
        QStringList data = QDir(m_data).entryList(QDir::Files);
        data.sort();
        QCOMPARE(data, expected);

        for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
            const QImage icon(
                installed(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/bolaris.png").arg(size)));
            QCOMPARE(icon.size(), QSize(size, size));
            QVERIFY(icon.hasAlphaChannel());
        }
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate (desktop-file-utils) is not installed");
        const Run check = bolaris::test::runProgram(
            validator, {installed(QStringLiteral("usr/share/applications/bolaris.desktop"))});
        QVERIFY2(check.status == 0 && check.out.isEmpty(), qPrintable(check.out + check.err));
        QCOMPARE(execLine().mid(1), QStringList{"--user-folder"});
        QCOMPARE(execLine().first(), installed(QStringLiteral("usr/bin/bolaris")));
    }

    // Debian's documentation: a machine-readable copyright, the changelog and
    // a manual page per program in English and in Brazilian Portuguese, whose
    // text man renders without a warning and which tells of the phones' page
    // ("Celulares", its port and BOLARIS_WEB_PORT) and of bolaris.conf.
    void installsCopyrightChangelogAndManualPages_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("language"); // a heading only that language's pages have
        QTest::newRow("English") << "man1" << "DESCRIPTION";
        QTest::newRow("Brazilian Portuguese") << "pt_BR/man1" << "DESCRIÇÃO";
    }
    void installsCopyrightChangelogAndManualPages()
    {
        QFETCH(QString, folder);
        QFETCH(QString, language);
        const QString copyright = QString::fromUtf8(readBytes(installed(QStringLiteral("usr/share/doc/bolaris/copyright"))));
        QVERIFY(copyright.startsWith(QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")));
        QVERIFY(QFileInfo::exists(installed(QStringLiteral("usr/share/doc/bolaris/changelog.gz"))));
        for (const char *page : {"bolaris", "bolaris-cli"}) {
            const QString file = installed(QStringLiteral("usr/share/man/%1/%2.1.gz").arg(folder, QLatin1String(page)));
            QVERIFY2(QFileInfo::exists(file), page);
            const Run man = bolaris::test::runProgram(QStringLiteral("man"), {"--warnings", "-E", "UTF-8", "-l", "-Tutf8", file});
            if (man.status == 127 || (man.status != 0 && man.err.contains(QStringLiteral("not found"))))
                QSKIP("man is not installed");
            QVERIFY2(man.status == 0 && man.err.isEmpty(), qPrintable(man.err));
            // The text without its bold and underlined letters' marks.
            const QString text = QString(man.out).remove(QRegularExpression(QStringLiteral(".\b|\x1b\\[[0-9;]*m")));
            QVERIFY2(text.contains(QLatin1String(page)), page);
            QVERIFY2(text.contains(language), page);
            for (const char *told : {"Celulares", "8090", "BOLARIS_WEB_PORT", "bolaris.conf"})
                QVERIFY2(text.contains(QLatin1String(told)), qPrintable(QStringLiteral("%1: %2").arg(page, told)));
        }
        // Each page of bolaris-cli names every command of its help.
        const Run help = cli({QStringLiteral("--help")});
        QCOMPARE(help.status, 0);
        const Run page = bolaris::test::runProgram(QStringLiteral("sh"),
            {"-c", "gzip -dc \"$0\"", installed(QStringLiteral("usr/share/man/%1/bolaris-cli.1.gz").arg(folder))});
        const QRegularExpression command(QStringLiteral("^  ([a-z]+(-[a-z0-9]+)*)( |$)"));
        int commands = 0;
        for (const QString &line : help.out.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch m = command.match(line);
            if (!m.hasMatch())
                continue;
            ++commands;
            QVERIFY2(page.out.contains(m.captured(1).replace(QLatin1Char('-'), QLatin1String("\\-"))),
                     qPrintable(m.captured(1)));
        }
        QVERIFY(commands >= 13);
    }

    // lintian, where it is installed, finds no error and no warning.
    void lintianIsClean()
    {
        const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
        if (lintian.isEmpty())
            QSKIP("lintian is not installed");
        const Run run = bolaris::test::runProgram(lintian, {"--no-cfg", "--fail-on", "none", m_deb});
        QStringList findings;
        for (const QString &line : (run.out + run.err).split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("E: ")) || line.startsWith(QLatin1String("W: ")))
                findings << line;
        QVERIFY2(findings.isEmpty(), qPrintable(findings.join(QLatin1Char('\n'))));
    }

    // The first start from the menu fills the user's folder from the installed data.
    void firstStartPreparesUserFolder_data()
    {
        QTest::addColumn<QString>("dataHome"); // relative to the home folder; empty: not set
        QTest::addColumn<QString>("folder");
        QTest::newRow("XDG_DATA_HOME set") << "data"
                                           << "data/bolaris";
        QTest::newRow("XDG_DATA_HOME not set") << ""
                                               << ".local/share/bolaris";
    }
    void firstStartPreparesUserFolder()
    {
        QFETCH(QString, dataHome);
        QFETCH(QString, folder);
        QTemporaryDir home, runtime;
        const QDir homeDir(home.path());
        const QString work = homeDir.filePath(folder);
        std::unique_ptr<QProcess> program = startFromMenu(
            home.path(), dataHome.isEmpty() ? QString() : homeDir.filePath(dataHome), work, runtime);
        if (QTest::currentTestFailed())
            return;
        stop(*program);

        for (const QString &name : QDir(m_data).entryList(QDir::Files))
            QVERIFY2(readBytes(QDir(work).filePath(name)) == readBytes(QDir(m_data).filePath(name)),
                     qPrintable(name));
        // The installed card file is a sound one.
        const Run verify = cli({"verify-store", "--dir", work});
        QVERIFY2(verify.status == 0, qPrintable(verify.out + verify.err));
    }

    // A later start copies back what is missing and touches nothing else.
    void laterStartLeavesUserFilesAlone()
    {
        QTemporaryDir home, runtime;
        const QString work = QDir(home.path()).filePath(QStringLiteral(".local/share/bolaris"));
        std::unique_ptr<QProcess> first = startFromMenu(home.path(), {}, work, runtime);
        if (QTest::currentTestFailed())
            return;
        stop(*first);

        // The user sells cards, records a sound of their own, renames the
        // card file and loses a voice.
        const Run sold = cli({"validate", "--series", "B", "--cards", "1-3", "--dir", work});
        QVERIFY2(sold.status == 0, qPrintable(sold.err));
        writeBytes(QDir(work).filePath(QStringLiteral("bateu.wav")), "my own win sound");
        QVERIFY(QFile::rename(QDir(work).filePath(QStringLiteral("compl22.cds")),
                              QDir(work).filePath(QStringLiteral("Compl22.CDS"))));
        QVERIFY(QFile::remove(QDir(work).filePath(QStringLiteral("spbl7.wav"))));
        QMap<QString, QString> before = snapshot(work);
        before.remove(QStringLiteral(".bolaris-registry.lock"));

        QTemporaryDir runtime2;
        std::unique_ptr<QProcess> second = startFromMenu(home.path(), {}, work, runtime2);
        if (QTest::currentTestFailed())
            return;
        stop(*second);

        QMap<QString, QString> after = snapshot(work);
        after.remove(QStringLiteral(".bolaris-registry.lock"));
        QCOMPARE(readBytes(QDir(work).filePath(QStringLiteral("spbl7.wav"))),
                 readBytes(QDir(m_data).filePath(QStringLiteral("spbl7.wav"))));
        after.remove(QStringLiteral("spbl7.wav"));
        QCOMPARE(after, before);
        const Run registry = cli({"dump-dataset", QDir(work).filePath(QStringLiteral("Validadas.cds"))});
        QVERIFY2(registry.out.contains(QStringLiteral("\nB;3\n")), qPrintable(registry.out));
    }

    void programsRefuseUnknownArguments_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("usage");
        QTest::newRow("bolaris") << "usr/bin/bolaris" << QStringList{"--user-folders"}
                                 << "usage: bolaris [--user-folder]";
        QTest::newRow("bolaris, two")
            << "usr/bin/bolaris" << QStringList{"--user-folder", "x"} << "usage: bolaris [--user-folder]";
        QTest::newRow("bolaris-cli") << "usr/bin/bolaris-cli" << QStringList{}
                                     << "usage: bolaris-cli COMMAND";
    }
    void programsRefuseUnknownArguments()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, usage);
        QTemporaryDir runtime;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        p.setProcessEnvironment(env);
        p.start(installed(program), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 2);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(usage), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
