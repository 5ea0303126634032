#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace bolaris {

class BallSource;

enum class DrawMode { Idle, Manual, Electronic };

// What one ball event did: the ball, whether it now counts as drawn (false
// when a manual click took it back) and the entry it added to the order text.
struct BallEvent {
    int ball = 0;
    bool drawn = true;
    DrawMode mode = DrawMode::Idle;
    QString entry; // "07" electronic, "7" manual, "-7" manual take-back
};

// The state of the draw of the Draw panel: which balls are drawn, how many,
// how the draw runs, and the texts the panel shows of it (the order of the
// ball events and the last ball).
class DrawState {
public:
    static constexpr int kBalls = 90;

    bool drawn(int ball) const { return ball >= 1 && ball <= kBalls && m_drawn[size_t(ball)]; }
    int DrawnCount() const { return m_count; }
    int remaining() const { return kBalls - m_count; }
    DrawMode mode() const { return m_mode; }
    bool FewestPointsArmed() const { return m_fewestArmed; }
    void setFewestPointsArmed(bool armed) { m_fewestArmed = armed; }

    // "Ordem do sorteio:" followed by every entry and a blank after each.
    const QString &orderText() const { return m_order; }
    // The last ball event's entry without its sign, empty before the first.
    const QString &lastBall() const { return m_last; }
    // The drawn balls in the order they came out; a ball taken back leaves it.
    const QList<int> &sequence() const { return m_sequence; }
    // The ball of the last ball event (0 before the first) and whether it drew it.
    int lastEventBall() const { return m_lastBall; }
    bool lastEventDrew() const { return m_lastDrew; }

    // A draw of the given kind starts (Manual or Electronic); everything is reset.
    void start(DrawMode mode);
    // The draw ends: back to Idle, everything reset except FewestPointsArmed.
    void end();
    // True while another electronic ball can be drawn.
    bool canDrawElectronic() const { return m_mode == DrawMode::Electronic && m_count < kBalls; }
    // Draws the (v + 1)-th undrawn ball in ascending order, v taken from the
    // source in 0 .. remaining() - 1. Nothing when no electronic ball can be drawn.
    std::optional<BallEvent> drawElectronic(BallSource &source);
    // A click on ball n in a manual draw: draws it, or takes it back when it was
    // drawn. Nothing outside a manual draw or for a number outside 1..90.
    std::optional<BallEvent> clickManual(int ball);
    // A ball event of this draw's kind told by the draw log: ball drawn (or, in
    // a manual draw, taken back). Nothing when it cannot happen now.
    std::optional<BallEvent> replay(int ball, bool drawn);

    static QString heading() { return QStringLiteral("Ordem do sorteio:"); }

private:
    void reset();
    void record(const QString &entry, const QString &last);
    BallEvent drawBall(int ball);

    std::array<bool, kBalls + 1> m_drawn{}; // index 0 unused
    QList<int> m_sequence;
    int m_count = 0;
    DrawMode m_mode = DrawMode::Idle;
    bool m_fewestArmed = false;
    QString m_order = heading();
    QString m_last;
    int m_lastBall = 0;
    bool m_lastDrew = false;
};

} // namespace bolaris
