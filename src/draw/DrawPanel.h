#pragma once

#include "ui/ModePanel.h"

namespace bolaris {

// The Draw panel "Sorteio" with the card check panel PanelConf inside it.
class DrawPanel : public ModePanel {
    Q_OBJECT
public:
    explicit DrawPanel(QWidget *parent);
    QFrame *cardCheckPanel() const { return m_conf; }

private:
    QFrame *m_conf;
};

} // namespace bolaris
