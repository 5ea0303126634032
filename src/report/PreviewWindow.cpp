#include "PreviewWindow.h"

#include "ReportForm.h"
#include "dataset/AtomicFile.h"
#include "dataset/WorkDir.h"
#include "ui/UiBuild.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

namespace bolaris {

namespace {

// Puts a text into a box of a dialog once the dialog has been shown (a print
// dialog fills its boxes as it is shown); an empty text changes nothing.
class ProposeOnShow : public QObject {
public:
    ProposeOnShow(QLineEdit *box, QString text) : m_box(box), m_text(std::move(text)) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Show && m_box && !m_text.isEmpty())
            m_box->setText(m_text);
        return false;
    }

private:
    QLineEdit *m_box;
    QString m_text;
};

QRect screenRoom()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 900, 1000);
}
} // namespace

// Paints the current page only, at the size the window gives it.
class PreviewWindow::PageView : public QWidget {
public:
    explicit PageView(PreviewWindow &owner) : m_owner(owner)
    {
        setObjectName(QStringLiteral("PreviewPage"));
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0x80, 0x80, 0x80));
        if (m_owner.pageCount() == 0)
            return;
        const QSizeF page = m_owner.m_layout.pageSize();
        const double dotsPerMm = std::min(width() / page.width(), height() / page.height());
        painter.translate((width() - page.width() * dotsPerMm) / 2, (height() - page.height() * dotsPerMm) / 2);
        painter.fillRect(QRectF(0, 0, page.width() * dotsPerMm, page.height() * dotsPerMm), Qt::white);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintItems(painter, pageItems(m_owner.m_definition, m_owner.m_data, m_owner.m_layout, m_owner.m_page),
                   dotsPerMm, page);
    }

private:
    PreviewWindow &m_owner;
};

PreviewWindow::PreviewWindow(ReportDefinition definition, ReportData data, QWidget *parent)
    : QWidget(parent, Qt::Window), m_definition(std::move(definition)), m_data(std::move(data)),
      m_layout(m_definition.page, m_definition.band, int(m_data.records.size())),
      m_printerNames([] { return QPrinterInfo::availablePrinterNames(); })
{
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Visualização de impressão"));
    setAttribute(Qt::WA_QuitOnClose, false);

    auto *tools = new QHBoxLayout;
    auto addButton = [&](const char *name, const QString &text, auto slot) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        tools->addWidget(b);
        return b;
    };
    addButton("ButtonFirst", QStringLiteral("|<"), [this] { setPage(0); });
    addButton("ButtonPrior", QStringLiteral("<"), [this] { setPage(m_page - 1); });
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("LabelPage"));
    tools->addWidget(m_pageLabel);
    addButton("ButtonNext", QStringLiteral(">"), [this] { setPage(m_page + 1); });
    addButton("ButtonLast", QStringLiteral(">|"), [this] { setPage(pageCount() - 1); });
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("ComboZoom"));
    m_zoomBox->addItem(QStringLiteral("Página inteira"), 0.0);
    for (int percent : {50, 75, 100, 150, 200, 300})
        m_zoomBox->addItem(QStringLiteral("%1%").arg(percent), percent / 100.0);
    connect(m_zoomBox, &QComboBox::activated, this, [this](int i) { setZoom(m_zoomBox->itemData(i).toDouble()); });
    tools->addWidget(m_zoomBox);
    addButton("ButtonSetup", QStringLiteral("Configurar impressora"), [this] { setupPrinter(); });
    addButton("ButtonPrint", QStringLiteral("Imprimir"), [this] { print(); })->setShortcut(QKeySequence::Print);
    addButton("ButtonSave", QStringLiteral("Salvar"), [this] { save(); })->setShortcut(QKeySequence::Save);
    addButton("ButtonClose", QStringLiteral("Fechar"), [this] { close(); });
    tools->addStretch();

    m_view = new PageView(*this);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("PreviewScroll"));
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setWidget(m_view);
    m_scroll->setBackgroundRole(QPalette::Dark);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(m_scroll, 1);

    const QRect room = screenRoom();
    resize(std::min(900, room.width()), std::min(1000, room.height()) - 40);
    updateView();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::setPage(int page)
{
    m_page = std::clamp(page, 0, std::max(0, pageCount() - 1));
    updateView();
}

