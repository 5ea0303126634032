#pragma once

#include "report/ReportDefinition.h"

#include <initializer_list>
#include <vector>

namespace bolaris {

// A card sheet layout as the tables give it: page, band, ticket frames with
// their grids, number cells and header texts. buildReport turns it into a
// report definition; the drawing is the report engine's.
struct CardLayout {
    struct Frames {
        bool drawn = true; // false: no frame and no grid, only the cell places
        double left = 0;
        double width = 0;
        double height = 0;
        std::vector<double> tops;
        std::vector<double> gridX;             // vertical lines from the frame's left edge
        std::vector<std::vector<double>> gridY; // horizontal lines per frame (one list serves all)
        double gridPen = 2;
    };
    struct Cells {
        double width = 0;
        double height = 0;
        std::vector<double> x;              // left of columns 1..9 from the frame's left edge
        std::vector<std::vector<double>> y; // top of rows 1..3 per frame (one list serves all)
    };
    enum class Content { Static, CardNumber, Series, Ticket };
    struct Header {
        std::vector<double> tops; // one text per top: ticket k = 1.. (or firstTicket..)
        double left = 0;
        double width = 0;
        double height = 0;
        Content content = Content::Static;
        QString text; // Static
        Qt::Alignment alignment = Qt::AlignLeft;
        ReportFont font;
        int firstTicket = 1;
    };

    QString name;
    ReportPage page;
    ReportBand band;
    Frames frames;
    Cells cells;
    std::vector<Header> headers;
};

ReportDefinition buildReport(const CardLayout &layout);

// The series caption label of ticket k: "LabelSerie", "LabelSerie2" ...
QString seriesLabel(int ticket);

// Papers.
inline ReportPage a4Landscape() { return {297, 210, false, 0, 0, 0, 0, 1}; }
inline ReportPage a4Portrait() { return {210, 297, false, 0, 0, 0, 0, 1}; }
inline ReportPage customPaper(double width, double length) { return {width, length, true, 0, 0, 0, 0, 1}; }

inline ReportFont courierNew(double points, bool bold = true) { return {QStringLiteral("Courier New"), points, bold, {}}; }
inline ReportFont arial(double points, bool bold = true) { return {QStringLiteral("Arial"), points, bold, {}}; }

// The seven layouts in the order the program creates their forms.
std::vector<CardLayout> allLayouts();

// The seven layouts, one declaration each.
CardLayout layoutFormCar();
CardLayout layoutFormCar4();
CardLayout layoutFormCar2();
CardLayout layoutFormCar1();
CardLayout layoutFormCarG();
CardLayout layoutFormCarGG();
CardLayout layoutFormCar3A4();

} // namespace bolaris

namespace bolaris {
// start, start + step, ... (count values): cell columns given by a rule.
std::vector<double> steps(double start, double step, int count = 9);
} // namespace bolaris
