#include "CliCommands.h"

#include "StreamPrompter.h"
#include "dataset/AtomicFile.h"
#include "cards/CardStore.h"
#include "issue/ReportFormSet.h"
#include "issue/SheetIssue.h"
#include "report/ReportForm.h"
#include "report/ReportLayout.h"


namespace bolaris::cli {

int issuePdf(const QStringList &args, Streams io)
{
    Options options;
    const QStringList valued = {QStringLiteral("--model"), QStringLiteral("--series"), QStringLiteral("--first"),
                                QStringLiteral("--last"),  QStringLiteral("--fill"),   QStringLiteral("--dir"),
                                QStringLiteral("--out")};
    if (!options.parse(args, valued, {}, &io.err) || !options.positional.isEmpty())
        return 2;
    for (const char *required : {"--model", "--series", "--first", "--last", "--out"})
        if (!options.has(QLatin1String(required)))
            return 2;
    const std::optional<PrintModel> model = modelFromName(options.value(QStringLiteral("--model")));
    if (!model) {
        io.err << "bolaris-cli: unknown model " << options.value(QStringLiteral("--model")) << Qt::endl;
        return 2;
    }
    // Both places are checked before anything is changed in either.
    const std::optional<QString> folder = options.writableFolder(io);
    if (!folder)
        return 1;
    const QString &dir = *folder;
    const std::optional<QString> out = options.outputFile(QStringLiteral("--out"), dir, io);
    if (!out)
        return 1;
    CardStore store;
    const CardStore::FillResult fill = store.FillCardStore(dir);
    if (!fill.error.isEmpty())
        io.err << "bolaris-cli: " << fill.error << Qt::endl;

    const ReportFormSet forms;
    // The series box turns typed letters to upper case.
    const IssueRequest request{options.value(QStringLiteral("--fill")), options.value(QStringLiteral("--series")).toUpper(),
                               options.value(QStringLiteral("--first")), options.value(QStringLiteral("--last")),
                               *model};
    StreamPrompter prompter(io.err, false);
    SheetIssue issue(dir);
    const ReportForm *form = nullptr;
    ReportData data;
    try {
        if (!issue.buildTableCart(request, store.table(), prompter))
            return 1;
        const PreviewJob job = issue.prepareModel(*model, request.seriesText, forms.forms());
        form = job.form;
        data = ReportData::fromDataset(*job.dataset);
        // The datasets are written before the sheets: when the folder cannot
        // take them, no PDF claims an issue that was not recorded.
        issue.finishModel(*model);
        issue.closeAll();
    } catch (const DatasetError &e) {
        io.err << "bolaris-cli: " << e.message() << Qt::endl;
        issue.closeAllQuietly();
        return 1;
    }
    WriteFailure failure;
    if (!writePdf(*out, form->definition(), data, {}, &failure)) {
        io.err << "bolaris-cli: " << failure.english() << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace bolaris::cli
