#include "CliCommands.h"

#include "draw/MediaMaker.h"

#include <QDir>

namespace bolaris::cli {

int makeMedia(const QStringList &args, Streams io)
{
    Options options;
    if (!options.parse(args, {QStringLiteral("--dir")}, {}, &io.err) || !options.positional.isEmpty())
        return 2;
    const std::optional<QString> dir = options.workingFolder(io);
    if (!dir)
        return 2;
    const MediaMaker::Result result = MediaMaker::make(*dir, MediaMaker::All);
    switch (result.status) {
    case MediaMaker::Result::Done:
        io.out << "wrote " << result.written << " ball media files into " << QDir::toNativeSeparators(*dir);
        if (result.upToDate)
            io.out << "; " << result.upToDate << " were made so already";
        io.out << Qt::endl;
        if (!result.kept.isEmpty())
            io.out << "kept " << result.kept.size() << " files not made by the program: " << result.kept.join(", ")
                   << Qt::endl;
        return 0;
    case MediaMaker::Result::NoSpeech:
        io.err << "bolaris-cli: the ball voices need espeak-ng, which is not installed" << Qt::endl;
        break;
    case MediaMaker::Result::SpeechFailed:
        io.err << "bolaris-cli: espeak-ng failed: " << result.reason << Qt::endl;
        break;
    case MediaMaker::Result::WriteFailed:
        io.err << "bolaris-cli: could not write " << QDir::toNativeSeparators(result.file) << ": " << result.reason
               << Qt::endl;
        break;
    case MediaMaker::Result::Cancelled:
        break;
    }
    return 1;
}

} // namespace bolaris::cli
