#include "AtaDialog.h"

#include "cards/CardStore.h"
#include "dataset/DatasetError.h"
#include "game/LoggedDraw.h"
#include "game/MinutesReport.h"
#include "report/PreviewWindow.h"
#include "ui/Prompter.h"
#include "ui/UiBuild.h"
#include "validation/ValidationRegistry.h"

#include <QApplication>
#include <QDateEdit>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>

namespace bolaris {

namespace {
const QString kAtaCaption = QStringLiteral("Ata do sorteio");
} // namespace

AtaDialog::AtaDialog(QWidget *parent, const QString &workDir, const CartelaTable &cards, ValidationRegistry &registry,
                     Prompter &prompter)
    : QDialog(parent), m_workDir(workDir), m_cards(cards), m_registry(registry), m_prompter(prompter)
{
    setObjectName(QStringLiteral("DialogAta"));
    setWindowTitle(kAtaCaption);

    int last = 0;
    QString unreadable;
    try {
        last = LoggedDraw::lastDraw(workDir);
    } catch (const DatasetError &e) {
        unreadable = e.forOperator();
    }

    m_byDraw = new QRadioButton(QStringLiteral("Sorteio nº"), this);
    m_byDraw->setObjectName(QStringLiteral("RadioSorteio"));
    m_draw = new QSpinBox(this);
    m_draw->setObjectName(QStringLiteral("SpinSorteio"));
    m_draw->setRange(1, std::max(last, 1));
    m_draw->setValue(std::max(last, 1));
    m_byDay = new QRadioButton(QStringLiteral("Sorteios do dia"), this);
    m_byDay->setObjectName(QStringLiteral("RadioDia"));
    m_day = new QDateEdit(QDate::currentDate(), this);
    m_day->setObjectName(QStringLiteral("DateDia"));
    m_day->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_day->setCalendarPopup(true);
    (last > 0 ? m_byDraw : m_byDay)->setChecked(true);
    m_byDraw->setEnabled(last > 0);
    m_draw->setEnabled(last > 0);
    // Choosing a number or a day chooses its way too.
    connect(m_draw, &QSpinBox::valueChanged, m_byDraw, [this] { m_byDraw->setChecked(true); });
    connect(m_day, &QDateEdit::dateChanged, m_byDay, [this] { m_byDay->setChecked(true); });

    m_last = new QLabel(this);
    m_last->setObjectName(QStringLiteral("LabelUltimo"));
    m_last->setText(!unreadable.isEmpty() ? QStringLiteral("O registro de sorteios não pôde ser lido: %1").arg(unreadable)
                    : last > 0            ? QStringLiteral("Último sorteio do registro: nº %1.").arg(last)
                                          : QStringLiteral("O registro de sorteios ainda não tem sorteio."));
    m_last->setWordWrap(true);

    auto *visualizar = new QPushButton(QStringLiteral("Visualizar"), this);
    visualizar->setObjectName(QStringLiteral("ButtonVisualizar"));
    visualizar->setDefault(true);
    connect(visualizar, &QPushButton::clicked, this, [this] { ButtonVisualizarClick(); });
    auto *fechar = new QPushButton(QStringLiteral("Fechar"), this);
    fechar->setObjectName(QStringLiteral("ButtonFechar"));
    fechar->setAutoDefault(false);
    connect(fechar, &QPushButton::clicked, this, &QDialog::reject);

    auto *choices = new QGridLayout;
    choices->addWidget(m_byDraw, 0, 0);
    choices->addWidget(m_draw, 0, 1);
    choices->addWidget(m_byDay, 1, 0);
    choices->addWidget(m_day, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(visualizar);
    buttons->addWidget(fechar);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_last);
    layout->addLayout(choices);
    layout->addLayout(buttons);
    (last > 0 ? static_cast<QWidget *>(m_draw) : m_day)->setFocus();
}

PreviewWindow *AtaDialog::preview() const { return m_preview; }

bool AtaDialog::ButtonVisualizarClick()
{
    const bool byDraw = m_byDraw->isChecked();
    const QDate day = m_day->date();
    QList<int> draws;
    QString title;
    std::optional<MinutesReport> report;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        draws = byDraw ? QList<int>{m_draw->value()} : LoggedDraw::startedOn(m_workDir, day.toString(Qt::ISODate));
        title = byDraw ? MinutesReport::drawTitle(m_draw->value()) : MinutesReport::dayTitle(day);
        const CompetingSet today = CompetingSet::fromRegistry(m_registry.TableVali(), m_registry.TableValiC());
        report.emplace(MinutesReport::ofDraws(m_workDir, draws, title, m_cards, today));
    } catch (const DatasetError &e) {
        QApplication::restoreOverrideCursor();
        m_prompter.inform(kAtaCaption, QStringLiteral("O registro de sorteios não pôde ser lido: %1").arg(e.forOperator()),
                          MessageIcon::Error);
        return false;
    }
    QApplication::restoreOverrideCursor();
    if (report->drawCount() == 0) {
        m_prompter.inform(kAtaCaption,
                          byDraw ? QStringLiteral("O sorteio nº %1 não está no registro de sorteios.").arg(m_draw->value())
                                 : QStringLiteral("Nenhum sorteio começou em %1.")
                                       .arg(day.toString(QStringLiteral("dd/MM/yyyy"))),
                          MessageIcon::Information);
        return false;
    }
    // A window of the dialog's own, so that the dialog's modality leaves it usable.
    auto *preview = new PreviewWindow(report->definition(), report->takeData(), this);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowTitle(title);
    preview->setWorkDir(m_workDir);
    preview->setSaveName(byDraw ? QStringLiteral("ata-sorteio-%1.pdf").arg(m_draw->value())
                                : QStringLiteral("ata-sorteios-%1.pdf").arg(day.toString(Qt::ISODate)));
    preview->show();
    const QScreen *screen = QGuiApplication::primaryScreen();
    ui::placeFrame(preview, screen ? screen->availableGeometry().topLeft() : QPoint(0, 0));
    m_preview = preview;
    return true;
}

} // namespace bolaris
