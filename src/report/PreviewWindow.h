#pragma once

#include "ReportData.h"
#include "ReportDefinition.h"
#include "ReportLayout.h"
#include "PreviewHost.h"

#include <QPrinter>
#include <QStringList>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QComboBox;
class QPrintDialog;
class QScrollArea;

namespace bolaris {

// What printer set-up chose, for the prints of the whole run: the printer's
// page and job options, and the printer or PDF file. A print dialog sets its
// printer to the system's default printer when it opens, so the choice is
// kept apart and put back into every dialog.
struct PrinterSetup {
    QPrinter printer{QPrinter::HighResolution};
    bool chosen = false;
    QString printerName; // empty when printing into a PDF file
    QString pdfFile;
};

// The report's preview: one page at a time, painted when shown (nothing is
// recorded beforehand), with navigation, zoom, printer set-up, print and save
// as PDF. Printing and saving run on a worker thread and can be cancelled.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    PreviewWindow(ReportDefinition definition, ReportData data, QWidget *parent = nullptr);
    ~PreviewWindow() override;

    int pageCount() const { return m_layout.pageCount(); }
    int currentPage() const { return m_page; }
    void setPage(int page);
    // factor 0 fits the page to the window.
    void setZoom(double factor);
    double zoom() const { return m_zoom; }

    // Data files of this working folder are never written over by a save.
    void setWorkDir(const QString &dir) { m_workDir = dir; }
    // The file name "Salvar" offers first ("cartelas.pdf" unless set).
    void setSaveName(const QString &name) { m_saveName = name; }
    // Writes every page; false when refused, cancelled or failed (the file is
    // then as it was, and problem() says why in the operator's words).
    bool saveTo(const QString &path);
    // A printer that prints into a file writes it as saveTo does.
    bool printTo(QPrinter &printer);
    const QString &problem() const { return m_problem; }

    // The program is ending: a save or print in progress stops as "Cancelar"
    // stops it (no file is left), nothing more is asked or told, and the
    // window closes.
    void abandon();
    // The installed printers; the print service's list unless a test sets one.
    void setPrinterNames(std::function<QStringList()> names) { m_printerNames = std::move(names); }
    // What "Configurar impressora" and "Imprimir" chose; empty until one of
    // them is pressed. Handed from preview to preview, it lasts for the run.
    std::shared_ptr<PrinterSetup> printerSetup() const { return m_setup; }
    void setPrinterSetup(std::shared_ptr<PrinterSetup> setup) { m_setup = std::move(setup); }
    // The folder the save dialogs propose (empty: the current folder); the
    // folder of a file chosen in one of them replaces it, so that it lasts
    // for the run when shared by the previews.
    void setSaveFolder(std::shared_ptr<QString> folder) { m_saveFolder = std::move(folder); }
    // The file a save dialog proposes.
    QString proposedFile() const;

    const ReportDefinition &definition() const { return m_definition; }
    const ReportData &data() const { return m_data; }
    const ReportLayout &layout() const { return m_layout; }

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override; // Esc closes
    void resizeEvent(QResizeEvent *event) override;

private:
    class PageView;
    bool runJob(const QString &title, const std::function<bool(const std::function<bool(int, int)> &)> &job);
    void updateView();
    void save();
    void print();
    void setupPrinter();
    bool printerInstalled(const QString &caption);
    PrinterSetup &setup();
    // Runs a print dialog on the set-up's printer; true when accepted.
    bool choosePrinter(QPrintDialog &dialog);

    ReportDefinition m_definition;
    ReportData m_data;
    ReportLayout m_layout;
    int m_page = 0;
    double m_zoom = 0;
    PageView *m_view;
    QScrollArea *m_scroll;
    QLabel *m_pageLabel;
    QComboBox *m_zoomBox;
    std::shared_ptr<PrinterSetup> m_setup;
    std::shared_ptr<QString> m_saveFolder;
    std::function<QStringList()> m_printerNames;
    bool m_busy = false;
    QString m_workDir;
    QString m_saveName = QStringLiteral("cartelas.pdf");
    QString m_problem;
    std::atomic<bool> *m_cancel = nullptr; // the running job's stop flag
    bool m_abandoned = false;
};

// Opens a preview window at the screen's top-left corner and waits, handling
// events, until the operator closes it.
class WindowPreviewHost : public PreviewHost {
public:
    // saveFolder: where the first save dialog of the run opens (empty: the
    // current folder).
    explicit WindowPreviewHost(const QString &workDir = {}, const QString &saveFolder = {})
        : m_workDir(workDir), m_saveFolder(std::make_shared<QString>(saveFolder))
    {
    }
    void showAndWait(const ReportForm &form, ReportData data) override;

    void closeAll() override;

private:
    QString m_workDir;
    std::vector<PreviewWindow *> m_open;
    std::shared_ptr<PrinterSetup> m_setup;
    std::shared_ptr<QString> m_saveFolder;
};

} // namespace bolaris
