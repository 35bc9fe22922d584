// SPDX-License-Identifier: GPL-3.0-or-later
// Times the private annotation store on a heavy file: 10,000 strokes of 20 points each.
// Usage: bench_private_annotations [folder]   (the file is written there; default a temporary folder)

#include "annotations/PrivateAnnotationFile.h"
#include "annotations/PrivateAnnotationStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

using namespace pgw;
using namespace Qt::StringLiterals;

namespace {

constexpr int pageCount = 50;
constexpr int strokesPerPage = 200;
constexpr int pointsPerStroke = 20;
constexpr int samples = 25;

std::mt19937_64 generator(20240611);

double unit()
{
    return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}

// A wandering pen line with full-precision coordinates, as a pointer device produces them.
PrivateAnnotationStroke randomStroke()
{
    PrivateAnnotationStroke stroke {
        QUuid::createUuid(), {PrivateAnnotationTool::pen, {0.92, 0.16, 0.15, 1.0}, 0.0025}, {}};
    double x = unit() * 0.9 + 0.05;
    double y = unit() * 0.9 + 0.05;
    for (int i = 0; i < pointsPerStroke; ++i) {
        x = std::clamp(x + (unit() - 0.5) * 0.01, 0.0, 1.0);
        y = std::clamp(y + (unit() - 0.5) * 0.01, 0.0, 1.0);
        stroke.points.append({x, y, 1.0});
    }
    return stroke;
}

PrivateAnnotationPageKey key(int page)
{
    return {u"t1|base:v1"_s, page};
}

struct Figures
{
    double median = 0;
    double worst = 0;
};

double milliseconds(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return timer.nsecsElapsed() / 1e6;
}

Figures summary(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.last()};
}

Figures measure(int runs, const std::function<void()> &run)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i)
        times.append(milliseconds(run));
    return summary(times);
}

void report(const char *what, const Figures &figures)
{
    std::printf("%-44s median %8.2f ms   worst %8.2f ms\n", what, figures.median, figures.worst);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString path = folder + u"/PrivateAnnotations.json"_s;

    PrivateAnnotationPages pages;
    for (int page = 0; page < pageCount; ++page) {
        QList<PrivateAnnotationStroke> strokes;
        for (int i = 0; i < strokesPerPage; ++i)
            strokes.append(randomStroke());
        pages.insert(key(page), strokes);
    }
    const PrivateAnnotationLimits limits;
    PrivateAnnotationFile file(path, limits);
    if (const auto error = file.save(pages)) {
        std::printf("could not write %s: %s\n", qPrintable(path), qPrintable(error->text()));
        return 1;
    }
    std::printf("%d strokes of %d points on %d pages, file %.2f MB at %s\n\n", pageCount * strokesPerPage,
        pointsPerStroke, pageCount, QFileInfo(path).size() / 1e6, qPrintable(path));

    report(
        "validate the whole map", measure(samples, [&] { PrivateAnnotationFile::validate(pages, limits); }));
    report("encode, every stroke formatted",
        measure(samples, [&] { PrivateAnnotationEncoder().encode(pages); }));
    PrivateAnnotationEncoder encoder;
    encoder.encode(pages);
    report("encode, one stroke formatted", measure(samples, [&] {
        pages[key(1)].append(randomStroke());
        encoder.encode(pages);
    }));
    report("load (read, parse, decode, validate)", measure(5, [&] { PrivateAnnotationStore store(path); }));

    // A freshly loaded store has formatted none of its strokes yet.
    QList<double> firstAdds;
    for (int i = 0; i < 5; ++i) {
        PrivateAnnotationStore fresh(path);
        firstAdds.append(milliseconds([&] { fresh.addStroke(randomStroke(), key(0)); }));
        fresh.undo(key(0));
    }
    report("first add after loading (with atomic write)", summary(firstAdds));

    PrivateAnnotationStore store(path);
    if (store.loadBlocked()) {
        std::printf("store blocked: %s\n", qPrintable(store.lastPersistenceError()));
        return 1;
    }
    report("add one stroke (with atomic write)", measure(samples, [&] {
        if (!store.addStroke(randomStroke(), key(0)))
            std::printf("add failed: %s\n", qPrintable(store.lastPersistenceError()));
    }));
    report("undo one stroke (with atomic write)", measure(samples, [&] { store.undo(key(0)); }));
    const QList<PrivateAnnotationPoint> sweep = [] {
        QList<PrivateAnnotationPoint> points;
        for (int i = 0; i < 50; ++i)
            points.append({0.02 * i, 0.5, 1.0});
        return points;
    }();
    int erased = 0;
    const Figures eraseFigures = measure(
        pageCount, [&, page = 0]() mutable { erased += store.erase(sweep, 0.02, 17.0 / 22.0, key(page++)); });
    report("erase a 50-point sweep (with atomic write)", eraseFigures);
    std::printf("\n%d strokes erased over %d sweeps\n", erased, pageCount);
    return 0;
}
