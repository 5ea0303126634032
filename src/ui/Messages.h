#pragma once

#include "Prompter.h"

class QWidget;

namespace bolaris {

// Prompter through the toolkit's modal message boxes, owned by parent.
class MessageBoxPrompter : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget *parent = nullptr) : m_parent(parent) {}
    void inform(const QString &caption, const QString &text, MessageIcon icon) override;
    bool ask(const QString &caption, const QString &text, bool defaultYes) override;

private:
    QWidget *m_parent;
};

} // namespace bolaris
