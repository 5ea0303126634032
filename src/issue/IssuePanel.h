#pragma once

#include "app/ModePanel.h"

namespace bolaris {

// The Issue panel "Emissão de Cartelas".
class IssuePanel : public ModePanel {
    Q_OBJECT
public:
    explicit IssuePanel(QWidget *parent);
};

} // namespace bolaris
