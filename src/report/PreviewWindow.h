#pragma once

#include "ReportData.h"
#include "ReportDefinition.h"
#include "ReportLayout.h"
#include "PreviewHost.h"

#include <QWidget>

class QLabel;
class QComboBox;
class QPrinter;
class QScrollArea;

namespace bolaris {

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
    // Writes every page; false when refused, cancelled or failed (the file is
    // then as it was, and problem() says why in the operator's words).
    bool saveTo(const QString &path);
    // A printer that prints into a file writes it as saveTo does.
    bool printTo(QPrinter &printer);
    const QString &problem() const { return m_problem; }

    const ReportDefinition &definition() const { return m_definition; }
    const ReportData &data() const { return m_data; }
    const ReportLayout &layout() const { return m_layout; }

Q_SIGNALS:
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class PageView;
    bool runJob(const QString &title, const std::function<bool(const std::function<bool(int, int)> &)> &job);
    void updateView();
    void save();
    void print();
    void setupPrinter();

    ReportDefinition m_definition;
    ReportData m_data;
    ReportLayout m_layout;
    int m_page = 0;
    double m_zoom = 0;
    PageView *m_view;
    QScrollArea *m_scroll;
    QLabel *m_pageLabel;
    QComboBox *m_zoomBox;
    std::unique_ptr<QPrinter> m_printer;
    bool m_busy = false;
    QString m_workDir;
    QString m_problem;
};

// Opens a preview window at the screen's top-left corner and waits, handling
// events, until the operator closes it.
class WindowPreviewHost : public PreviewHost {
public:
    explicit WindowPreviewHost(const QString &workDir = {}) : m_workDir(workDir) {}
    void showAndWait(const ReportForm &form, ReportData data) override;

private:
    QString m_workDir;
};

} // namespace bolaris