void PreviewWindow::setZoom(double factor)
{
    m_zoom = factor;
    updateView();
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    updateView();
}

void PreviewWindow::updateView()
{
    m_pageLabel->setText(QStringLiteral("Página %1 de %2").arg(pageCount() ? m_page + 1 : 0).arg(pageCount()));
    const QSizeF page = m_layout.pageSize();
    if (m_zoom <= 0) {
        m_scroll->setWidgetResizable(true);
    } else {
        m_scroll->setWidgetResizable(false);
        const double dotsPerMm = logicalDpiX() / 25.4 * m_zoom;
        m_view->resize(int(page.width() * dotsPerMm), int(page.height() * dotsPerMm));
    }
    m_view->update();
}

void PreviewWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    if (m_busy && !m_abandoned) {
        event->ignore(); // a save or print is running: cancel it first
        return;
    }
    QWidget::closeEvent(event);
    Q_EMIT closed();
}

bool PreviewWindow::runJob(const QString &title,
                           const std::function<bool(const std::function<bool(int, int)> &)> &job)
{
    m_busy = true;
    std::atomic<int> done{0};
    std::atomic<bool> cancelled{false};
    bool ok = false;
    QProgressDialog progress(title, QStringLiteral("Cancelar"), 0, std::max(1, pageCount()), this);
    progress.setObjectName(QStringLiteral("PreviewProgress"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    m_cancel = &cancelled;
    QThread *worker = QThread::create([&] {
        ok = job([&](int pages, int) {
            done = pages;
            return !cancelled.load();
        });
    });
    QEventLoop loop;
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    connect(&progress, &QProgressDialog::canceled, this, [&] { cancelled = true; });
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] { progress.setValue(done.load()); });
    tick.start(50);
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;
    progress.reset();
    m_cancel = nullptr;
    m_busy = false;
    return ok && !cancelled.load();
}

bool PreviewWindow::saveTo(const QString &path)
{
    m_problem.clear();
    if (WorkDir::isDataFile(m_workDir, path) || WorkDir::isDataFile(QFileInfo(path).absolutePath(), path)) {
        m_problem = QStringLiteral("O arquivo %1 é um arquivo de dados do Bolaris e não pode ser substituído. "
                                   "Escolha outro nome.")
                        .arg(QFileInfo(path).fileName());
        return false;
    }
    WriteFailure failure;
    const bool written = runJob(QStringLiteral("Salvando PDF..."), [&](const std::function<bool(int, int)> &progress) {
        return writePdf(path, m_definition, m_data, progress, &failure);
    });
    if (!written)
        m_problem = failure.failed() ? failure.portuguese() : QStringLiteral("O arquivo PDF não foi gravado.");
    return written;
}

bool PreviewWindow::printTo(QPrinter &printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        return saveTo(printer.outputFileName());
    m_problem.clear();
    const bool printed = runJob(QStringLiteral("Imprimindo..."), [&](const std::function<bool(int, int)> &progress) {
        return renderReport(printer, m_definition, m_data, progress);
    });
    if (!printed)
        m_problem = QStringLiteral("A impressão foi interrompida.");
    return printed;
}

QString PreviewWindow::proposedFile() const
{
    return m_saveFolder && !m_saveFolder->isEmpty() ? QDir(*m_saveFolder).filePath(m_saveName) : m_saveName;
}

void PreviewWindow::save()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Salvar"), proposedFile(),
                                                      QStringLiteral("Arquivo PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (m_saveFolder)
        *m_saveFolder = QFileInfo(path).absolutePath();
    if (!saveTo(path) && !m_abandoned && !m_problem.isEmpty())
        QMessageBox::information(this, QStringLiteral("Salvar"), m_problem);
}

void PreviewWindow::abandon()
{
    m_abandoned = true;
    if (m_cancel)
        *m_cancel = true;
    close();
}

