#include "Announcement.h"

#include "Prizes.h"
#include "cards/UnitCart.h"

#include <QHash>
#include <type_traits>

namespace bolaris {

namespace {

constexpr char kForm = 1;
constexpr quint32 kTicketsPlusOne = kTicketsPerSeries + 1;

// Whether k is a multiple of kTicketsPlusOne (odd), by a multiplication with
// its inverse modulo 2^32: the multiples, and only they, map to at most
// (2^32 - 1) / kTicketsPlusOne. Keys are checked by the million when a log is
// read, and a division there was the larger part of the reading.
constexpr quint32 inverseOfTicketsPlusOne()
{
    quint32 inverse = kTicketsPlusOne; // right in 3 bits; each step doubles them
    for (int i = 0; i < 4; ++i)
        inverse *= 2 - kTicketsPlusOne * inverse;
    return inverse;
}
static_assert(kTicketsPlusOne % 2 == 1 && kTicketsPlusOne * inverseOfTicketsPlusOne() == 1);
constexpr bool isMultipleOfTicketsPlusOne(quint32 k)
{
    return k * inverseOfTicketsPlusOne() <= 0xFFFFFFFFu / kTicketsPlusOne;
}
static_assert([] {
    for (quint32 k = 0; k < quint32(kSeriesCount) * kTicketsPlusOne; ++k)
        if (isMultipleOfTicketsPlusOne(k) != (k % kTicketsPlusOne == 0))
            return false;
    return true;
}());
constexpr const char *kPrizeTexts[4] = {"CANTOS. Cart\u00e3o ", "LINHA. Cart\u00e3o ", "2 LINHAS. Cart\u00e3o ",
                                        "CARTAO. Cart\u00e3o "};

// A line put together on the stack, to be compared with a line of a report
// without making a string of it.
class Line {
public:
    Line &text(const char *utf8)
    {
        const QString s = QString::fromUtf8(utf8);
        for (QChar c : s)
            put(c.unicode());
        return *this;
    }
    Line &number(int n)
    {
        char16_t digits[12];
        int count = 0;
        unsigned v = unsigned(n < 0 ? -n : n);
        do {
            digits[count++] = char16_t(u'0' + v % 10);
            v /= 10;
        } while (v > 0);
        if (n < 0)
            put(u'-');
        while (count > 0)
            put(digits[--count]);
        return *this;
    }
    Line &letter(char c)
    {
        put(char16_t(c));
        return *this;
    }
    QStringView view() const { return QStringView(m_chars, m_size); }
    QString string() const { return view().toString(); }

private:
    void put(char16_t c)
    {
        if (m_size < qsizetype(std::size(m_chars)))
            m_chars[m_size++] = c;
    }
    char16_t m_chars[80];
    qsizetype m_size = 0;
};

TicketRef ticketOf(quint32 ticketKey)
{
    const int ticket = int(ticketKey % kTicketsPlusOne);
    return {CardOfTicket(ticket), QChar::fromLatin1(char('A' + ticketKey / kTicketsPlusOne)), ticket};
}

Line cardLine(const TicketRef &t) { return Line().text("CARTELA ").number(t.card).text(" SERIE ").letter(t.series.toLatin1()); }
Line prizeLine(int prize, int ticket) { return Line().text(kPrizeTexts[prize]).number(ticket); }
Line headingLine(int n) { return Line().text("MenosPontos(").number(n).text("):"); }
Line fewestLine(const TicketRef &t)
{
    return Line().text("Cartela").number(t.card).letter(' ').letter(t.series.toLatin1()).text(".Cart\u00e3o ").number(t.ticket);
}

// The ticket key of a ticket the scan can have made, else nothing.
std::optional<quint32> ticketKey(const TicketRef &t)
{
    const char series = t.series.toLatin1();
    if (!IsSeriesLetter(series) || t.ticket < 1 || t.ticket > kTicketsPerSeries || t.card != CardOfTicket(t.ticket))
        return std::nullopt;
    return quint32(series - 'A') * kTicketsPlusOne + quint32(t.ticket);
}

void putVarint(QByteArray &out, quint64 v)
{
    while (v >= 0x80) {
        out.append(char(v | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

struct Reader {
    const char *data; // the bytes, read in place
    qsizetype size;
    qsizetype at = 0;
    bool ok = true;
    Reader(const QByteArray &bytes, qsizetype from) : data(bytes.constData()), size(bytes.size()), at(from) {}
    quint64 varint()
    {
        quint64 v = 0;
        for (int shift = 0; shift < 64 && at < size; shift += 7) {
            const auto c = quint8(data[at++]);
            v |= quint64(c & 0x7f) << shift;
            if (!(c & 0x80))
                return v;
        }
        ok = false;
        return 0;
    }
    // A count of items, each at least a byte: none beyond the bytes left is believed.
    quint64 count()
    {
        const quint64 n = varint();
        if (n > quint64(size - at))
            ok = false;
        return ok ? n : 0;
    }
};

// Runs of items copied from previous (first: start, second: count) and single
// new items (first: -1, second: the item's place): a later scan repeats most
// of the one before, in its order.
template <typename List> std::vector<std::pair<qsizetype, qsizetype>> copyRuns(const List &items, const List &previous)
{
    using Item = std::decay_t<decltype(items[0])>;
    QHash<Item, qsizetype> where;
    where.reserve(qsizetype(previous.size()));
    for (qsizetype i = qsizetype(previous.size()) - 1; i >= 0; --i)
        where.insert(previous[i], i);
    std::vector<std::pair<qsizetype, qsizetype>> runs;
    for (qsizetype i = 0; i < qsizetype(items.size()); ++i) {
        if (!runs.empty() && runs.back().first >= 0) {
            auto &[from, count] = runs.back();
            if (from + count < qsizetype(previous.size()) && previous[from + count] == items[i]) {
                ++count;
                continue;
            }
        }
        const auto found = where.constFind(items[i]);
        if (found != where.cend())
            runs.emplace_back(found.value(), 1);
        else
            runs.emplace_back(-1, i);
    }
    return runs;
}

// Writes items as runs of previous and new ones; put writes one new item.
template <typename List, typename Put> void putRuns(QByteArray &out, const List &items, const List &previous, Put put)
{
    const auto runs = copyRuns(items, previous);
    putVarint(out, runs.size());
    for (const auto &[from, n] : runs) {
        if (from >= 0) {
            putVarint(out, quint64(n) << 1 | 1);
            putVarint(out, quint64(from));
        } else {
            put(items[size_t(n)]);
        }
    }
}

// Reads what putRuns wrote; take reads one new item from the value before it.
template <typename List, typename Take> bool takeRuns(Reader &in, const List &previous, List &items, Take take)
{
    const quint64 count = in.count();
    for (quint64 i = 0; i < count && in.ok; ++i) {
        const quint64 v = in.varint();
        if (v & 1) {
            const quint64 n = v >> 1, from = in.varint();
            if (!in.ok || from > quint64(previous.size()) || n > quint64(previous.size()) - from)
                return false;
            if constexpr (std::is_same_v<List, QStringList>)
                items.append(previous.mid(qsizetype(from), qsizetype(n)));
            else
                items.insert(items.end(), previous.begin() + qsizetype(from), previous.begin() + qsizetype(from + n));
        } else if (!take(v >> 1)) {
            return false;
        }
    }
    return in.ok;
}

} // namespace

QString Announcement::winnerText(const QString &prize, const TicketRef &t)
{
    return QStringLiteral("%1 card %2 series %3 ticket %4").arg(prize).arg(t.card).arg(t.series).arg(t.ticket);
}

Announcement Announcement::of(const ScanReport &report)
{
    Announcement a;
    const QStringList &lines = report.lines;
    a.winners.reserve(size_t(report.winners.size()));
    for (qsizetype i = 0; i < report.winners.size(); ++i) {
        const int prize = prizes::indexOf(report.prizes.value(i));
        const std::optional<quint32> key = ticketKey(report.winners[i]);
        if (prize < 0 || !key) {
            a.winners.clear();
            a.winnerLines = false;
            break;
        }
        a.winners.push_back(*key * 4 + quint32(prize));
        if (a.winnerLines && (i * 2 + 1 >= lines.size() || cardLine(report.winners[i]).view() != lines[2 * i] ||
                              prizeLine(prize, report.winners[i].ticket).view() != lines[2 * i + 1]))
            a.winnerLines = false;
    }
    const qsizetype taken = a.winnerLines ? 2 * qsizetype(a.winners.size()) : 0;
    a.lines = lines.mid(taken);
    if (a.winners.empty())
        a.winnerLines = true; // nothing to follow from: one form for an announcement without winners
    // The fewest-points list after the winners, when it is the scan's own.
    const QStringList &fewest = report.fewestLines;
    bool listed = !fewest.isEmpty() && fewest.size() == report.fewest.size() + 1 && report.maxMissing >= 0 &&
                  report.maxMissing <= 15 && headingLine(15 - report.maxMissing).view() == fewest.first();
    std::vector<quint32> keys;
    for (qsizetype i = 0; listed && i < report.fewest.size(); ++i) {
        const std::optional<quint32> key = ticketKey(report.fewest[i]);
        listed = key && fewestLine(report.fewest[i]).view() == fewest[i + 1];
        if (key)
            keys.push_back(*key);
    }
    if (listed) {
        a.fewestHeading = 15 - report.maxMissing;
        a.fewest = std::move(keys);
    } else {
        a.lines << fewest;
    }
    return a;
}

QStringList Announcement::memoLines() const
{
    QStringList out;
    out.reserve(qsizetype(2 * winners.size() + fewest.size()) + lines.size() + 1);
    if (winnerLines)
        for (const quint32 key : winners) {
            const TicketRef t = ticketOf(key / 4);
            out << cardLine(t).string() << prizeLine(int(key % 4), t.ticket).string();
        }
    out << lines;
    if (fewestHeading >= 0) {
        out << headingLine(fewestHeading).string();
        for (const quint32 key : fewest)
            out << fewestLine(ticketOf(key)).string();
    }
    return out;
}

QStringList Announcement::winnerTexts() const
{
    QStringList out;
    out.reserve(qsizetype(winners.size()));
    for (const quint32 key : winners)
        out << winnerText(prizes::kNames[key % 4], ticketOf(key / 4));
    return out;
}

// Form: byte 1; flags (1: the winners' lines are theirs, 2: the fewest-points
// list is kept as its tickets); the winners, as runs of the last
// announcement's and new ones (varint (n << 1 | 1) and its start, or varint
// (key << 1)); with flag 2 the list's heading number and its tickets alike;
// the other lines alike, a new one as varint (length << 1) and its UTF-8.
QByteArray Announcement::encode(const Announcement &before) const
{
    QByteArray out;
    out.append(kForm);
    out.append(char((winnerLines ? 1 : 0) | (fewestHeading >= 0 ? 2 : 0)));
    putRuns(out, winners, before.winners, [&out](quint32 key) { putVarint(out, quint64(key) << 1); });
    if (fewestHeading >= 0) {
        putVarint(out, quint64(fewestHeading));
        putRuns(out, fewest, before.fewest, [&out](quint32 key) { putVarint(out, quint64(key) << 1); });
    }
    putRuns(out, lines, before.lines, [&out](const QString &line) {
        const QByteArray text = line.toUtf8();
        putVarint(out, quint64(text.size()) << 1);
        out.append(text);
    });
    return out;
}

std::optional<Announcement> Announcement::decode(const QByteArray &bytes, const Announcement &before,
                                                 std::vector<quint32> *fresh)
{
    if (fresh)
        fresh->clear();
    if (bytes.size() < 2 || bytes[0] != kForm || (quint8(bytes[1]) & ~3u))
        return std::nullopt;
    Reader in{bytes, 2};
    Announcement a;
    a.winners.reserve(before.winners.size() + 16); // mostly the one before again, and a few more
    a.winnerLines = bytes[1] & 1;
    const auto ticketKeyOk = [](quint64 key) {
        return key < quint64(kSeriesCount) * kTicketsPlusOne && !isMultipleOfTicketsPlusOne(quint32(key));
    };
    if (!takeRuns(in, before.winners, a.winners, [&](quint64 key) {
            if (!ticketKeyOk(key / 4))
                return false;
            a.winners.push_back(quint32(key));
            if (fresh)
                fresh->push_back(quint32(key));
            return true;
        }))
        return std::nullopt;
    if (bytes[1] & 2) {
        const quint64 heading = in.varint();
        if (!in.ok || heading > 15)
            return std::nullopt;
        a.fewestHeading = int(heading);
        if (!takeRuns(in, before.fewest, a.fewest, [&](quint64 key) {
                if (!ticketKeyOk(key))
                    return false;
                a.fewest.push_back(quint32(key));
                return true;
            }))
            return std::nullopt;
    }
    if (!takeRuns(in, before.lines, a.lines, [&](quint64 length) {
            if (length > quint64(bytes.size() - in.at))
                return false;
            a.lines << QString::fromUtf8(bytes.constData() + in.at, qsizetype(length));
            in.at += qsizetype(length);
            return true;
        }))
        return std::nullopt;
    if (in.at != bytes.size())
        return std::nullopt;
    return a;
}

} // namespace bolaris
