#pragma once

#include "app/ModePanel.h"

namespace bolaris {

class ValidationPanel : public ModePanel {
    Q_OBJECT
public:
    explicit ValidationPanel(QWidget *parent);
};

} // namespace bolaris
