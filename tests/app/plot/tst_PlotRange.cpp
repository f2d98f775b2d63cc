// The ranges of a plot's data, checked against a plain pass over the points.
#include "plot/PlotRange.h"

#include <QtTest>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

class TestPlotRange : public QObject {
    Q_OBJECT
private slots:
    void AxisRangeFollowsThePlotsRule_data();
    void AxisRangeFollowsThePlotsRule();
    void ScansAndVisibleExtremesMatchAPlainPass_data();
    void ScansAndVisibleExtremesMatchAPlainPass();
    void LinesReachTheEndsOfTheRangeShown_data();
    void LinesReachTheEndsOfTheRangeShown();
};

namespace {

using SGroup = CPlotRange::SGroup;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

} // namespace

void TestPlotRange::AxisRangeFollowsThePlotsRule_data() {
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<bool>("nearZero");
    QTest::addColumn<double>("range");
    QTest::addColumn<double>("newLo");
    QTest::addColumn<double>("newHi");
    QTest::newRow("apart from zero") << 2.0 << 5.0 << false << 3.0 << 2.0 << 5.0;
    QTest::newRow("a value near zero: sum of magnitudes")
        << -2.0 << 5.0 << true << 7.0 << -2.0 << 5.0;
    QTest::newRow("near zero, both above") << 0.0005 << 5.0 << true << 5.0005 << 0.0005 << 5.0;
    QTest::newRow("one value: widened by 10 %") << 4.0 << 4.0 << false << 0.8 << 3.6 << 4.4;
    QTest::newRow("one negative value") << -4.0 << -4.0 << false << 0.8 << -4.4 << -3.6;
    QTest::newRow("zero alone: widened by 1") << 0.0 << 0.0 << true << 2.0 << -1.0 << 1.0;
}

void TestPlotRange::AxisRangeFollowsThePlotsRule() {
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(bool, nearZero);
    QFETCH(double, range);
    QFETCH(double, newLo);
    QFETCH(double, newHi);
    QVERIFY(std::fabs(CPlotRange::AxisRange(lo, hi, nearZero) - range) < 1e-12);
    QVERIFY(std::fabs(lo - newLo) < 1e-12);
    QVERIFY(std::fabs(hi - newHi) < 1e-12);
}

void TestPlotRange::ScansAndVisibleExtremesMatchAPlainPass_data() {
    QTest::addColumn<bool>("ascending");
    QTest::addColumn<bool>("holes");
    QTest::addColumn<bool>("zoom");
    for (bool ascending : {true, false})
        for (bool holes : {false, true})
            for (bool zoom : {false, true})
                QTest::addRow("%s x%s%s", ascending ? "ascending" : "unordered",
                              holes ? ", values not finite" : "", zoom ? ", zoomed" : "")
                    << ascending << holes << zoom;
}

