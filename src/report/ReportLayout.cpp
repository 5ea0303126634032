#include "ReportLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>

#include <cmath>

namespace bolaris {

ReportLayout::ReportLayout(const ReportPage &page, const ReportBand &band, int recordCount)
    : m_size(page.width, page.length), m_left(page.marginLeft), m_top(page.marginTop),
      m_bandHeight(band.height), m_columns(std::max(1, page.columns)), m_records(recordCount)
{
    m_columnWidth = (page.width - page.marginLeft - page.marginRight) / m_columns;
    const double room = page.length - page.marginTop - page.marginBottom;
    // A hundredth of a millimetre of tolerance, so a band that fits to the
    // hundredth is not pushed to the next page by rounding.
    m_perColumn = band.height > 0 ? std::max(1, int(std::floor((room + 0.01) / band.height))) : 1;
    m_pages = recordCount == 0 ? 0 : (recordCount + bandsPerPage() - 1) / bandsPerPage();
}

std::vector<ReportLayout::Band> ReportLayout::bandsOnPage(int page) const
{
    std::vector<Band> bands;
    const int first = page * bandsPerPage();
    for (int j = 0; j < bandsPerPage() && first + j < m_records; ++j) {
        const int column = j / m_perColumn;
        const int row = j % m_perColumn;
        bands.push_back({first + j, m_left + column * m_columnWidth, m_top + row * m_bandHeight});
    }
    return bands;
}

namespace {

QColor textColour(const QColor &c) { return c.isValid() ? c : QColor(Qt::black); }

QString textOf(const ReportDefinition &def, const ReportData &data, const ReportText &t, int record,
               QHash<QString, int> &fieldCache)
{
    switch (t.source) {
    case ReportText::Source::Static:
        return t.value;
    case ReportText::Source::Label: {
        const auto it = def.labels.find(t.value);
        return it == def.labels.end() ? QString() : it->second;
    }
    case ReportText::Source::Field: {
        auto it = fieldCache.find(t.value);
        if (it == fieldCache.end())
            it = fieldCache.insert(t.value, data.fieldIndex(t.value));
        return *it < 0 ? QString() : data.value(record, *it);
    }
    }
    return {};
}

} // namespace

std::vector<DisplayItem> pageItems(const ReportDefinition &def, const ReportData &data, const ReportLayout &layout,
                                   int page)
{
    std::vector<DisplayItem> items;
    QHash<QString, int> fields;
    for (const ReportLayout::Band &band : layout.bandsOnPage(page)) {
        const QPointF at(band.x, band.y);
        items.push_back({DisplayItem::Kind::Band, QRectF(at, QSizeF(def.band.width, def.band.height)), {}, 0,
                         Qt::white, {}, {}, {}, {}});
        for (const ReportFrame &f : def.frames)
            items.push_back({DisplayItem::Kind::Frame, f.box.translated(at), {}, penMillimetres(f.pen), f.fill,
                             Qt::black, {}, {}, {}});
        for (const ReportLine &l : def.lines)
            items.push_back({DisplayItem::Kind::Line, {}, l.line.translated(at), penMillimetres(l.pen), {},
                             Qt::black, {}, {}, {}});
        for (const ReportText &t : def.texts) {
            const ReportFont &font = t.bandFont ? def.band.font : t.font;
            items.push_back({DisplayItem::Kind::Text, t.box.translated(at), {}, 0,
                             t.transparent ? QColor() : QColor(Qt::white), textColour(font.colour),
                             textOf(def, data, t, band.record, fields), font, t.alignment});
        }
        const QRectF r(at, QSizeF(def.band.width, def.band.height));
        const double thin = penMillimetres(1);
        if (def.band.cutLeft)
            items.push_back({DisplayItem::Kind::CutLine, {}, QLineF(r.topLeft(), r.bottomLeft()), thin, {}, Qt::black,
                             {}, {}, {}});
        if (def.band.cutRight)
            items.push_back({DisplayItem::Kind::CutLine, {}, QLineF(r.topRight(), r.bottomRight()), thin, {},
                             Qt::black, {}, {}, {}});
        if (def.band.cutBottom)
            items.push_back({DisplayItem::Kind::CutLine, {}, QLineF(r.bottomLeft(), r.bottomRight()), thin, {},
                             Qt::black, {}, {}, {}});
    }
    return items;
}

namespace {

constexpr double kUnitsPerMm = 100; // painting in hundredths of a millimetre

QFont qfontOf(const ReportFont &f)
{
    QFont font(f.family);
    font.setBold(f.bold);
    font.setPixelSize(std::max(1, int(std::lround(f.points * 25.4 / 72.0 * kUnitsPerMm))));
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QRectF units(const QRectF &r)
{
    return {r.x() * kUnitsPerMm, r.y() * kUnitsPerMm, r.width() * kUnitsPerMm, r.height() * kUnitsPerMm};
}

QLineF units(const QLineF &l) { return {l.p1() * kUnitsPerMm, l.p2() * kUnitsPerMm}; }

} // namespace

void paintItems(QPainter &painter, const std::vector<DisplayItem> &items, double dotsPerMm)
{
    painter.save();
    painter.scale(dotsPerMm / kUnitsPerMm, dotsPerMm / kUnitsPerMm);
    QHash<QString, QFont> fonts;
    auto fontFor = [&](const ReportFont &f) -> const QFont & {
        const QString key = f.family + QLatin1Char('/') + QString::number(f.points) + (f.bold ? u'b' : u'r');
        auto it = fonts.find(key);
        if (it == fonts.end())
            it = fonts.insert(key, qfontOf(f));
        return *it;
    };
    for (const DisplayItem &item : items) {
        switch (item.kind) {
        case DisplayItem::Kind::Band:
            painter.fillRect(units(item.rect), item.fill);
            break;
        case DisplayItem::Kind::Frame:
            painter.setPen(QPen(item.colour, item.pen * kUnitsPerMm, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(item.fill);
            painter.drawRect(units(item.rect));
            break;
        case DisplayItem::Kind::Line:
            painter.setPen(QPen(item.colour, item.pen * kUnitsPerMm));
            painter.drawLine(units(item.line));
            break;
        case DisplayItem::Kind::CutLine:
            painter.setPen(QPen(item.colour, item.pen * kUnitsPerMm, Qt::DashDotDotLine));
            painter.drawLine(units(item.line));
            break;
        case DisplayItem::Kind::Text:
            if (item.fill.isValid())
                painter.fillRect(units(item.rect), item.fill);
            if (item.text.isEmpty())
                break;
            painter.setFont(fontFor(item.font));
            painter.setPen(item.colour);
            painter.drawText(units(item.rect), int(item.alignment | Qt::AlignTop | Qt::TextDontClip), item.text);
            break;
        }
    }
    painter.restore();
}

bool renderReport(QPagedPaintDevice &device, const ReportDefinition &def, const ReportData &data,
                  const std::function<bool(int, int)> &progress)
{
    const ReportLayout layout(def.page, def.band, int(data.records.size()));
    device.setPageLayout(QPageLayout(QPageSize(QSizeF(def.page.width, def.page.length), QPageSize::Millimeter,
                                               QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    const double dotsPerMm = device.logicalDpiX() / 25.4;
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0)
            device.newPage();
        paintItems(painter, pageItems(def, data, layout, page), dotsPerMm);
        if (progress && !progress(page + 1, layout.pageCount())) {
            painter.end();
            return false;
        }
    }
    return painter.end();
}

bool writePdf(const QString &path, const ReportDefinition &def, const ReportData &data,
              const std::function<bool(int, int)> &progress, QString *error)
{
    const QFileInfo target(path);
    const QString temp = target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                         QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    bool done = false;
    {
        QPdfWriter writer(temp);
        writer.setCreator(QStringLiteral("Bolaris 90/15"));
        writer.setTitle(def.name);
        done = renderReport(writer, def, data, progress);
    }
    if (done) {
        QFile::remove(path);
        done = QFile::rename(temp, path);
        if (!done && error)
            *error = QStringLiteral("%1 could not be written").arg(target.fileName());
    } else if (error && error->isEmpty()) {
        *error = QStringLiteral("the PDF was not completed");
    }
    if (!done)
        QFile::remove(temp);
    return done;
}

} // namespace bolaris
