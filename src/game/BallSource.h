#pragma once

#include <QRandomGenerator>

#include <QList>

namespace bolaris {

// Where the electronic draw takes its random values from.
class BallSource {
public:
    virtual ~BallSource() = default;
    // A value from 0 to range - 1, every value equally likely; range >= 1.
    virtual int value(int range) = 0;
};

// The operating system's cryptographic generator: the draw cannot be foreseen
// from the balls already drawn.
class SystemBallSource : public BallSource {
public:
    int value(int range) override;
};

// A reproducible sequence from a seed (tests and benchmarks).
class SeededBallSource : public BallSource {
public:
    explicit SeededBallSource(quint32 seed) : m_generator(seed) {}
    int value(int range) override;

private:
    QRandomGenerator m_generator;
};

// Gives the listed values in turn, then 0 (tests).
class ScriptedBallSource : public BallSource {
public:
    explicit ScriptedBallSource(QList<int> values = {}) : m_values(std::move(values)) {}
    void push(int v) { m_values.append(v); }
    int value(int range) override;

private:
    QList<int> m_values;
};

} // namespace bolaris
