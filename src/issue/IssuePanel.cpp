#include "IssuePanel.h"

#include "ui/Prompter.h"
#include "ui/UiBuild.h"
#include "cards/CardStore.h"
#include "report/ReportData.h"
#include "report/ReportForm.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QRadioButton>

namespace bolaris {

namespace {

struct RadioSpec {
    PrintModel model;
    const char *name;
    const char *caption;
    int top;
    int width;
};

// The eight print models in the panel, top to bottom.
const RadioSpec kRadios[] = {
    {PrintModel::Check14, "Check14", "1 por folha", 80, 93},
    {PrintModel::Check3, "Check3", "3 por folha", 100, 93},
    {PrintModel::Check4, "Check4", "4 por folha", 118, 94},
    {PrintModel::Check2, "Check2", "2 por folha com grade", 166, 177},
    {PrintModel::Check1, "Check1", "1 por folha sem grade(para gráfica)", 185, 232},
    {PrintModel::CheckG, "CheckG", "1 por folha com grade  ", 232, 184},
    {PrintModel::CheckGG, "CheckGG", "1/2 por folha com grade  ", 250, 184},
    {PrintModel::Check3A4, "Check3A4", "1/3 por folha com grade", 299, 184},
};

struct IssueLabel {
    const char *name;
    const char *text;
    int left;
    int top;
    int pixels;
    bool bold;
};

const IssueLabel kIssueLabels[] = {
    {"LabelTitEmi", "Emissão de Cartelas", 13, 8, 16, true},
    {"Label4", "O sistema emite 12 séries de cartelas", 16, 37, 13, false},
    {"Label5", "numeradas de A a L. Cada série possui", 16, 54, 13, false},
    {"Label6", "2.000 cartelas. Cada cartela 6 cartões", 16, 72, 13, false},
    {"Label7", "com 15 números. São emitidas 3 ou 4  ", 16, 90, 13, false},
    {"Label8", "cartelas por folha.", 16, 108, 13, false},
    {"Label36", "Preenchimento das casas vazias", 17, 140, 13, true},
    {"Label42", "(0, 1 ou 2 caracteres ou simbolos)", 31, 155, 13, false},
    {"Label43", "Intervalo de emissão das cartelas", 17, 229, 13, true},
    {"Label1", "Série", 104, 254, 13, false},
    {"Label2", "Cartela inicial", 57, 281, 13, false},
    {"Label3", "Cartela final", 66, 308, 13, false},
    {"Label44", "Modelos para emissão de cartelas", 342, 37, 15, true},
    {"Label11", "Cartelas por folha A4", 342, 61, 13, true},
    {"Label14", "Modelo 10cm x 28cm - Cartelão", 342, 148, 13, true},
    {"Label20", "Modelo Gigante", 342, 216, 13, true},
    {"Label35", "Modelo especial", 342, 282, 13, true},
};

} // namespace

IssuePanel::IssuePanel(QWidget *parent, SheetIssue &issue, CardStore &store, const ReportForms &forms,
                       Prompter &prompter, PreviewHost &previews)
    : ModePanel(parent, QStringLiteral("PanelEmissao"), {89, 46, 601, 425}), m_issue(issue), m_store(store),
      m_forms(forms), m_prompter(prompter), m_previews(&previews)
{
    using namespace ui;
    setFont(sansFont(13, Bold));
    for (const IssueLabel &l : kIssueLabels)
        label(this, QLatin1String(l.name), QString::fromUtf8(l.text), l.left, l.top,
              sansFont(l.pixels, l.bold ? Bold : Regular));
    const QFont regular = sansFont(13);
    m_fill = edit(this, QStringLiteral("EditSimb"), 99, 177, 44, 32, sansFont(19));
    m_series = edit(this, QStringLiteral("EditSerie"), 141, 250, 21, 24, regular);
    upperCase(m_series);
    m_first = edit(this, QStringLiteral("EditCartin"), 141, 277, 41, 24, regular);
    m_last = edit(this, QStringLiteral("EditCartfin"), 141, 305, 41, 24, regular);

    auto *group = new QButtonGroup(this);
    for (const RadioSpec &r : kRadios) {
        auto *radio = new QRadioButton(QString::fromUtf8(r.caption), this);
        radio->setObjectName(QLatin1String(r.name));
        radio->setFont(regular);
        radio->setGeometry(342, r.top, r.width, 17);
        group->addButton(radio);
        m_models[r.model] = radio;
    }
    m_models[PrintModel::Check14]->setChecked(true);
    tabToSelected(group);

    m_emite = button(this, QStringLiteral("ButtonEmite"), QStringLiteral("Emite"), 184, 367, 86, 35);
    addExitButton(QStringLiteral("ButtonCancela"), QStringLiteral("Sai"), {380, 367, 86, 35},
                  QStyle::SP_DialogCloseButton);
    setPicture(m_emite, QStyle::SP_DialogApplyButton);
    connect(m_emite, &QPushButton::clicked, this, &IssuePanel::ButtonEmiteClick);

    tabOrder({m_series, m_first, m_last, m_models[PrintModel::Check3], m_models[PrintModel::Check4],
              m_models[PrintModel::Check2], m_models[PrintModel::Check1], m_models[PrintModel::Check14],
              m_models[PrintModel::CheckG], m_models[PrintModel::CheckGG], m_models[PrintModel::Check3A4], m_emite,
              exitButton(), m_fill});
}

PrintModel IssuePanel::selectedModel() const
{
    for (const auto &[model, radio] : m_models)
        if (radio->isChecked())
            return model;
    return PrintModel::Check14;
}

void IssuePanel::ButtonEmiteClick()
{
    if (!m_emite->isEnabled())
        return;
    const PrintModel model = selectedModel();
    const IssueRequest request{m_fill->text(), m_series->text(), m_first->text(), m_last->text(), model};
    // No second issue while a preview shows this one: it would rebuild the
    // datasets under the open preview.
    m_emite->setEnabled(false);
    try {
        if (m_issue.buildTableCart(request, m_store.table(), m_prompter)) {
            const PreviewJob job = m_issue.prepareModel(model, m_series->text(), m_forms);
            m_previews->showAndWait(*job.form, ReportData::fromDataset(*job.dataset));
            m_issue.finishModel(model);
            m_issue.closeAll();
        }
    } catch (const DatasetError &e) {
        m_prompter.error(e.forOperator());
        m_issue.closeAllQuietly();
    }
    m_emite->setEnabled(true);
}

} // namespace bolaris
