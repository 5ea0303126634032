#include "BenchMain.h"
#include "cards/CardStore.h"
#include "issue/ReportFormSet.h"
#include "issue/SheetIssue.h"
#include "report/Fonts.h"
#include "report/PreviewWindow.h"
#include "report/ReportForm.h"
#include "report/ReportLayout.h"

#include <QApplication>
#include <QTemporaryDir>


#include <fstream>
#include <string>

using namespace bolaris;

namespace {

// 2,000 cards of series A issued for one model: the form and the records it prints.
struct Issued {
    QTemporaryDir dir;
    std::unique_ptr<ReportForm> form;
    ReportData data;

    explicit Issued(PrintModel model)
    {
        CardStore store;
        store.FillCardStore(dir.path());
        const ReportFormSet forms;
        SheetIssue issue(dir.path());
        SilentPrompter silent;
        issue.buildTableCart({QStringLiteral("*"), QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("2000"), model},
                             store.table(), silent);
        const PreviewJob job = issue.prepareModel(model, QStringLiteral("A"), forms.forms());
        data = ReportData::fromDataset(*job.dataset);
        form = std::make_unique<ReportForm>(job.form->definition());
        issue.finishModel(model);
        issue.closeAll();
    }
};

void pdfOf(benchmark::State &state, PrintModel model)
{
    Issued issued(model);
    const QString path = issued.dir.filePath(QStringLiteral("out.pdf"));
    for (auto _ : state)
        writePdf(path, issued.form->definition(), issued.data);
    state.counters["pages"] = ReportLayout(issued.form->definition().page, issued.form->definition().band,
                                           int(issued.data.records.size()))
                                  .pageCount();
}

void BM_Pdf2000Cards3PerSheet(benchmark::State &state) { pdfOf(state, PrintModel::Check3); }
BENCHMARK(BM_Pdf2000Cards3PerSheet)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Pdf2000CardsThirdPerSheet(benchmark::State &state) { pdfOf(state, PrintModel::Check3A4); }
BENCHMARK(BM_Pdf2000CardsThirdPerSheet)->Unit(benchmark::kMillisecond)->Iterations(2);

// Building TableCart for 2,000 cards, the step before every preview.
void BM_SheetDataset2000Cards(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(Issued(PrintModel::Check3).data.records.size());
}
BENCHMARK(BM_SheetDataset2000Cards)->Unit(benchmark::kMillisecond)->Iterations(3);

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

// Opening the preview of 6,000 pages: the window up and its first page painted.
void BM_OpenPreview2000CardsThirdPerSheet(benchmark::State &state)
{
    Issued issued(PrintModel::Check3A4);
    for (auto _ : state) {
        PreviewWindow window(issued.form->definition(), issued.data);
        window.show();
        window.grab();
    }
}
BENCHMARK(BM_OpenPreview2000CardsThirdPerSheet)->Unit(benchmark::kMillisecond);

// Paging through 6,000 pages: memory must stay flat.
void BM_PageThroughPreview(benchmark::State &state)
{
    Issued issued(PrintModel::Check3A4);
    PreviewWindow window(issued.form->definition(), issued.data);
    window.show();
    long before = 0;
    int page = 0;
    for (auto _ : state) {
        window.setPage(page++ % window.pageCount());
        window.grab();
        if (page == 10)
            before = residentKb();
    }
    state.counters["rss_growth_kB"] = double(residentKb() - before);
}
BENCHMARK(BM_PageThroughPreview)->Unit(benchmark::kMillisecond)->Iterations(2000);

} // namespace

BOLARIS_BENCHMARK_MAIN()
