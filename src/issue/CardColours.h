#pragma once

#include "SheetIssue.h"

#include <QColor>

namespace bolaris {

// Applies the two card colours: the ticket colour fills every ticket frame of
// the six layouts with frames, the number colour is the card band's font
// colour of all seven. Header texts keep their own colours.
void applyCardColours(const ReportForms &forms, const QColor &ticketColour, const QColor &numberColour);

} // namespace bolaris
