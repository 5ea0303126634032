#pragma once

#include "TestSupport.h"
#include "cards/CardStore.h"
#include "cards/SeriesA.h"
#include "dataset/WorkDir.h"
#include "dataset/DatasetFile.h"
#include "issue/CardLayout.h"
#include "issue/ReportFormSet.h"
#include "issue/SheetIssue.h"
#include "report/ReportForm.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace bolaris::test {

// A working folder with series A only, the issue and a prompter.
struct IssueFixture {
    QTemporaryDir dir;
    CardStore store;
    ScriptedPrompter prompter;
    SheetIssue issue{dir.path()};
    ReportFormSet forms;
    // Series A built in; C-1, C-2 and J-1 from a small "compl22.cds"; no other series.
    IssueFixture()
    {
        writeCardFile(dir.path(), {{4001, latin1(SeriesACard(3))}, {4002, latin1(SeriesACard(4))},
                                   {18001, latin1(SeriesACard(5))}});
        store.FillCardStore(dir.path());
    }

    bool build(const QString &series, const QString &first, const QString &last, const QString &fill = {},
               PrintModel model = PrintModel::Check14)
    {
        return issue.buildTableCart({fill, series, first, last, model}, store.table(), prompter);
    }
    QString file(const QString &name) const { return WorkDir::resolve(dir.path(), name); }
};

// Pages and page sizes (in points) of a PDF file, read from its objects.
struct PdfPages {
    int count = 0;
    QList<QSizeF> sizes;
};

inline PdfPages pdfPages(const QString &path)
{
    const QByteArray pdf = readBytes(path);
    PdfPages pages;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    static const QRegularExpression box(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([0-9.]+)\\s+([0-9.]+)\\s*\\]"));
    const QString text = QString::fromLatin1(pdf);
    pages.count = int(text.count(page));
    auto it = box.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        pages.sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return pages;
}

} // namespace bolaris::test
