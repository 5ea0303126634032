#pragma once

#include "SheetIssue.h"

#include <memory>
#include <vector>

namespace bolaris {

// The seven report forms built from their layouts and owned here, for users
// without a main window (the command-line tool, tests, benchmarks).
class ReportFormSet {
public:
    ReportFormSet();
    ~ReportFormSet();
    const ReportForms &forms() const { return m_forms; }

private:
    std::vector<std::unique_ptr<ReportForm>> m_owned;
    ReportForms m_forms;
};

} // namespace bolaris
