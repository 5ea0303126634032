#include "CardLayout.h"

namespace bolaris {

QString seriesLabel(int ticket)
{
    return ticket == 1 ? QStringLiteral("LabelSerie") : QStringLiteral("LabelSerie%1").arg(ticket);
}

namespace {

const std::vector<double> &perFrame(const std::vector<std::vector<double>> &lists, size_t frame)
{
    return lists.size() > frame ? lists[frame] : lists.front();
}

} // namespace

std::vector<CardLayout> allLayouts()
{
    return {layoutFormCar(),  layoutFormCar4(),  layoutFormCar2(),  layoutFormCar1(),
            layoutFormCarG(), layoutFormCarGG(), layoutFormCar3A4()};
}

ReportDefinition buildReport(const CardLayout &layout)
{
    ReportDefinition def;
    def.name = layout.name;
    def.page = layout.page;
    def.band = layout.band;
    const CardLayout::Frames &fr = layout.frames;
    const CardLayout::Cells &cells = layout.cells;

    for (size_t k = 0; k < fr.tops.size(); ++k) {
        const QRectF box(fr.left, fr.tops[k], fr.width, fr.height);
        if (fr.drawn) {
            def.frames.push_back({box, 3, Qt::white});
            for (double x : fr.gridX)
                def.lines.push_back({QLineF(box.left() + x, box.top(), box.left() + x, box.bottom()), fr.gridPen});
            for (double y : perFrame(fr.gridY, k))
                def.lines.push_back({QLineF(box.left(), box.top() + y, box.right(), box.top() + y), fr.gridPen});
        }
        // Rows 3k+1..3k+3 of the record are ticket k+1.
        const std::vector<double> &rowTops = perFrame(cells.y, k);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 9; ++c) {
                ReportText cell;
                cell.box = QRectF(box.left() + cells.x[size_t(c)], box.top() + rowTops[size_t(r)], cells.width,
                                  cells.height);
                cell.source = ReportText::Source::Field;
                cell.value = QStringLiteral("N%1%2").arg(3 * int(k) + r + 1).arg(c + 1);
                cell.alignment = Qt::AlignHCenter;
                cell.transparent = true;
                cell.bandFont = true;
                def.texts.push_back(cell);
            }
        }
    }

    for (const CardLayout::Header &h : layout.headers) {
        for (size_t i = 0; i < h.tops.size(); ++i) {
            const int ticket = h.firstTicket + int(i);
            ReportText text;
            text.box = QRectF(h.left, h.tops[i], h.width, h.height);
            text.alignment = h.alignment;
            text.font = h.font;
            switch (h.content) {
            case CardLayout::Content::Static:
                text.source = ReportText::Source::Static;
                text.value = h.text;
                break;
            case CardLayout::Content::CardNumber:
                text.source = ReportText::Source::Field;
                text.value = QStringLiteral("Numero");
                break;
            case CardLayout::Content::Series:
                text.source = ReportText::Source::Label;
                text.value = seriesLabel(ticket);
                def.labels[text.value] = QStringLiteral("Cartela");
                break;
            case CardLayout::Content::Ticket:
                text.source = ReportText::Source::Field;
                text.value = QStringLiteral("Cartao%1").arg(ticket);
                break;
            }
            def.texts.push_back(text);
        }
    }
    return def;
}

} // namespace bolaris

namespace bolaris {
std::vector<double> steps(double start, double step, int count)
{
    std::vector<double> v;
    for (int i = 0; i < count; ++i)
        v.push_back(start + step * i);
    return v;
}
} // namespace bolaris
