#pragma once

#include "TestSupport.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "dataset/WorkDir.h"
#include "export/CardExport.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

namespace bolaris::test {

// Every entry of a folder with its bytes, to show that nothing changed.
inline QMap<QString, QByteArray> folderContents(const QString &dir)
{
    QMap<QString, QByteArray> files;
    for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        files.insert(info.fileName(), info.isFile() ? readBytes(info.filePath()) : QByteArray("<folder>"));
    return files;
}

// A working folder with series A and, from "compl22.cds", card B-1 (the
// text of A-7) and B-2; no other card of series B to L.
struct ExportFixture {
    QTemporaryDir dir;
    CardStore store;
    ScriptedPrompter prompter;
    CardExport exporter{dir.path()};

    ExportFixture()
    {
        writeCardFile(dir.path(), {{2001, latin1(SeriesACard(7))}, {2002, latin1(SeriesACard(8))}});
        store.FillCardStore(dir.path());
    }
    QString file(const QString &name) const { return WorkDir::resolve(dir.path(), name); }

    CardExport::Outcome run(const QString &series, const QString &first, const QString &last,
                            const QString &perSheet = {}, const QString &fill = {})
    {
        return exporter.exportCards({series, first, last, perSheet, fill}, store.table(), prompter);
    }
    QString csvPath() const { return file(QLatin1String(CardExport::kFileName)); }
    QByteArray csv() const { return readBytes(csvPath()); }
    // The file's lines without their CR LF.
    QList<QByteArray> lines() const
    {
        QList<QByteArray> result = csv().split('\n');
        result.removeLast(); // after the last line end
        for (QByteArray &line : result)
            line.chop(1);
        return result;
    }
    QMap<QString, QByteArray> folder() const { return folderContents(dir.path()); }
};

} // namespace bolaris::test
