#include "ValidationPanel.h"

#include "RegistryWatch.h"
#include "ValidationRegistry.h"
#include "ui/Prompter.h"
#include "ui/UiBuild.h"
#include "dataset/DatasetModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTableView>

namespace bolaris {

namespace {

constexpr QChar kEnter(13);
constexpr QChar kBackspace(8);

QPlainTextEdit *memo(QWidget *parent, const QString &name, const QRect &place, const QStringList &lines)
{
    auto *m = new QPlainTextEdit(parent);
    m->setObjectName(name);
    m->setGeometry(place);
    // The stand-in for "MS Sans Serif" runs a little wider: narrowed so that
    // each help line keeps to one line of the box, as designed.
    QFont font = m->font();
    font.setStretch(90);
    m->setFont(font);
    m->document()->setDocumentMargin(2);
    m->setTabChangesFocus(true);
    m->setPlainText(lines.join(QLatin1Char('\n')));
    return m;
}

QTableView *grid(QWidget *parent, const QString &name, const QRect &place, DatasetModel *model)
{
    auto *view = new QTableView(parent);
    view->setObjectName(name);
    view->setGeometry(place);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTabKeyNavigation(false); // Tab goes on to the next control; arrows move in the grid
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->verticalHeader()->setDefaultSectionSize(18);
    view->verticalHeader()->setFixedWidth(11);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->horizontalHeader()->setFont(model->titleFont);
    for (int c = 0; c < model->columns().size(); ++c)
        view->setColumnWidth(c, model->columns()[c].width);
    return view;
}

} // namespace

ValidationPanel::ValidationPanel(QWidget *parent, ValidationRegistry &registry, Prompter &prompter)
    : ModePanel(parent, QStringLiteral("PanelValidacao"), {41, 50, 737, 425}), m_registry(registry),
      m_prompter(prompter)
{
    using namespace ui;
    label(this, QStringLiteral("LabelTitVal"), QStringLiteral("Validação de cartelas"), 16, 16, sansFont(32));
    label(this, QStringLiteral("LabelCartVal"), QStringLiteral("Cartelas validadas"), 6, 62, sansFont(15));
    m_count = label(this, QStringLiteral("LabelValidadas"), QString(), 133, 62, sansFont(16, Bold));
    setTextColour(m_count, clRed);
    label(this, QStringLiteral("LabelUltCap"), QStringLiteral("Última validada"), 21, 94, sansFont(15));
    m_last = label(this, QStringLiteral("LabelUltval"), QString(), 133, 94, sansFont(16, Bold));
    setTextColour(m_last, clRed);
    label(this, QStringLiteral("LabelValidar"), QStringLiteral("Validar:"), 13, 146, sansFont(19, Bold));
    QLabel *serieCaption = label(this, QStringLiteral("LabelSer"), QStringLiteral("Série"), 112, 151, sansFont(15));
    m_serie = edit(this, QStringLiteral("EditSer"), 160, 145, 27, 28, sansFont(16, Bold));
    fitBefore(serieCaption, m_serie);
    upperCase(m_serie);
    QLabel *cardCaption =
        label(this, QStringLiteral("LabelCartela"), QStringLiteral("Cartela a validar"), 48, 187, sansFont(15));
    m_card = edit(this, QStringLiteral("EditVal"), 160, 178, 120, 28, sansFont(16, Bold));
    fitBefore(cardCaption, m_card);
    m_memo2 = memo(this, QStringLiteral("Memo2"), {16, 224, 289, 81},
                   {QStringLiteral("(Para validar uma cartela digite sua série(de A a L) e o "),
                    QStringLiteral("número da cartela e tecle ENTER. Para validar um grupo "),
                    QStringLiteral("de cartelas digite o número da cartela inicial e final "),
                    QStringLiteral("separados por um hífen e a série. Ex. 30-47 B)")});
    m_reset = button(this, QStringLiteral("ButtonInival"), QStringLiteral("Inicializa a validação"), 16, 353, 149, 35);
    setPicture(m_reset, QStyle::SP_TrashIcon);
    addExitButton(QStringLiteral("ButtonSaiVal"), QStringLiteral("Sai"), {219, 353, 86, 35}, QStyle::SP_DialogCloseButton);

    const QFont gridText = sansFont(12, Bold);
    const QFont numberText = sansFont(11, Bold);
    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    label(this, QStringLiteral("LabelGrid1"), QStringLiteral("Cartelas validadas"), 357, 54, sansFont(15));
    m_model1 = new DatasetModel(registry.TableVali(),
                                {{QStringLiteral("Serie"), QStringLiteral("Série"), 33, left, clBlue, gridText},
                                 {QStringLiteral("Numero"), QStringLiteral("Cartela"), 49, right, clBtnText(), numberText}},
                                this);
    m_model1->titleFont = sansFont(11);
    m_grid1 = grid(this, QStringLiteral("DBGrid1"), {354, 73, 135, 217}, m_model1);
    label(this, QStringLiteral("LabelGrid2"), QStringLiteral("Cartão devolvidos"), 532, 55, sansFont(15));
    m_model2 = new DatasetModel(registry.TableValiC(),
                                {{QStringLiteral("Serie"), QStringLiteral("Série"), 33, left, clBlue, gridText},
                                 {QStringLiteral("Cartao"), QStringLiteral("Cartão"), 49, right, clBtnText(), numberText},
                                 {QStringLiteral("Cartela"), QStringLiteral("Cartela"), 39, right, clBlue, gridText}},
                                this);
    m_model2->titleFont = sansFont(11);
    m_grid2 = grid(this, QStringLiteral("DBGrid2"), {528, 73, 169, 217}, m_model2);
    m_memo3 = memo(this, QStringLiteral("Memo3"), {392, 296, 289, 49},
                   {QStringLiteral("Se uma cartela validada não teve todos os seus cartões "),
                    QStringLiteral("vendiidos, digite aqui os códigos destes cartões para que "),
                    QStringLiteral("não participem do sorteio")});
    QLabel *ticketCaption =
        label(this, QStringLiteral("LabelDevolvido"), QStringLiteral("Cartão devolvido"), 400, 359, sansFont(15));
    m_ticket = edit(this, QStringLiteral("EditValC"), 511, 350, 120, 28, sansFont(16, Bold));
    fitBefore(ticketCaption, m_ticket);

    tabOrder({m_card, m_grid1, m_serie, m_ticket, m_grid2, m_memo2, m_memo3, m_reset, exitButton()});

    m_card->installEventFilter(this);
    m_ticket->installEventFilter(this);
    // Any edit of one box by the operator clears the other, also those that
    // come without a typed character: paste, cut, Delete, undo.
    connect(m_card, &QLineEdit::textEdited, m_ticket, &QLineEdit::clear);
    connect(m_ticket, &QLineEdit::textEdited, m_card, &QLineEdit::clear);
    connect(m_reset, &QPushButton::clicked, this, &ValidationPanel::ButtonInivalClick);
    // On a shared registry the other desks' sales reach the grids at once;
    // the count shown beside them follows while the panel is open.
    if (RegistryWatch *watch = registry.watch())
        connect(watch, &RegistryWatch::read, this, [this] {
            if (isVisible())
                showCount();
        });
}

bool ValidationPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_card || watched == m_ticket)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        QChar typed;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            typed = kEnter;
        else if (key->key() == Qt::Key_Backspace)
            typed = kBackspace;
        else if (!key->text().isEmpty() && key->text().at(0).isPrint())
            typed = key->text().at(0);
        if (!typed.isNull()) {
            if (watched == m_card)
                SaiEnter(typed);
            else
                SaiEnterC(typed);
            return typed == kEnter;
        }
    }
    return ModePanel::eventFilter(watched, event);
}

