#include "ReportLayout.h"

#include "dataset/AtomicFile.h"

#include "Fonts.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>

#include <cmath>
#include <map>

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

// The field of each text bound to one, -1 for the others.
std::vector<int> boundFields(const ReportDefinition &def, const ReportData &data)
{
    std::vector<int> fields;
    fields.reserve(def.texts.size());
    for (const ReportText &t : def.texts)
        fields.push_back(t.source == ReportText::Source::Field ? data.fieldIndex(t.value) : -1);
    return fields;
}

QString textOf(const ReportDefinition &def, const ReportData &data, const ReportText &t, int record, int field)
{
    switch (t.source) {
    case ReportText::Source::Static:
        return t.value;
    case ReportText::Source::Label: {
        const auto it = def.labels.find(t.value);
        return it == def.labels.end() ? QString() : it->second;
    }
    case ReportText::Source::Field:
        return field < 0 ? QString() : data.value(record, field);
    }
    return {};
}

} // namespace

std::vector<DisplayItem> pageItems(const ReportDefinition &def, const ReportData &data, const ReportLayout &layout,
                                   int page)
{
    std::vector<DisplayItem> items;
    const std::vector<int> fields = boundFields(def, data);
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
        for (size_t i = 0; i < def.texts.size(); ++i) {
            const ReportText &t = def.texts[i];
            const ReportFont &font = t.bandFont ? def.band.font : t.font;
            items.push_back({DisplayItem::Kind::Text, t.box.translated(at), {}, 0,
                             t.transparent ? QColor() : QColor(Qt::white), textColour(font.colour),
                             textOf(def, data, t, band.record, fields[i]), font, t.alignment, &font});
        }
        const QRectF r(at, QSizeF(def.band.width, def.band.height));
        const std::pair<bool, QLineF> cuts[] = {{def.band.cutLeft, QLineF(r.topLeft(), r.bottomLeft())},
                                                {def.band.cutRight, QLineF(r.topRight(), r.bottomRight())},
                                                {def.band.cutBottom, QLineF(r.bottomLeft(), r.bottomRight())}};
        for (const auto &[drawn, line] : cuts)
            if (drawn)
                items.push_back({DisplayItem::Kind::CutLine, {}, line, penMillimetres(1), {}, Qt::black, {}, {}, {}});
    }
    for (const ReportText &t : def.pageTexts) {
        const QString text = textOf(def, data, t, -1, -1)
                                 .replace(QLatin1String("{page}"), QString::number(page + 1))
                                 .replace(QLatin1String("{pages}"), QString::number(layout.pageCount()));
        items.push_back({DisplayItem::Kind::Text, t.box, {}, 0, t.transparent ? QColor() : QColor(Qt::white),
                         textColour(t.font.colour), text, t.font, t.alignment, &t.font});
    }
    return items;
}

