#pragma once

#include "ui/ModePanel.h"
#include "issue/SheetIssue.h"
#include "report/PreviewHost.h"

#include <map>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bolaris {

class CardStore;
class Prompter;
class ReportForm;
struct ReportData;

// The Issue panel "Emissão de Cartelas": the request and its "Emite".
class IssuePanel : public ModePanel {
    Q_OBJECT
public:
    IssuePanel(QWidget *parent, SheetIssue &issue, CardStore &store, const ReportForms &forms, Prompter &prompter,
               PreviewHost &previews);

    void setPreviewHost(PreviewHost &previews) { m_previews = &previews; }

    PrintModel selectedModel() const;
    void ButtonEmiteClick();

private:
    SheetIssue &m_issue;
    CardStore &m_store;
    const ReportForms &m_forms;
    Prompter &m_prompter;
    PreviewHost *m_previews;
    QLineEdit *m_fill;
    QLineEdit *m_series;
    QLineEdit *m_first;
    QLineEdit *m_last;
    QPushButton *m_emite;
    std::map<PrintModel, QRadioButton *> m_models;
};

} // namespace bolaris
