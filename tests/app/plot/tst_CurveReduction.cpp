// The reduction of long curves to the segments that cover their pixels, checked on the
// segments themselves: the fast path over pixel columns against the point-by-point one.
#include "plot/CurveReduction.h"

#include <QtTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

class TestCurveReduction : public QObject {
    Q_OBJECT
private slots:
    void RunsGiveWhatEveryPointGives_data();
    void RunsGiveWhatEveryPointGives();
    void ShownPointsReachOneBeyondEachEnd();
    void PixelsOfAbsurdValuesStayBounded();
};

namespace {

using SMapping = CCurveReduction::SMapping;

struct SCurveData {
    std::vector<double> x, y;
};

/// Ascending x of the given shape: count points over [0, 1].
SCurveData MakeCurve(const QString& kind, std::size_t count) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    SCurveData c;
    for (std::size_t i = 0; i < count; ++i) {
        const double t = double(i) / double(count - 1);
        double x = t, y = std::sin(40 * t) + 0.2 * noise(random);
        if (kind == "plateaus")
            x = std::floor(t * 37) / 37; // many points share one x
        else if (kind == "steps")
            y = std::floor(t * 9);
        else if (kind == "spikes")
            y = i % 101 == 0 ? 1e6 : y;
        else if (kind == "flat")
            y = 0.5;
        c.x.push_back(x);
        c.y.push_back(y);
    }
    return c;
}

/// Every point's pixel lies on a segment of out: an end of one, or inside a vertical span.
bool Covers(const std::vector<QLine>& out, int px, int py) {
    return std::any_of(out.begin(), out.end(), [&](const QLine& l) {
        if (l.p1() == QPoint(px, py) || l.p2() == QPoint(px, py))
            return true;
        return l.x1() == px && l.x2() == px && py >= std::min(l.y1(), l.y2()) &&
               py <= std::max(l.y1(), l.y2());
    });
}

} // namespace

void TestCurveReduction::RunsGiveWhatEveryPointGives_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("lo"); // x range shown
    QTest::addColumn<double>("hi");
    for (const char* kind : {"noisy sine", "plateaus", "steps", "spikes", "flat"}) {
        QTest::addRow("%s, 200000 points, whole", kind) << QString(kind) << 200000 << 0.0 << 1.0;
        QTest::addRow("%s, 300 points, whole", kind) << QString(kind) << 300 << 0.0 << 1.0;
        QTest::addRow("%s, 200000 points, zoomed", kind)
            << QString(kind) << 200000 << 0.4012 << 0.4031;
        QTest::addRow("%s, 50 points, zoomed between two", kind)
            << QString(kind) << 50 << 0.5001 << 0.5002;
    }
}

void TestCurveReduction::RunsGiveWhatEveryPointGives() {
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(double, lo);
    QFETCH(double, hi);
    const SCurveData c = MakeCurve(kind, std::size_t(count));
    const int width = 640, height = 400;
    // Zoomed, as the renderer maps: offsets at the ends of the ranges shown.
    const SMapping map{double(width), double(height), hi - lo, 2.4, lo, -1.2, 40.0, 415.0};

    const auto [from, to] = CCurveReduction::ShownPoints(c.x.data(), c.x.size(), lo, hi);
    std::vector<std::size_t> runs;
    CCurveReduction::FindRuns(map, c.x.data(), from, to, runs);
    std::vector<QLine> fast, slow;
    CCurveReduction::ReduceRuns(map, c.x.data(), c.y.data(), runs, fast);
    CCurveReduction::ReducePoints(map, c.x.data() + from, c.y.data() + from, to - from, slow);
    QCOMPARE(fast, slow);

    // At most two segments per pixel column touched, and every point is still drawn.
    std::vector<int> columns;
    for (std::size_t i = from; i < to; ++i)
        columns.push_back(map.Px(c.x[i]));
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    QVERIFY(fast.size() <= 2 * columns.size());
    for (std::size_t i = from; i < to; i += std::max<std::size_t>(1, (to - from) / 2000))
        QVERIFY2(Covers(fast, map.Px(c.x[i]), map.Py(c.y[i])), qPrintable(QString::number(i)));
}

void TestCurveReduction::ShownPointsReachOneBeyondEachEnd() {
    std::vector<double> x;
    for (int i = 0; i < 1000; ++i)
        x.push_back(i * 0.01 + (i >= 500 ? 1.0 : 0.0)); // a gap after 4.99
    for (auto [lo, hi] : {std::pair{2.005, 3.005},
                          {5.2, 5.7},
                          {-3.0, 0.5},
                          {9.0, 99.0},
                          {5.5, 5.6},
                          {0.0, 10.99}}) {
        const auto [from, to] = CCurveReduction::ShownPoints(x.data(), x.size(), lo, hi);
        for (std::size_t i = 0; i < x.size(); ++i)
            if (x[i] >= lo && x[i] <= hi)
                QVERIFY(i >= from && i < to);
        // The segments leaving the range to either side are drawn.
        QVERIFY(from == 0 || x[from] < lo);
        QVERIFY(to == x.size() || x[to - 1] > hi);
        QVERIFY(from + 1 >= x.size() || x[from + 1] >= lo);
    }
}

void TestCurveReduction::PixelsOfAbsurdValuesStayBounded() {
    const double limit = CCurveReduction::kPixelLimit;
    for (double v : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::max(),
                     -std::numeric_limits<double>::infinity(), 1e300, -1e20}) {
        const int p = CCurveReduction::Trunc(v);
        QVERIFY(std::abs(double(p)) <= limit);
        QVERIFY(double(p) + double(p) < double(std::numeric_limits<int>::max()));
    }
    QCOMPARE(CCurveReduction::Trunc(-2.7), -2);
    QCOMPARE(CCurveReduction::Trunc(2.7), 2);
}

QTEST_MAIN(TestCurveReduction)
#include "tst_CurveReduction.moc"