void TestPlotRange::ScansAndVisibleExtremesMatchAPlainPass() {
    QFETCH(bool, ascending);
    QFETCH(bool, holes);
    QFETCH(bool, zoom);
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-3.0, 7.0), place(0.0, 10.0);
    // Two groups: one of two curves on the left axis, one on the right of its own x.
    const std::size_t n = 5000, m = 700;
    std::vector<double> x(n), y1(n), y2(n), x3(m), y3(m);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = ascending ? 10.0 * double(i) / double(n) : place(random);
        y1[i] = value(random);
        y2[i] = 0.5 * value(random) + 20;
    }
    for (std::size_t i = 0; i < m; ++i) {
        x3[i] = 2 + 3.0 * double(i) / double(m);
        y3[i] = 100 * value(random);
    }
    if (holes) {
        y1[17] = kNaN;
        x[400] = std::numeric_limits<double>::infinity();
        y2[n - 1] = -kNaN;
    }
    std::vector<SGroup> groups{{x.data(), n, {y1.data(), y2.data()}, false, false},
                               {x3.data(), m, {y3.data()}, false, true}};
    CPlotZoom shown;
    shown.ShowX(3.3, 4.1, 0.0, 10.0);
    CPlotRange::SDataScan right;
    const CPlotRange::SDataScan all = CPlotRange::ScanData(groups, zoom ? &shown : nullptr, right);

    // The plain pass: every finite pair, y inside the x range where the scan reads only there.
    const auto finite = [](double v) { return std::isfinite(v); };
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300, rmin = 1e300, rmax = -1e300;
    std::size_t count = 0;
    for (const double* y : {y1.data(), y2.data()})
        for (std::size_t i = 0; i < n; ++i)
            if (finite(x[i]) && finite(y[i])) {
                ++count;
                xmin = std::min(xmin, x[i]);
                xmax = std::max(xmax, x[i]);
                ymin = std::min(ymin, y[i]);
                ymax = std::max(ymax, y[i]);
            }
    for (std::size_t i = 0; i < m; ++i) {
        xmin = std::min(xmin, x3[i]);
        xmax = std::max(xmax, x3[i]);
        rmin = std::min(rmin, y3[i]);
        rmax = std::max(rmax, y3[i]);
    }
    QCOMPARE(all.dXMin, xmin);
    QCOMPARE(all.dXMax, xmax);
    QCOMPARE(all.nFinite, count + m);
    QCOMPARE(all.bAscending, ascending && !holes);
    QCOMPARE(groups[0].bAscending, ascending && !holes);
    QVERIFY(groups[1].bAscending);
    if (!zoom) {
        QCOMPARE(right.dYMin, rmin);
        QCOMPARE(right.dYMax, rmax);
    } else {
        // Zoomed, y of ascending x is read inside the range and one point beyond each end.
        QVERIFY(right.dYMin >= rmin && right.dYMax <= rmax && right.dYMin < right.dYMax);
    }
    if (!zoom || !groups[0].bAscending) {
        QCOMPARE(all.dYMin, ymin);
        QCOMPARE(all.dYMax, ymax);
    } else {
        QVERIFY(all.dYMin >= ymin && all.dYMax <= ymax);
    }

    // The extremes of the points inside [3.3, 4.1], on each axis.
    for (bool bRight : {false, true}) {
        double lo = 1e300, hi = -1e300;
        const auto take = [&](const std::vector<double>& xs, const double* y, std::size_t k) {
            for (std::size_t i = 0; i < k; ++i)
                if (xs[i] >= 3.3 && xs[i] <= 4.1 && finite(y[i]) && finite(xs[i])) {
                    lo = std::min(lo, y[i]);
                    hi = std::max(hi, y[i]);
                }
        };
        if (bRight) {
            take(x3, y3.data(), m);
        } else {
            take(x, y1.data(), n);
            take(x, y2.data(), n);
        }
        double shownLo = 0, shownHi = 0;
        QVERIFY(CPlotRange::VisibleExtremes(groups, bRight, 3.3, 4.1, shownLo, shownHi, false));
        QCOMPARE(shownLo, lo);
        QCOMPARE(shownHi, hi);
    }
}

void TestPlotRange::LinesReachTheEndsOfTheRangeShown_data() {
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("ymin");
    QTest::addColumn<double>("ymax");
    // y = 10 x at x = 0, 1, 2, 3 and a step down to 0 at 4.
    QTest::newRow("between two samples") << 1.25 << 1.5 << 12.5 << 15.0;
    QTest::newRow("over one sample") << 0.5 << 1.5 << 5.0 << 15.0;
    QTest::newRow("on samples") << 1.0 << 2.0 << 10.0 << 20.0;
    QTest::newRow("into the step") << 2.5 << 3.5 << 15.0 << 30.0;
    QTest::newRow("beyond the last") << 3.5 << 9.0 << 0.0 << 15.0;
}

void TestPlotRange::LinesReachTheEndsOfTheRangeShown() {
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, ymin);
    QFETCH(double, ymax);
    const std::vector<double> x{0, 1, 2, 3, 4}, y{0, 10, 20, 30, 0};
    std::vector<SGroup> groups{{x.data(), x.size(), {y.data()}, true, false}};
    double shownLo = 0, shownHi = 0;
    QVERIFY(CPlotRange::VisibleExtremes(groups, false, lo, hi, shownLo, shownHi));
    QCOMPARE(shownLo, ymin);
    QCOMPARE(shownHi, ymax);
}

QTEST_MAIN(TestPlotRange)
#include "tst_PlotRange.moc"
