#include "ExportPanel.h"

#include "cards/CardStore.h"
#include "ui/UiBuild.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace bolaris {

namespace {

struct ExportLabel {
    const char *text;
    int left;
    int top;
    bool bold;
};

// The panel's texts as they stand, blanks included.
const ExportLabel kExportLabels[] = {
    {"Geração de arquivo .CSV das cartelas para Corel/Word/Excell", 6, 5, true},
    {"Este procedimento gera o arquivo CARTGRAF.CSV no layout:", 24, 32, false},
    {"Número da cartela: 4 caracteres.", 88, 53, false},
    {"Série: 1 caractere", 88, 69, false},
    {"Numero dos 6 cartões: 6x5=30 caracteres", 88, 85, false},
    {"As 18 linhas  de cada cartela,", 88, 101, false},
    {"cada uma com 9 posições: 18x9x2=324 caracteres", 88, 116, false},
    {"Totalizando cada registro  359 caracteres", 24, 138, false},
    {"Série", 122, 164, false},
    {"Cartela inicial", 122, 189, false},
    {"Cartela final", 122, 217, false},
    {"Cartelas/ folha", 122, 245, false},
    {"Preenchimento das casas vazias", 484, 33, true},
    {"(0, 1 ou 2 caracteres ou simbolos)", 498, 48, false},
};

} // namespace

ExportPanel::ExportPanel(QWidget *parent, const QString &workDir, CardStore &store, Prompter &prompter)
    : ModePanel(parent, QStringLiteral("PanelTexto"), {29, 121, 749, 360}), m_export(workDir), m_store(store),
      m_prompter(prompter)
{
    using namespace ui;
    const QFont regular = sansFont(13);
    setFont(regular);
    for (const ExportLabel &l : kExportLabels)
        label(this, {}, QString::fromUtf8(l.text), l.left, l.top, sansFont(13, l.bold ? Bold : Regular));
    m_serie = edit(this, QStringLiteral("EditSerieG"), 215, 158, 21, 24, regular);
    upperCase(m_serie);
    m_first = edit(this, QStringLiteral("EditCIG"), 214, 186, 68, 24, regular);
    m_last = edit(this, QStringLiteral("EditCFG"), 214, 214, 68, 24, regular);
    m_perSheet = edit(this, QStringLiteral("EditCPF"), 214, 242, 26, 24, regular);
    m_fill = edit(this, QStringLiteral("EditSimbolo"), 564, 70, 44, 32, sansFont(19));

    m_gera = button(this, QStringLiteral("ButtonGera"), QStringLiteral("Gera"), 88, 298, 90, 35);
    setPicture(m_gera, QStyle::SP_DialogSaveButton);
    connect(m_gera, &QPushButton::clicked, this, &ExportPanel::ButtonGeraClick);
    addExitButton(QStringLiteral("ButtonSaiG"), QStringLiteral("Sai"), {260, 298, 85, 35}, QStyle::SP_DialogCloseButton);

    tabOrder({m_serie, m_first, m_last, m_perSheet, m_gera, exitButton(), m_fill});
}

void ExportPanel::ButtonGeraClick()
{
    const ExportRequest request{m_serie->text(), m_first->text(), m_last->text(), m_perSheet->text(), m_fill->text()};
    if (m_export.exportCards(request, m_store.table(), m_prompter) == CardExport::Outcome::Written)
        hide();
}

} // namespace bolaris
