// The main of a benchmark program that needs a Qt application object (an
// event loop for the link, or widgets drawn off screen).
#pragma once

#include <benchmark/benchmark.h>

#include <QtGlobal>

template <typename App>
int runBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    App app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
