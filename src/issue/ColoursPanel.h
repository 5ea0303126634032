#pragma once

#include "app/ModePanel.h"

namespace bolaris {

// The Colours panel: number and ticket colours of the printed cards.
class ColoursPanel : public ModePanel {
    Q_OBJECT
public:
    explicit ColoursPanel(QWidget *parent);
};

} // namespace bolaris