void ValidationPanel::open()
{
    show();
    m_card->setFocus();
    // A registry that could not be used at start is tried again: the cause may be gone.
    if (m_registry.access() != ValidationRegistry::Access::Writable) {
        const ValidationRegistry::Opened opened = m_registry.reopen();
        if (!opened.portuguese.isEmpty())
            m_prompter.inform(QStringLiteral("Validação de cartelas"), opened.portuguese, MessageIcon::Information);
    }
    if (m_registry.TableVali().isOpen())
        m_registry.TableVali().last();
    followCursor();
    showCount();
}

void ValidationPanel::showCount() { m_count->setText(QString::number(m_registry.TableVali().recordCount())); m_count->adjustSize(); }

void ValidationPanel::refreshGrids()
{
    m_model1->refresh();
    m_model2->refresh();
}

void ValidationPanel::followCursor()
{
    refreshGrids();
    for (auto [view, dataset] : {std::pair{m_grid1, &m_registry.TableVali()}, std::pair{m_grid2, &m_registry.TableValiC()}}) {
        if (dataset->isOpen() && dataset->recNo() >= 0) {
            view->selectRow(dataset->recNo());
            view->scrollTo(view->model()->index(dataset->recNo(), 0));
        }
    }
}

void ValidationPanel::SaiEnter(QChar key)
{
    m_ticket->clear();
    if (key != kEnter)
        return;
    try {
        const ValidationRegistry::CardEntry entry = m_registry.SaiEnter(m_serie->text(), m_card->text(), m_prompter);
        switch (entry.outcome) {
        case ValidationRegistry::Outcome::SeriesInvalid:
            m_card->clear();
            m_serie->setFocus();
            break;
        case ValidationRegistry::Outcome::Done:
            m_last->setText(QString::number(entry.lastAdded));
            m_last->adjustSize();
            showCount();
            m_card->clear();
            break;
        default:
            break;
        }
    } catch (const DatasetError &e) {
        m_prompter.error(e.forOperator());
    }
    followCursor();
}

void ValidationPanel::SaiEnterC(QChar key)
{
    m_card->clear();
    if (key != kEnter)
        return;
    try {
        const ValidationRegistry::Outcome outcome =
            m_registry.SaiEnterC(m_serie->text(), m_ticket->text(), m_prompter);
        if (outcome != ValidationRegistry::Outcome::Ignored)
            m_ticket->clear();
        if (outcome == ValidationRegistry::Outcome::SeriesInvalid)
            m_serie->setFocus();
    } catch (const DatasetError &e) {
        m_prompter.error(e.forOperator());
    }
    followCursor();
}

void ValidationPanel::ButtonInivalClick()
{
    try {
        if (m_registry.ButtonInivalClick(m_prompter)) {
            m_count->setText(QStringLiteral("0"));
            m_count->adjustSize();
            m_last->clear();
        }
    } catch (const DatasetError &e) {
        m_prompter.error(e.forOperator());
    }
    followCursor();
}

} // namespace bolaris
