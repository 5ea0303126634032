#pragma once

#include <QApplication>

#include <benchmark/benchmark.h>

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
