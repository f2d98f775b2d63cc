// Redraw of long curves by the plot renderer, against drawing every segment, and one zoom step
// of the view.
//
//   bench_redraw [points] [width] [height]      (defaults 2000000 1280 800)
//
// Prints the time of a full redraw (frame, scales and curve) on an RGB32 image, the time of the
// same frame with every segment drawn one by one, and whether both give the same pixels: for
// one curve, for one curve with x in random order, and for three curves overlaid. Then the time
// of one wheel step of a view zoomed to 1 % of a curve of the given length (the zoom and the
// redraw of the view). Exits with 1 when pixels differ. Runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
#include "document/KalvorDoc.h"
#include "document/KalvorView.h"
#include "plot/PlotPrint.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWheelEvent>

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
    const int L = plot.m_nLeft, PW = plot.m_nRight - plot.m_nLeft, PH = h - 30;
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

/// Three phase currents of the same time axis, shifted by a third of a period.
void MakePhases(std::size_t n, std::vector<double>& x, std::vector<std::vector<double>>& ys) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0, 0.3);
    x.resize(n);
    ys.assign(3, std::vector<double>(n));
    const double h = 0.1 / static_cast<double>(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = i * h;
        for (int k = 0; k < 3; ++k)
            ys[k][i] = 10 * std::sin(2 * 3.141592 * 50 * x[i] - k * 2 * 3.141592 / 3) +
                       1.5 * std::sin(2 * 3.141592 * 5000 * x[i] + k) + noise(random);
    }
}

/// The frame and legend alone, every segment of each curve in its colour one by one, then the
/// legend again on top, as the renderer layers them.
QImage DrawEverySegmentOfEach(const std::vector<double>& x,
                              const std::vector<std::vector<double>>& ys, int w, int h) {
    CPlotPrint plot;
    plot.SetLabels("t [s]", "Ia, Ib, Ic [A]");
    std::vector<CPlotPrint::SCurve> curves;
    const char* labels[] = {"Ia [A]", "Ib [A]", "Ic [A]"};
    for (std::size_t k = 0; k < ys.size(); ++k)
        curves.push_back({ys[k].data(), labels[k]});
    std::vector<QColor> colours;
    for (std::size_t k = 0; k < ys.size(); ++k)
        colours.push_back(plot.CurvePen(int(k)).color());
    plot.m_penCurve.setStyle(Qt::NoPen);
    for (QPen& pen : plot.m_aCurvePens)
        pen.setStyle(Qt::NoPen);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter dc(&image);
    plot.DrawCurves(dc, image.rect(), x.data(), curves, double(x.size()), CPlotZoom());
    // x starts at 0, so xr = xmax; y takes both signs, so yr = ymax - ymin over all curves.
    const CPlotAxes& axes = plot.m_axes;
    const int L = axes.m_nLeft, PW = axes.m_nWidth, PH = axes.m_nHeight;
    const double xr = axes.m_dXr, yr = axes.m_dYr;
    const int x0 = static_cast<int>(L - 0 * PW / xr);
    const int y0 = static_cast<int>(h - 15 + axes.m_dYMin * PH / yr);
    for (std::size_t k = 0; k < ys.size(); ++k) {
        dc.setPen(QPen(colours[k], 1));
        QPoint previous;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const QPoint p(static_cast<int>(PW * x[i] / xr + x0),
                           static_cast<int>(y0 - PH * ys[k][i] / yr));
            if (i > 0)
                dc.drawLine(previous, p);
            previous = p;
        }
    }
    // The legend's swatches take the pens' colours, which NoPen keeps.
    plot.DrawLegend(dc, image.rect(), curves);
    return image;
}

bool BenchOverlay(std::size_t n, int w, int h) {
    std::vector<double> x;
    std::vector<std::vector<double>> ys;
    MakePhases(n, x, ys);
    CPlotPrint plot;
    plot.SetLabels("t [s]", "Ia, Ib, Ic [A]");
    const std::vector<CPlotPrint::SCurve> curves = {
        {ys[0].data(), "Ia [A]"}, {ys[1].data(), "Ib [A]"}, {ys[2].data(), "Ic [A]"}};
    QImage image(w, h, QImage::Format_RGB32);
    const SStats redraw = Time(21, [&] {
        image.fill(Qt::white);
        QPainter dc(&image);
        plot.DrawCurves(dc, image.rect(), x.data(), curves, double(n), CPlotZoom());
    });
    QImage reference;
    const SStats naive = Time(1, [&] { reference = DrawEverySegmentOfEach(x, ys, w, h); });
    const bool same = reference == image;
    std::printf("3 time curves of %zu points each, %d x %d image:\n", n, w, h);
    std::printf("  redraw             min %8.2f ms, median %8.2f ms\n", redraw.dMin,
                redraw.dMedian);
    std::printf("  every segment      %8.2f ms\n", naive.dMedian);
    std::printf("  same pixels        %s\n", same ? "yes" : "NO");
    return same;
}

/// One wheel step of a view zoomed to 1 % of the curve: the event and the redraw it causes.
void BenchZoomStep(std::size_t n, int w, int h) {
    CKalvorDoc doc;
    doc.AllocPlot(unsigned(n));
    std::vector<double> x, y;
    MakeCurve(n, false, x, y);
    std::copy(x.begin(), x.end(), doc.m_buffer.m_pPlotX.begin());
    std::copy(y.begin(), y.end(), doc.m_buffer.m_pPlotY.begin());
    doc.m_buffer.SetLabels("t [s]", "Ia [A]");
    doc.m_buffer.m_nPlotType = kPlotCurve;
    doc.m_bValid = true;
    CKalvorView view(doc);
    view.resize(w, h);
    QImage image(w, h, QImage::Format_RGB32);
    auto redraw = [&] {
        image.fill(Qt::white);
        QPainter dc(&image);
        view.Draw(dc, image.rect());
    };
    redraw();
    const CPlotAxes& axes = doc.m_plot.m_axes;
    view.ZoomAt(axes.m_nLeft + axes.m_nWidth / 2.0, 100);
    redraw();
    const double share = axes.m_dXr / axes.m_dHomeXr;
    const QPointF at(axes.m_nLeft + axes.m_nWidth / 3.0, h / 2.0);
    int step = 0;
    const SStats wheel = Time(21, [&] {
        // In and out in turn, so the range stays near 1 %.
        const int delta = step++ % 2 == 0 ? 120 : -120;
        QWheelEvent event(at, view.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&view, &event);
        redraw();
    });
    std::printf("one wheel step, %zu points zoomed to %.2f %% of the range, %d x %d:\n", n,
                100 * share, w, h);
    std::printf("  zoom and redraw    min %8.2f ms, median %8.2f ms\n", wheel.dMin, wheel.dMedian);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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
    identical = BenchOverlay(n, w, h) && identical;
    BenchZoomStep(n, w, h);
    return identical ? 0 : 1;
}
