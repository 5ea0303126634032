#include "CardColours.h"

#include "report/ReportForm.h"

namespace bolaris {

void applyCardColours(const ReportForms &forms, const QColor &ticketColour, const QColor &numberColour)
{
    for (ReportForm *form : {forms.car, forms.carG, forms.carGG, forms.car3A4, forms.car2, forms.car4})
        form->setFrameFill(ticketColour);
    for (ReportForm *form : forms.all())
        form->setBandFontColour(numberColour);
}

} // namespace bolaris