namespace {

constexpr double kUnitsPerMm = 100; // painting in hundredths of a millimetre

QFont qfontOf(const ReportFont &f)
{
    QFont font(f.family);
    font.setWeight(printWeight(f.family, f.bold));
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

// Paints display items; fonts and the shaped glyphs of every distinct text are
// kept across pages, so a text that repeats (the 90 numbers, the fill text) is
// laid out once per report, not once per place.
class ItemPainter {
public:
    void paint(QPainter &painter, const std::vector<DisplayItem> &items, double dotsPerMm, const QSizeF &paper);

private:
    struct Shaped {
        QList<QGlyphRun> runs;
        double width = 0;
        double height = 0; // of the line, from its top
    };
    struct FontCache {
        QFont font;
        QHash<QString, Shaped> texts;
    };
    FontCache &cacheFor(const DisplayItem &item);
    const Shaped &shape(const DisplayItem &item);
    static Shaped layOut(const QFont &font, const QString &text);

    std::map<QString, FontCache> m_byKey; // node-based: m_bySource points into it
    QHash<const ReportFont *, FontCache *> m_bySource;
};

namespace {
QString fontKey(const ReportFont &f)
{
    return f.family + QLatin1Char('/') + QString::number(f.points) + (f.bold ? u'b' : u'r');
}
} // namespace

ItemPainter::FontCache &ItemPainter::cacheFor(const DisplayItem &item)
{
    // The definition does not change while one painter paints it, so its font
    // objects stand for their values.
    if (item.fontSource) {
        if (FontCache *cached = m_bySource.value(item.fontSource))
            return *cached;
    }
    const QString key = fontKey(item.font);
    auto it = m_byKey.find(key);
    if (it == m_byKey.end())
        it = m_byKey.emplace(key, FontCache{qfontOf(item.font), {}}).first;
    if (item.fontSource)
        m_bySource.insert(item.fontSource, &it->second);
    return it->second;
}

ItemPainter::Shaped ItemPainter::layOut(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setPosition(QPointF(0, 0));
    layout.endLayout();
    Shaped shaped;
    shaped.width = line.isValid() ? line.naturalTextWidth() : 0;
    shaped.height = line.isValid() ? line.height() : 0;
    shaped.runs = layout.glyphRuns();
    return shaped;
}

const ItemPainter::Shaped &ItemPainter::shape(const DisplayItem &item)
{
    FontCache &cache = cacheFor(item);
    auto it = cache.texts.find(item.text);
    if (it != cache.texts.end())
        return *it;
    // Card and ticket numbers are mostly distinct: they are put together from
    // the shaped digits (digits take no kerning in the card fonts).
    const bool digits = item.text.size() > 1 && std::all_of(item.text.cbegin(), item.text.cend(), [](QChar c) {
                            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                        });
    Shaped shaped;
    if (digits) {
        QList<quint32> glyphs;
        QList<QPointF> positions;
        QRawFont raw;
        for (QChar c : item.text) {
            auto d = cache.texts.find(QString(c));
            if (d == cache.texts.end())
                d = cache.texts.insert(QString(c), layOut(cache.font, QString(c)));
            for (const QGlyphRun &run : d->runs) {
                raw = run.rawFont();
                glyphs += run.glyphIndexes();
                for (const QPointF &p : run.positions())
                    positions << p + QPointF(shaped.width, 0);
            }
            shaped.width += d->width;
            shaped.height = std::max(shaped.height, d->height);
        }
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        shaped.runs = {run};
    } else {
        shaped = layOut(cache.font, item.text);
    }
    return *cache.texts.insert(item.text, shaped);
}

void ItemPainter::paint(QPainter &painter, const std::vector<DisplayItem> &items, double dotsPerMm,
                        const QSizeF &paper)
{
    painter.save();
    painter.scale(dotsPerMm / kUnitsPerMm, dotsPerMm / kUnitsPerMm);
    // Nothing is painted off the paper. A clip costs the PDF engine on every
    // page, so it is set only on a page where something would reach past it.
    const QRectF sheet = units(QRectF(QPointF(0, 0), paper));
    bool clipped = false;
    auto keepOnPaper = [&](const QRectF &extent) {
        if (!clipped && !sheet.contains(extent)) {
            painter.setClipRect(sheet);
            clipped = true;
        }
    };
    auto lineExtent = [](const QLineF &line, double pen) {
        return QRectF(line.p1(), line.p2()).normalized().adjusted(-pen / 2, -pen / 2, pen / 2, pen / 2);
    };
    QColor textPen; // pen changes cost the PDF engine a state update each
    for (const DisplayItem &item : items) {
        if (item.kind != DisplayItem::Kind::Text)
            textPen = QColor();
        switch (item.kind) {
        case DisplayItem::Kind::Band:
            keepOnPaper(units(item.rect));
            painter.fillRect(units(item.rect), item.fill);
            break;
        case DisplayItem::Kind::Frame: {
            const double pen = item.pen * kUnitsPerMm;
            keepOnPaper(units(item.rect).adjusted(-pen / 2, -pen / 2, pen / 2, pen / 2));
            painter.setPen(QPen(item.colour, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(item.fill);
            painter.drawRect(units(item.rect));
            break;
        }
        case DisplayItem::Kind::Line:
            keepOnPaper(lineExtent(units(item.line), item.pen * kUnitsPerMm));
            painter.setPen(QPen(item.colour, item.pen * kUnitsPerMm));
            painter.drawLine(units(item.line));
            break;
        case DisplayItem::Kind::CutLine:
            keepOnPaper(lineExtent(units(item.line), item.pen * kUnitsPerMm));
            painter.setPen(QPen(item.colour, item.pen * kUnitsPerMm, Qt::DashDotDotLine));
            painter.drawLine(units(item.line));
            break;
        case DisplayItem::Kind::Text: {
            const QRectF box = units(item.rect);
            if (item.fill.isValid()) {
                keepOnPaper(box);
                painter.fillRect(box, item.fill);
            }
            if (item.text.isEmpty())
                break;
            const Shaped &shaped = shape(item);
            double x = box.left();
            if (item.alignment & Qt::AlignHCenter)
                x += (box.width() - shaped.width) / 2;
            else if (item.alignment & Qt::AlignRight)
                x += box.width() - shaped.width;
            keepOnPaper(QRectF(x, box.top(), shaped.width, shaped.height));
            if (item.colour != textPen) {
                painter.setPen(item.colour);
                textPen = item.colour;
            }
            for (const QGlyphRun &run : shaped.runs)
                painter.drawGlyphRun(QPointF(x, box.top()), run);
            break;
        }
        }
    }
    painter.restore();
}

void paintItems(QPainter &painter, const std::vector<DisplayItem> &items, double dotsPerMm, const QSizeF &paper)
{
    ItemPainter().paint(painter, items, dotsPerMm, paper);
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
    ItemPainter items;
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0)
            device.newPage();
        items.paint(painter, pageItems(def, data, layout, page), dotsPerMm, layout.pageSize());
        if (progress && !progress(page + 1, layout.pageCount())) {
            painter.end();
            return false;
        }
    }
    return painter.end();
}

bool writePdf(const QString &path, const ReportDefinition &def, const ReportData &data,
              const std::function<bool(int, int)> &progress, WriteFailure *failure)
{
    AtomicFile file(path);
    bool cancelled = false;
    bool done = file.open();
    if (done) {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Bolaris 90/15"));
        writer.setTitle(def.name);
        done = renderReport(writer, def, data, [&](int pages, int total) {
            cancelled = progress && !progress(pages, total);
            return !cancelled;
        });
    }
    // Every write was checked by the file; the painter's own verdict counts too.
    if (done)
        done = file.commit();
    if (!done && failure && !cancelled) {
        *failure = file.failure();
        if (!failure->failed())
            *failure = {path, 0, QStringLiteral("the PDF could not be completed")};
    }
    return done;
}

} // namespace bolaris
