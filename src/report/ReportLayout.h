#pragma once

#include "ReportData.h"
#include "ReportDefinition.h"

#include <QSizeF>

#include <functional>

#include <vector>

class QPainter;
class QPagedPaintDevice;

namespace bolaris {

struct WriteFailure;

// Where the bands of a report fall: equal columns filled column by column,
// bands one under the other from the top margin.
class ReportLayout {
public:
    struct Band {
        int record;
        double x;
        double y;
    };

    ReportLayout(const ReportPage &page, const ReportBand &band, int recordCount);

    int pageCount() const { return m_pages; }
    int bandsPerColumn() const { return m_perColumn; }
    int bandsPerPage() const { return m_perColumn * m_columns; }
    QSizeF pageSize() const { return m_size; }
    std::vector<Band> bandsOnPage(int page) const;

private:
    QSizeF m_size;
    double m_left, m_top, m_columnWidth;
    double m_bandHeight;
    int m_columns;
    int m_perColumn;
    int m_records;
    int m_pages;
};

// One thing to paint, in millimetres on the page.
struct DisplayItem {
    enum class Kind { Band, Frame, Line, Text, CutLine };
    Kind kind;
    QRectF rect;   // Band, Frame, Text
    QLineF line;   // Line, CutLine
    double pen = 0; // millimetres
    QColor fill;   // Band, Frame; Text when opaque
    QColor colour; // outline, line or text colour
    QString text;
    ReportFont font;
    Qt::Alignment alignment;
    const ReportFont *fontSource = nullptr; // the definition's font, for caching while painting
};

// The items of one page, in painting order: band backgrounds, frame fills and
// outlines, grid lines, texts, cut lines.
std::vector<DisplayItem> pageItems(const ReportDefinition &definition, const ReportData &data,
                                   const ReportLayout &layout, int page);

// Paints items scaled so that one millimetre is dotsPerMm device pixels, on a
// paper of the given size at the painter's origin: nothing is painted off it
// (a caption wider than the room left to it stops at the paper's edge).
void paintItems(QPainter &painter, const std::vector<DisplayItem> &items, double dotsPerMm, const QSizeF &paper);

// Pages of the report onto a paged device (PDF writer or printer). progress
// gets the number of pages done and returns false to stop; false when stopped.
bool renderReport(QPagedPaintDevice &device, const ReportDefinition &definition, const ReportData &data,
                  const std::function<bool(int done, int total)> &progress = {});

// Writes the report to a PDF file through AtomicFile: a stopped or failed save
// leaves path as it was. failure says why a save failed (untouched when stopped).
bool writePdf(const QString &path, const ReportDefinition &definition, const ReportData &data,
              const std::function<bool(int done, int total)> &progress = {}, WriteFailure *failure = nullptr);

} // namespace bolaris
