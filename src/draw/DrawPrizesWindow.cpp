#include "DrawPrizesWindow.h"

#include "game/Prizes.h"
#include "ui/UiBuild.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

namespace bolaris {

// The prizes as rows of a table; the view paints only the rows in sight, so
// a full hall's thousands of full tickets cost nothing per ball.
class PrizesModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    const QList<PrizeWon> &prizes() const { return m_prizes; }
    void set(const QList<PrizeWon> &prizes)
    {
        beginResetModel();
        m_prizes = prizes;
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_prizes.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 5; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_prizes.size())
            return {};
        const PrizeWon &p = m_prizes[index.row()];
        if (role == Qt::TextAlignmentRole)
            return index.column() == 0 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case 0:
            return prizes::shownName(p.prize);
        case 1:
            return prizes::ballText(p.order, p.ball);
        case 2:
            return QString(p.ticket.series);
        case 3:
            return p.ticket.card;
        default:
            return p.ticket.ticket;
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const names[5] = {"Prêmio", "Pedra", "Série", "Cartela", "Cartão"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 5)
            return QString::fromUtf8(names[section]);
        return {};
    }

private:
    QList<PrizeWon> m_prizes;
};

DrawPrizesWindow::DrawPrizesWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormPremios"));
    setWindowTitle(QStringLiteral("Prêmios do sorteio"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFont(ui::sansFont(13));
    m_model = new PrizesModel(this);
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("LabelPremios"));
    m_title->setFont(ui::sansFont(15, ui::Bold));
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("GridPremios"));
    m_table->setModel(m_model);
    m_table->setFocusPolicy(Qt::NoFocus);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(20);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_ataButton = new QPushButton(QStringLiteral("Ata do sorteio…"), this);
    m_ataButton->setObjectName(QStringLiteral("ButtonAta"));
    m_ataButton->setFocusPolicy(Qt::NoFocus);
    connect(m_ataButton, &QPushButton::clicked, this, [this] {
        if (m_ata)
            m_ata();
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_title);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_ataButton, 0, Qt::AlignRight);
    setPrizes({}, 0);
}

DrawPrizesWindow::~DrawPrizesWindow() = default;

void DrawPrizesWindow::setPrizes(const QList<PrizeWon> &prizes, int number)
{
    // Called after every ball: the table is laid out again only when it changed.
    const QString title = titleOf(prizes, number);
    if (prizes == m_model->prizes() && title == m_title->text())
        return;
    m_model->set(prizes);
    m_title->setText(title);
    m_table->scrollToBottom(); // the newest prize in sight
}

QString DrawPrizesWindow::titleOf(const QList<PrizeWon> &prizes, int number)
{
    const QString draw = number > 0 ? QStringLiteral("Sorteio %1").arg(number) : QStringLiteral("Sorteio");
    return prizes.isEmpty() ? draw + QStringLiteral(": nenhum prêmio até agora")
                            : draw + QStringLiteral(": %1 prêmio(s)").arg(prizes.size());
}

void DrawPrizesWindow::setDrawRunning(bool running) { m_ataButton->setEnabled(!running); }

QRect DrawPrizesWindow::placeFor(const QRect &mainFrame, const QRect &available, const QRect &keepClear)
{
    const int below = available.bottom() - mainFrame.bottom() - 2;
    if (below >= kMinHeight)
        return {mainFrame.left(), mainFrame.bottom() + 3, mainFrame.width(), std::min(below, kMaxHeight)};
    const int right = available.right() - mainFrame.right() - 2;
    if (right >= 300) {
        const int height = std::min(available.height(), kMaxHeight);
        return {mainFrame.right() + 3, available.bottom() - height + 1, right, height};
    }
    // A small screen: the bottom of it, left of the controls.
    const int width = keepClear.isEmpty() ? available.width() / 2 : std::max(300, keepClear.left() - available.left() - 2);
    return {available.left(), available.bottom() - kMinHeight + 1, width, kMinHeight};
}

void DrawPrizesWindow::showBelow(const QWidget &mainWindow, const QRect &keepClear)
{
    const QScreen *screen = mainWindow.screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 1024);
    const QRect mainFrame = mainWindow.frameGeometry();
    const QRect outer = placeFor(mainFrame, available, keepClear);
    // The window manager frames this window as it frames the main window.
    const QRect inner = mainWindow.geometry();
    const QMargins frame(inner.left() - mainFrame.left(), inner.top() - mainFrame.top(),
                         mainFrame.right() - inner.right(), mainFrame.bottom() - inner.bottom());
    setGeometry(outer.marginsRemoved(frame));
    show();
}

} // namespace bolaris
