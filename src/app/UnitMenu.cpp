#include "UnitMenu.h"
#include "UserFolder.h"

#include "ui/Prompter.h"
#include "ui/SoundPlayer.h"
#include "ui/UiBuild.h"
#include "cards/CardStore.h"
#include "dataset/AtomicFile.h"
#include "draw/DrawPanel.h"
#include "web/WebServer.h"
#include "draw/CardCheckPanel.h"
#include "game/DrawState.h"
#include "game/FewestPointsTable.h"
#include "draw/UnitVenc.h"
#include "export/ExportPanel.h"
#include "issue/CardLayout.h"
#include "issue/ColoursPanel.h"
#include "issue/IssuePanel.h"
#include "report/PreviewWindow.h"
#include "report/ReportForm.h"
#include "validation/ValidationPanel.h"
#include "validation/ValidationRegistry.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QResource>
#include <QThread>
#include <QTimer>

#include <functional>

namespace bolaris {

namespace {

// The menu's background at the size it is shown (times the screen's pixel
// ratio), read once per process: the bare pixels the build made at that
// size when there are (src/CMakeLists.txt), else the large picture scaled,
// which is 12 MB once decoded, too large for Qt's pixmap cache, and whose
// decoding alone would be most of a start's time.
QPixmap background(QSize size)
{
    static QByteArray made; // the bare pixels, which the image reads in place
    static const QImage scaled = [size] {
        const qreal ratio = qApp->devicePixelRatio();
        const QSize pixels = size * ratio;
        QImage image;
        made = QResource(QStringLiteral(":/bolaris/background-%1x%2.rgb32").arg(pixels.width()).arg(pixels.height()))
                   .uncompressedData();
        if (made.size() == qsizetype(pixels.width()) * pixels.height() * 4)
            image = QImage(reinterpret_cast<const uchar *>(made.constData()), pixels.width(), pixels.height(),
                           QImage::Format_RGB32);
        if (image.isNull()) {
            image.load(QStringLiteral(":/bolaris/background.png"));
            if (image.isNull())
                return image;
            image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        image.setDevicePixelRatio(ratio);
        return image;
    }();
    return QPixmap::fromImage(scaled);
}

// The panel's first entry box in its tab order, or its first control when it
// has none, among those seen gives; null when there is none.
QWidget *firstEntry(QWidget *panel, const std::function<bool(QWidget *)> &seen)
{
    QWidget *first = nullptr;
    for (QWidget *w = panel->nextInFocusChain(); w && w != panel; w = w->nextInFocusChain()) {
        if (!panel->isAncestorOf(w) || !(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(panel) ||
            !w->isEnabled() || !seen(w))
            continue;
        if (qobject_cast<QLineEdit *>(w))
            return w;
        if (!first)
            first = w;
    }
    return first;
}

} // namespace

TFormMenu::TFormMenu(const QString &workDir, Prompter &prompter, QWidget *parent, Start start)
    : QMainWindow(parent), m_workDir(workDir), m_prompter(prompter), m_store(std::make_unique<CardStore>()),
      m_registry(std::make_unique<ValidationRegistry>(workDir, RegistryLocation::choose(workDir))), m_sheets(std::make_unique<SheetIssue>(workDir)),
      m_drawState(std::make_unique<DrawState>()), m_fewest(std::make_unique<FewestPointsTable>(workDir)),
      m_sound(std::make_unique<EffectSoundPlayer>()),
      m_previews(std::make_unique<WindowPreviewHost>(workDir, UserFolder::saveFolder(workDir))), m_colourChooser(std::make_unique<DialogColourChooser>())
{
    setObjectName(QStringLiteral("TFormMenu"));
    setWindowTitle(QStringLiteral("Bolaris 90/15 "));
    if (m_registry->location().isServer())
        setWindowTitle(windowTitle() + QStringLiteral("- ") + m_registry->location().caption());
    setFont(ui::sansFont(11));

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    m_client->setFixedSize(810, 551);
    ui::setBackground(m_client, ui::clBtnFace());
    setCentralWidget(m_client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    auto *image = new QLabel(m_client);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(69, 2, 673, 537);
    image->setScaledContents(true);
    image->setPixmap(background(image->size()));

    buildMenu();
    if (start == Start::Whole) {
        completeStart();
    } else {
        // Once the window has been painted; at the latest shortly after
        // the event loop starts, in case it is never shown.
        m_image = image;
        image->installEventFilter(this);
        QTimer::singleShot(500, this, &TFormMenu::completeStart);
    }
}

void TFormMenu::completeStart()
{
    if (m_started || m_closed)
        return;
    m_started = true;
    if (m_image) {
        m_image->removeEventFilter(this);
        m_image = nullptr;
    }
    // Created in stacking order: the later panel lies above the earlier.
    m_validation = new ValidationPanel(m_client, *m_registry, m_prompter);
    m_issue = new IssuePanel(m_client, *m_sheets, *m_store, m_forms, m_prompter, *m_previews);
    m_colours = new ColoursPanel(m_client, m_forms, *m_colourChooser);
    m_draw = new DrawPanel(m_client, *m_drawState, *m_registry, m_store->table(), *m_fewest, m_workDir, m_prompter,
                           *m_sound);
    m_export = new ExportPanel(m_client, m_workDir, *m_store, m_prompter);

    connect(m_issue->exitButton(), &QPushButton::clicked, this, &TFormMenu::ButtonCancelaClick);
    connect(m_validation->exitButton(), &QPushButton::clicked, this, &TFormMenu::ButtonSaiValClick);
    connect(m_colours->exitButton(), &QPushButton::clicked, this, &TFormMenu::ButtonOKCoresClick);
    m_draw->setLeaveAction([this] { setMenuShown(true); });
    m_web = std::make_unique<WebServer>(m_store->table());
    m_draw->setDrawFeed(*m_web);
    connect(m_export->exitButton(), &QPushButton::clicked, this, &TFormMenu::ButtonSaiGClick);

    FormCreate();
    createOtherWindows();
    Q_EMIT started();
}

bool TFormMenu::eventFilter(QObject *watched, QEvent *e)
{
    // The background's first paint: the rest is made once this paint is
    // on the screen.
    if (watched == m_image && e->type() == QEvent::Paint)
        QTimer::singleShot(0, this, &TFormMenu::completeStart);
    return QMainWindow::eventFilter(watched, e);
}

TFormMenu::~TFormMenu()
{
    // The panels show the registry, the card store and the sheets: they go
    // before those members do, not after them with the window's children.
    delete m_client;
    m_client = nullptr;
    for (QObject *window : m_windows)
        delete window;
}

void TFormMenu::setPreviewHost(std::unique_ptr<PreviewHost> host)
{
    completeStart();
    m_previews = std::move(host);
    m_issue->setPreviewHost(*m_previews);
}

void TFormMenu::setColourChooser(std::unique_ptr<ColourChooser> chooser)
{
    completeStart();
    m_colourChooser = std::move(chooser);
    m_colours->setChooser(*m_colourChooser);
}

void TFormMenu::FormCreate()
{
    // Placed at left 0, top 0 when it is shown (setVisible): a move before
    // then would put the client area there, and the title bar off the screen.
    AtomicFile::removeStale(m_workDir); // what a crashed run was writing
    openRegistry();
    QWidget *conf = m_draw->cardCheckPanel();
    conf->raise();
    conf->move(5, 3);
}

void TFormMenu::openRegistry()
{
    // The command-line tool holds the folder's registry only for one entry;
    // another program holds it for good, so its registry is only shown.
    ValidationRegistry::Lock lock = m_registry->lock();
    for (int i = 0; i < 50 && lock == ValidationRegistry::Lock::HeldByTool; ++i) {
        QThread::msleep(100);
        lock = m_registry->lock();
    }
    const ValidationRegistry::Opened opened = m_registry->openLocked(lock);
    m_validation->refreshGrids();
    if (!opened.portuguese.isEmpty())
        QTimer::singleShot(0, this, [this, message = opened.portuguese] {
            m_prompter.inform(QStringLiteral("Validação de cartelas"), message, MessageIcon::Information);
        });
}

void TFormMenu::createOtherWindows()
{
    for (const CardLayout &layout : allLayouts()) {
        auto *form = new ReportForm(buildReport(layout));
        m_windows.push_back(form);
        m_forms.add(form);
        if (layout.name == QLatin1String("TFormCar1")) {
            // The winners window comes between the report forms.
            auto *venc = new TFormVenc(m_store->table(), *m_drawState);
            venc->hide();
            m_windows.push_back(venc);
            m_draw->setWinnersWindow(venc);
            venc->setKeepClear([draw = m_draw] { return draw->controlsColumn(); });
        }
    }
}

void TFormMenu::buildMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto entry = [this, bar](const char *name, const QString &caption, void (TFormMenu::*handler)()) {
        QAction *a = bar->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    m_menuEmissao = entry("MenuEmissao", QStringLiteral("Emissão de cartelas"), &TFormMenu::MenuEmissaoClick);
    m_menuValidacao =
        entry("MenuValidacao", QStringLiteral("Validação das cartelas"), &TFormMenu::MenuValidacaoClick);
    m_menuOpcoes = bar->addMenu(QStringLiteral("Opções da cartela"));
    m_menuOpcoes->setObjectName(QStringLiteral("MenuOpcoes"));
    m_menuOpcoes->menuAction()->setObjectName(QStringLiteral("MenuOpcoes"));
    m_menuOpcoes->setFont(bar->font()); // a pop-up does not take its window's font
    m_menuCores = m_menuOpcoes->addAction(QStringLiteral("Cores"));
    m_menuCores->setObjectName(QStringLiteral("MenuCores"));
    connect(m_menuCores, &QAction::triggered, this, &TFormMenu::MenuCoresClick);
    QAction *exportEntry = m_menuOpcoes->addAction(QStringLiteral("Gerar arquivo .CSV para Excell/Corel/Word"));
    exportEntry->setObjectName(QStringLiteral("Exportaodobancodedados1"));
    connect(exportEntry, &QAction::triggered, this, &TFormMenu::Exportaodobancodedados1Click);
    m_menuSorteio = entry("MenuSorteio", QStringLiteral("Sorteio"), &TFormMenu::MenuSorteioClick);
    m_menuSair = entry("MenuSair", QStringLiteral("Sair"), &TFormMenu::MenuSairClick);
    // An emptied menu bar keeps its height, so the panels do not move.
    bar->setMinimumHeight(bar->sizeHint().height());
}

void TFormMenu::setMenuShown(bool shown)
{
    for (QAction *a : {m_menuEmissao, m_menuValidacao, m_menuOpcoes->menuAction(), m_menuCores, m_menuSorteio,
                       m_menuSair})
        a->setVisible(shown);
}

void TFormMenu::enterMode(QWidget *panel)
{
    setMenuShown(false);
    panel->show();
    if (QWidget *first = firstEntry(panel, [](QWidget *) { return true; }))
        first->setFocus(Qt::TabFocusReason);
    keepFocusInSight(panel);
}

bool TFormMenu::underExport(const QWidget *w) const
{
    return m_export->isVisible() && w != m_export && !m_export->isAncestorOf(w) &&
           QRect(w->mapTo(m_client, QPoint(0, 0)), w->size()).intersects(m_export->geometry());
}

void TFormMenu::keepFocusInSight(QWidget *panel)
{
    // A mode panel opened while the Export panel is shown lies beneath it:
    // the keyboard goes to its first entry the Export panel leaves in sight,
    // and when it leaves none, stays with the Export panel, in front.
    const QWidget *focus = focusWidget();
    if (!m_export->isVisible() || (focus && !underExport(focus)))
        return;
    if (QWidget *seen = firstEntry(panel, [this](QWidget *w) { return !underExport(w); }))
        seen->setFocus(Qt::TabFocusReason);
    else if (QWidget *last = m_export->focusWidget(); last && last->isVisible())
        last->setFocus(Qt::OtherFocusReason);
    else
        m_export->seriesEdit()->setFocus(Qt::OtherFocusReason);
}

void TFormMenu::leaveMode(QWidget *panel)
{
    setMenuShown(true);
    panel->hide();
}

bool TFormMenu::event(QEvent *e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(e);
}

void TFormMenu::FormActivate()
{
    const CardStore::FillResult result = m_store->FillCardStore(m_workDir);
    // Reported once per unreadable file, after the activation has finished,
    // since closing the message box activates the window again.
    if (!result.error.isEmpty() && !result.errorRepeated)
        QTimer::singleShot(0, this, [this, message = result.error] { m_prompter.error(message); });
}

void TFormMenu::setVisible(bool visible)
{
    QMainWindow::setVisible(visible);
    if (visible && !m_framePlaced) { // the left 0, top 0 of the window's creation
        m_framePlaced = true;
        ui::placeFrame(this, QPoint(0, 0));
    }
}

void TFormMenu::closeEvent(QCloseEvent *e)
{
    // The program ends from any state: a save or print in progress stops
    // and its preview closes; what a ball event still had to do is dropped.
    m_previews->closeAll();
    if (m_draw)
        m_draw->abandon();
    FormClose();
    e->accept();
    Q_EMIT closed();
}

void TFormMenu::FormClose()
{
    if (m_closed)
        return;
    m_closed = true;
    try {
        m_registry->close();
    } catch (const DatasetError &e) {
        m_prompter.error(e.forOperator());
    }
    try {
        m_fewest->close();
    } catch (const DatasetError &e) {
        m_prompter.error(e.message());
    }
}

void TFormMenu::MenuEmissaoClick()
{
    completeStart();
    enterMode(m_issue);
}
void TFormMenu::MenuValidacaoClick()
{
    completeStart();
    setMenuShown(false);
    m_validation->open();
    keepFocusInSight(m_validation);
}
void TFormMenu::MenuCoresClick()
{
    completeStart();
    enterMode(m_colours);
}
void TFormMenu::MenuSorteioClick()
{
    completeStart();
    setMenuShown(false);
    m_draw->enter();
    keepFocusInSight(m_draw);
}

void TFormMenu::Exportaodobancodedados1Click()
{
    completeStart();
    m_export->show();
    m_export->seriesEdit()->setFocus();
}

void TFormMenu::MenuSairClick() { close(); }
void TFormMenu::ButtonCancelaClick()
{
    completeStart();
    leaveMode(m_issue);
}
void TFormMenu::ButtonSaiValClick()
{
    completeStart();
    leaveMode(m_validation);
}
void TFormMenu::ButtonOKCoresClick()
{
    completeStart();
    leaveMode(m_colours);
    m_colours->applySample();
}
void TFormMenu::ButtonSairClick()
{
    completeStart();
    m_draw->ButtonSairClick();
}
void TFormMenu::ButtonSaiGClick()
{
    completeStart();
    // The mode panel beneath comes into sight, and the keyboard goes back to
    // where the panel had it (its first entry when it lay under the Export panel).
    QWidget *panel = nullptr;
    for (QWidget *mode : std::initializer_list<QWidget *>{m_issue, m_validation, m_colours, m_draw})
        if (mode->isVisible())
            panel = mode;
    QWidget *before = panel ? panel->focusWidget() : nullptr;
    m_export->hide();
    if (!panel)
        return;
    if (!before || !before->isVisible() || !before->isEnabled())
        before = firstEntry(panel, [](QWidget *) { return true; });
    if (before)
        before->setFocus(Qt::OtherFocusReason);
}

} // namespace bolaris
