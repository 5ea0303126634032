#include "UnitVenc.h"

namespace bolaris {

TFormVenc::TFormVenc(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("TFormVenc"));
    setAttribute(Qt::WA_QuitOnClose, false);
}

} // namespace bolaris
