#pragma once

#include "cards/CardGenerator.h"
#include "cards/UnitCart.h"
#include "dataset/Dataset.h"
#include "ui/Prompter.h"
#include "ui/SoundPlayer.h"
#include "validation/ValidationRegistry.h"

#include <QApplication>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace bolaris {

// Answers every message without a word and every question alike (No unless told).
class SilentPrompter : public Prompter {
public:
    explicit SilentPrompter(bool answer = false) : m_answer(answer) {}
    void inform(const QString &, const QString &, MessageIcon) override {}
    bool ask(const QString &, const QString &, bool) override { return m_answer; }

private:
    bool m_answer;
};

// Plays nothing: the benchmarks time the program, not the sound card.
class NoSound : public SoundPlayer {
public:
    void play(const QString &) override {}
};

// Writes the card file of series B to L, "compl22.cds", into dir.
inline void writeSeriesBtoL(const QString &dir)
{
    Dataset table(QStringLiteral("TableCompl"));
    table.setDirectory(dir);
    table.setFileName(QStringLiteral("compl22.cds"));
    table.addFieldDef(QStringLiteral("Cartela"), FieldType::Integer);
    table.addFieldDef(QStringLiteral("Todas"), FieldType::String, kCardTextLength);
    table.createDataset();
    int index = kCardsPerSeries + 1;
    for (const std::string &card : GenerateSeriesBtoL()) {
        table.append();
        table.setValue(0, index++);
        table.setValue(1, QString::fromLatin1(card.data(), qsizetype(card.size())));
        table.post();
    }
    table.close();
}

// A full hall's sales in an open registry: every card of the 12 series
// validated and 2,400 tickets returned.
inline void sellFullHall(ValidationRegistry &registry)
{
    SilentPrompter yes(true);
    for (QChar s : QStringLiteral("ABCDEFGHIJKL"))
        registry.SaiEnter(QString(s), QStringLiteral("1-2000"), yes);
    QRandomGenerator random(2400);
    while (registry.TableValiC().recordCount() < 2400)
        registry.SaiEnterC(QString(QChar(u'A' + int(random.bounded(12)))), QString::number(random.bounded(1, 12001)),
                           yes);
}

// Fills the working folder dir as a full hall: the card file of series B
// to L and a full hall's sales.
inline void fillFullHall(const QString &dir)
{
    writeSeriesBtoL(dir);
    ValidationRegistry registry(dir);
    registry.open();
    sellFullHall(registry);
    registry.close();
}

} // namespace bolaris

// The main function of a benchmark program: a Qt application (offscreen unless
// a platform is set) around Google Benchmark's runner.
#define BOLARIS_BENCHMARK_MAIN()                                                                                \
    int main(int argc, char **argv)                                                                             \
    {                                                                                                           \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                     \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                            \
        QApplication app(argc, argv);                                                                           \
        bolaris::installFontSubstitutes();                                                                      \
        benchmark::Initialize(&argc, argv);                                                                     \
        benchmark::RunSpecifiedBenchmarks();                                                                    \
        benchmark::Shutdown();                                                                                  \
        return 0;                                                                                               \
    }
