#include "ReportFormSet.h"

#include "CardLayout.h"
#include "report/ReportForm.h"

namespace bolaris {

ReportFormSet::ReportFormSet()
{
    for (const CardLayout &layout : allLayouts()) {
        m_owned.push_back(std::make_unique<ReportForm>(buildReport(layout)));
        m_forms.add(m_owned.back().get());
    }
}

ReportFormSet::~ReportFormSet() = default;

} // namespace bolaris
