#include "MediaInstaller.h"

#include "MediaMaker.h"
#include "dataset/AtomicFile.h"
#include "ui/Prompter.h"

#include <QDir>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>

namespace bolaris {

QString DialogMediaInstaller::failureText(int parts, int status, const QString &file, const QString &reason,
                                          int code)
{
    const QString what = parts == MediaMaker::Pictures ? QStringLiteral("as imagens das pedras")
                                                       : QStringLiteral("os sons das pedras");
    switch (MediaMaker::Result::Status(status)) {
    case MediaMaker::Result::Done:
    case MediaMaker::Result::Cancelled:
        return {};
    case MediaMaker::Result::NoSpeech:
        return QStringLiteral("Não foi possível gerar %1: o programa de voz espeak-ng não está instalado.").arg(what);
    case MediaMaker::Result::SpeechFailed:
        return QStringLiteral("Não foi possível gerar %1: o programa de voz espeak-ng falhou (%2).").arg(what, reason);
    case MediaMaker::Result::WriteFailed:
        return QStringLiteral("Não foi possível gravar o arquivo %1: %2.")
            .arg(QDir::toNativeSeparators(file), code ? reasonPortuguese(code) : reason);
    }
    return {};
}

void DialogMediaInstaller::install(const QString &dir, int parts)
{
    const QString caption =
        parts == MediaMaker::Pictures ? QStringLiteral("Arquivos de imagem") : QStringLiteral("Arquivos de som");
    QProgressDialog dialog(QStringLiteral("Instalando os arquivos na pasta do programa..."),
                           QStringLiteral("Cancelar"), 0, MediaMaker::fileCount(parts), m_parent);
    dialog.setWindowTitle(caption);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);

    std::atomic<bool> cancel = false;
    std::atomic<int> done = 0;
    MediaMaker::Result result;
    QEventLoop loop;
    QThread *worker = QThread::create([&] {
        result = MediaMaker::make(dir, parts, [&](int count, int) {
            done = count;
            return !cancel.load();
        });
    });
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] { cancel = true; });
    QTimer progress;
    QObject::connect(&progress, &QTimer::timeout, &dialog, [&] { dialog.setValue(done.load()); });
    progress.start(50);
    worker->start();
    loop.exec();
    if (worker->isRunning()) // the program is ending
        cancel = true;
    worker->wait();
    delete worker;
    progress.stop();
    dialog.close();

    const QString failure = failureText(parts, result.status, result.file, result.reason, result.code);
    if (!failure.isEmpty())
        m_prompter.inform(caption, failure, MessageIcon::Error);
}

} // namespace bolaris