bool PreviewWindow::printerInstalled(const QString &caption)
{
    if (!m_printerNames().isEmpty())
        return true;
    QMessageBox::information(this, caption, QStringLiteral("Nenhuma impressora está instalada neste computador."));
    return false;
}

PrinterSetup &PreviewWindow::setup()
{
    if (!m_setup)
        m_setup = std::make_shared<PrinterSetup>();
    return *m_setup;
}

bool PreviewWindow::choosePrinter(QPrintDialog &dialog)
{
    PrinterSetup &s = setup();
    if (s.chosen && s.printerName.isEmpty()) {
        // Shown as the PDF file entry, with its file, when the dialog opens.
        s.printer.setOutputFormat(QPrinter::PdfFormat);
        s.printer.setOutputFileName(s.pdfFile);
    } else if (s.chosen) {
        // The dialog's list of printers, named so by its form.
        if (auto *printers = dialog.findChild<QComboBox *>(QStringLiteral("printers"))) {
            const int i = printers->findText(s.printerName);
            if (i >= 0)
                printers->setCurrentIndex(i);
        }
    }
    // The file a print into a PDF file would write, proposed as the save
    // dialog proposes it; the dialog fills its box as it is shown.
    ProposeOnShow propose(dialog.findChild<QLineEdit *>(QStringLiteral("filename")),
                          s.chosen && s.printerName.isEmpty() ? QString() : QFileInfo(proposedFile()).absoluteFilePath());
    dialog.installEventFilter(&propose);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const bool pdf = s.printer.outputFormat() == QPrinter::PdfFormat;
    s.chosen = true;
    s.printerName = pdf ? QString() : s.printer.printerName();
    s.pdfFile = pdf ? s.printer.outputFileName() : QString();
    if (pdf && m_saveFolder && !s.pdfFile.isEmpty())
        *m_saveFolder = QFileInfo(s.pdfFile).absolutePath();
    return true;
}

void PreviewWindow::setupPrinter()
{
    if (!printerInstalled(QStringLiteral("Configurar impressora")))
        return;
    // The print dialog chooses the printer and, under its properties, the
    // page options; here it only keeps them for the prints to come.
    QPrintDialog dialog(&setup().printer, this);
    dialog.setObjectName(QStringLiteral("DialogPrinterSetup"));
    dialog.setWindowTitle(QStringLiteral("Configurar impressora"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    for (QDialogButtonBox *buttons : dialog.findChildren<QDialogButtonBox *>())
        if (QPushButton *accept = buttons->button(QDialogButtonBox::Ok))
            accept->setText(QStringLiteral("OK"));
    choosePrinter(dialog);
}

void PreviewWindow::print()
{
    if (!printerInstalled(QStringLiteral("Imprimir")))
        return;
    QPrintDialog dialog(&setup().printer, this);
    dialog.setObjectName(QStringLiteral("DialogPrint"));
    dialog.setWindowTitle(QStringLiteral("Imprimir"));
    // Every page is printed: no page range.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize |
                      QAbstractPrintDialog::PrintCollateCopies);
    if (!choosePrinter(dialog))
        return;
    if (!printTo(setup().printer) && !m_abandoned)
        QMessageBox::information(this, QStringLiteral("Imprimir"),
                                 m_problem.isEmpty() ? QStringLiteral("A impressão foi interrompida.") : m_problem);
}

void WindowPreviewHost::showAndWait(const ReportForm &form, ReportData data)
{
    PreviewWindow window(form.definition(), std::move(data));
    window.setWorkDir(m_workDir);
    window.setPrinterSetup(m_setup);
    window.setSaveFolder(m_saveFolder);
    QEventLoop loop;
    QObject::connect(&window, &PreviewWindow::closed, &loop, &QEventLoop::quit);
    window.show();
    ui::placeFrame(&window, screenRoom().topLeft());
    m_open.push_back(&window);
    loop.exec();
    std::erase(m_open, &window);
    m_setup = window.printerSetup();
}

void WindowPreviewHost::closeAll()
{
    for (PreviewWindow *window : std::vector<PreviewWindow *>(m_open))
        window->abandon();
}

} // namespace bolaris
