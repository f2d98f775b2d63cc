// Redraw of a long curve by the plot renderer, against drawing every segment.
//
//   bench_redraw [points] [width] [height]      (defaults 2000000 1280 800)
//
// Prints the time of a full redraw (frame, scales and curve) on an RGB32 image, the time of the
// same frame with every segment drawn one by one, and whether both give the same pixels. Exits
// with 1 when they do not. Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include "PlotPrint.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

struct SStats {
    double dMin = 0;    ///< fastest run [ms]
    double dMedian = 0; ///< median run [ms]
};

template <class F> SStats Time(int runs, F&& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        times.push_back(Milliseconds(start));
    }
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

/// A phase current of a PWM drive: 50 Hz fundamental, carrier ripple, noise. Time from 0.
void MakeCurve(std::size_t n, bool shuffled, std::vector<double>& x, std::vector<double>& y) {
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0, 0.3);
    x.resize(n);
    y.resize(n);
    const double h = 0.1 / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * h;
        x[i] = t;
        y[i] = 10 * std::sin(2 * 3.141592 * 50 * t) + 1.5 * std::sin(2 * 3.141592 * 5000 * t) +
               noise(random);
    }
    if (shuffled) {
        // The worst case for the reduction: consecutive points in different columns.
        std::shuffle(x.begin(), x.end(), random);
        x[0] = 0;
    }
}

/// The frame alone, then every segment drawn one by one over it, mapped as the renderer maps.
QImage DrawEverySegment(const std::vector<double>& x, const std::vector<double>& y, int w, int h) {
    CPlotPrint plot;
    plot.SetLabels("t [s]", "Ia [A]");
    plot.m_penCurve = QPen(Qt::NoPen);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter dc(&image);
    plot.DrawCurve(dc, image.rect(), x.data(), y.data(), static_cast<double>(x.size()));
    // x starts at 0, so xr = xmax; y takes both signs, so yr = ymax - ymin.
    const double xmax = *std::max_element(x.begin(), x.end());
    const auto [ymin, ymax] = std::minmax_element(y.begin(), y.end());
    const int L = plot.m_nLeft, PW = w - L - 20, PH = h - 30;
    const double xr = xmax, yr = *ymax - *ymin;
    const int x0 = static_cast<int>(L - 0 * PW / xr);
    const int y0 = static_cast<int>(h - 15 + *ymin * PH / yr);
    dc.setPen(QPen(QColor(255, 0, 0), 1));
    QPoint previous;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const QPoint p(static_cast<int>(PW * x[i] / xr + x0),
                       static_cast<int>(y0 - PH * y[i] / yr));
        if (i > 0)
            dc.drawLine(previous, p);
        previous = p;
    }
    return image;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2000000;
    const int w = argc > 2 ? std::atoi(argv[2]) : 1280;
    const int h = argc > 3 ? std::atoi(argv[3]) : 800;

    bool identical = true;
    for (bool shuffled : {false, true}) {
        // Points in random order cannot be reduced: as many as every segment, so fewer of them.
        const std::size_t count = shuffled ? std::max<std::size_t>(n / 100, 2) : n;
        std::vector<double> x, y;
        MakeCurve(count, shuffled, x, y);
        CPlotPrint plot;
        plot.SetLabels("t [s]", "Ia [A]");
        QImage image(w, h, QImage::Format_RGB32);
        const SStats redraw = Time(shuffled ? 3 : 21, [&] {
            image.fill(Qt::white);
            QPainter dc(&image);
            plot.DrawCurve(dc, image.rect(), x.data(), y.data(), static_cast<double>(count));
        });
        QImage reference;
        const SStats naive = Time(1, [&] { reference = DrawEverySegment(x, y, w, h); });
        const bool same = reference == image;
        identical = identical && same;
        std::printf("%s, %zu points, %d x %d image:\n",
                    shuffled ? "x in random order" : "time curve", count, w, h);
        std::printf("  redraw             min %8.2f ms, median %8.2f ms\n", redraw.dMin,
                    redraw.dMedian);
        std::printf("  every segment      %8.2f ms\n", naive.dMedian);
        std::printf("  same pixels        %s\n", same ? "yes" : "NO");
    }
    return identical ? 0 : 1;
}
