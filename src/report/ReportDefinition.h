#pragma once

#include <QColor>
#include <QLineF>
#include <QRectF>
#include <QString>

#include <map>
#include <vector>

namespace bolaris {

// A banded report with one detail band printed once per record. Lengths are
// millimetres from the top-left corner of the band; fonts are in points.

struct ReportFont {
    QString family;
    double points = 10;
    bool bold = false;
    QColor colour; // invalid: the system's window-text colour
    bool operator==(const ReportFont &) const = default;
};

struct ReportPage {
    double width = 210;  // paper width as printed (landscape already swapped)
    double length = 297; // paper length (height)
    bool custom = false; // only a custom paper takes a set length and width
    double marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
    int columns = 1;
};

struct ReportText {
    enum class Source { Static, Field, Label };
    QRectF box;
    Source source = Source::Static;
    QString value; // the text, the field name or the label name
    Qt::Alignment alignment = Qt::AlignLeft;
    bool transparent = false; // opaque boxes paint white under the text
    bool bandFont = false;    // number cells follow the band's font
    ReportFont font;          // own font of a header text
};

struct ReportFrame {
    QRectF box;
    double pen = 3;
    QColor fill = Qt::white;
};

struct ReportLine {
    QLineF line;
    double pen = 1;
};

struct ReportBand {
    QString name = QStringLiteral("DetailBand1");
    double width = 0;
    double height = 0;
    ReportFont font; // the numbers font
    bool cutLeft = false, cutRight = false, cutBottom = false;
};

struct ReportDefinition {
    QString name;
    ReportPage page;
    ReportBand band;
    std::vector<ReportFrame> frames; // ticket frames, top to bottom
    std::vector<ReportLine> lines;   // grid lines
    std::vector<ReportText> texts;   // header texts and number cells
    std::map<QString, QString> labels; // run-time texts of Label sources
    // Texts painted once on every page, boxes from the page's top-left
    // corner (a page heading or footer); in their text "{page}" and "{pages}"
    // stand for the page's number and the count of pages.
    std::vector<ReportText> pageTexts;
};

// Pen widths of the engine in millimetres: 1 is the thinnest.
inline double penMillimetres(double pen) { return 0.12 * pen; }

} // namespace bolaris
