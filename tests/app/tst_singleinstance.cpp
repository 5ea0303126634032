#include "app/SingleInstance.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QProcess *start(const QString &workDir, const QString &runtimeDir)
{
    auto *p = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    p->setProcessEnvironment(env);
    p->setWorkingDirectory(workDir);
    p->start(QStringLiteral(BOLARIS_APP), {});
    return p;
}

QStringList snapshot(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files << info.fileName() + QLatin1Char(' ') + QString::number(info.size()) + QLatin1Char(' ') +
                     info.lastModified().toString(Qt::ISODateWithMs);
    }
    files.sort();
    return files;
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A later start reaches the running instance, which is asked to show
    // its window; with no instance running there is nothing to reach, also
    // after one crashed and left its socket behind.
    void laterStartAsksToShow()
    {
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        {
            bolaris::SingleInstance later;
            QVERIFY(!later.showRunning());
            bolaris::SingleInstance running;
            QVERIFY(running.tryLock());
            QSignalSpy shown(&running, &bolaris::SingleInstance::showRequested);
            QVERIFY(!later.tryLock());
            QVERIFY(later.showRunning());
            QTRY_COMPARE(shown.count(), 1);
        }
        // A socket file left without a listener, as a crash leaves it.
        QFile stale(QDir(runtime.path()).filePath("bolaris.socket"));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        bolaris::SingleInstance next;
        QVERIFY(next.tryLock());
        QSignalSpy shown(&next, &bolaris::SingleInstance::showRequested);
        QVERIFY(bolaris::SingleInstance().showRunning());
        QTRY_COMPARE(shown.count(), 1);
        qputenv("XDG_RUNTIME_DIR", before);
    }

    void secondStartEndsSilently()
    {
        QTemporaryDir work, runtime;
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        std::unique_ptr<QProcess> first(start(work.path(), runtime.path()));
        QVERIFY(first->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(runtime.path()).filePath("bolaris.lock")), 10000);
        // The first copy has made its registry and left the folder alone for
        // a while (a loaded machine, or the sanitizers, make it slow to start).
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QDir(work.path()).filePath("Validadas.cds")), 20000);
        QStringList before = snapshot(work.path());
        for (int settled = 0; settled < 2;) {
            QTest::qWait(500);
            const QStringList now = snapshot(work.path());
            settled = now == before ? settled + 1 : 0;
            before = now;
        }

        std::unique_ptr<QProcess> second(start(work.path(), runtime.path()));
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(second->readAllStandardOutput(), QByteArray());
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(snapshot(work.path()), before);

        // A crashed instance does not block the next start.
        ::kill(pid_t(first->processId()), SIGKILL);
        QVERIFY(first->waitForFinished(5000));
        std::unique_ptr<QProcess> third(start(work.path(), runtime.path()));
        QVERIFY(third->waitForStarted());
        QVERIFY(!third->waitForFinished(1500));
        third->kill();
        third->waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
