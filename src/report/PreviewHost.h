#pragma once

namespace bolaris {

class ReportForm;
struct ReportData;

// Shows a report's preview and returns when the operator has closed it.
class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    virtual void showAndWait(const ReportForm &form, ReportData data) = 0;
};

} // namespace bolaris
