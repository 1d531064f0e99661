// The main of benchmarks that draw: a Qt GUI application on OpenGL, set up as the app's.
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include "VideoPipeline/View/VideoView.h"

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    qm::VideoView::prepareApplication();
    QGuiApplication app(argc, argv);
    qm::VideoView::registerQmlType();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
