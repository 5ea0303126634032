#pragma once

#include "ui/Prompter.h"

#include <QApplication>

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
