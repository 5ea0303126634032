#pragma once

namespace bolaris {

class ReportForm;
struct ReportData;

// Shows a report's preview and returns when the operator has closed it.
class PreviewHost {
public:
    virtual ~PreviewHost() = default;
    virtual void showAndWait(const ReportForm &form, ReportData data) = 0;
    // The program is ending: every open preview stops its save or print and
    // closes, so the waits in showAndWait return.
    virtual void closeAll() {}
};

} // namespace bolaris
