// Round scales: 1-2-5 steps, their ticks and numbers, and the unit of a time axis.
#include "plot/PlotScale.h"

#include <QtTest>

#include <cmath>

class TestPlotScale : public QObject {
    Q_OBJECT
private slots:
    void StepsAreOneTwoFiveAndTheSmallestThatFit_data();
    void StepsAreOneTwoFiveAndTheSmallestThatFit();
    void NumbersAreExactAndZeroIsZero();
    void TimeAxesTakeTheUnitOfTheirStep();
};

namespace {

/// a x 10^n with a in {1, 2, 5}, within rounding.
bool IsOneTwoFive(double step) {
    const double decade = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    const double a = step / decade;
    for (double k : {1.0, 2.0, 5.0, 10.0})
        if (std::abs(a - k) < 1e-9 * k)
            return true;
    return false;
}

/// The 1-2-5 step just below step.
double SmallerStep(double step) {
    const double decade = std::pow(10.0, std::floor(std::log10(step) + 1e-12));
    const double a = std::round(step / decade);
    return a == 1 ? decade / 2 : a == 2 ? decade : 2 * decade;
}

} // namespace

void TestPlotScale::StepsAreOneTwoFiveAndTheSmallestThatFit_data() {
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    // Ranges of the defects seen (currents of 2.5 A, 24 mA, a time of 0.1 s, zoomed to a
    // few microseconds) and ranges across every decade, negative, offset and exact.
    const double ranges[][2] = {{0, 0.1},         {-0.814, 2.548},   {0.0240, 0.0291},
                                {0.05, 0.050004}, {-1e-9, 3e-9},     {-1, 1},
                                {0, 1},           {0, 10},           {0, 100},
                                {123.4, 123.45},  {-5e6, 7.5e7},     {1e-3, 1e-3 + 1e-7},
                                {-350, -20},      {0.0999, 0.10001}, {0, 0.002}};
    for (const auto& r : ranges)
        QTest::newRow(qPrintable(QString("%1..%2").arg(r[0]).arg(r[1]))) << r[0] << r[1];
    for (int e = -8; e <= 8; e += 2)
        for (double m : {1.0, 1.7, 3.3, 7.9})
            QTest::newRow(qPrintable(QString("span %1e%2").arg(m).arg(e)))
                << -0.3 * m * std::pow(10.0, e) << 0.7 * m * std::pow(10.0, e);
}

void TestPlotScale::StepsAreOneTwoFiveAndTheSmallestThatFit() {
    QFETCH(double, lo);
    QFETCH(double, hi);
    const double span = hi - lo;
    for (int maxSteps = 1; maxSteps <= 25; ++maxSteps) {
        const double step = PlotScale::RoundStep(span, maxSteps);
        const QString at = QString("max %1 steps: step %2").arg(maxSteps).arg(step, 0, 'g', 17);
        QVERIFY2(IsOneTwoFive(step), qPrintable(at));
        QVERIFY2(span / step <= maxSteps * (1 + 1e-9), qPrintable(at));
        QVERIFY2(span / SmallerStep(step) > maxSteps * (1 - 1e-9), qPrintable(at));

        // Ticks: every multiple of the step in the range, no other, evenly spaced.
        const std::vector<double> ticks = PlotScale::Ticks(lo, hi, step);
        QVERIFY2(!ticks.empty() || span < step, qPrintable(at));
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            QVERIFY(ticks[i] >= lo - step * 1e-6 && ticks[i] <= hi + step * 1e-6);
            QVERIFY(std::abs(ticks[i] / step - std::round(ticks[i] / step)) < 1e-6);
            if (i > 0)
                QVERIFY(std::abs(ticks[i] - ticks[i - 1] - step) < step * 1e-6);
        }
        if (!ticks.empty()) {
            QVERIFY(ticks.front() - lo < step * (1 + 1e-9));
            QVERIFY(hi - ticks.back() < step * (1 + 1e-9));
        }
    }
}

void TestPlotScale::NumbersAreExactAndZeroIsZero() {
    for (double step : {5.0, 1.0, 0.5, 0.2, 0.01, 0.005, 2e-4, 1e-6, 50.0, 1e4}) {
        const int decimals = PlotScale::Decimals(step);
        // Multiples straddling zero, where rounding gives "-0.000" if anything does.
        for (int k = -7; k <= 7; ++k) {
            const double v = k * step + (k == 0 ? -step * 1e-12 : 0);
            const QString text = PlotScale::Number(v, step, decimals);
            QVERIFY2(std::abs(text.toDouble() - k * step) <= step * 1e-9, qPrintable(text));
            QVERIFY2(!text.startsWith("-0") || k != 0, qPrintable(text));
            if (k == 0)
                QCOMPARE(text, QString("0"));
            // No more decimals than the step needs: dropping one would change some multiple.
            if (decimals > 0 && k == 1)
                QVERIFY(std::abs(QString::asprintf("%.*f", decimals - 1, v).toDouble() - v) >
                        step * 1e-9);
        }
    }
}

void TestPlotScale::TimeAxesTakeTheUnitOfTheirStep() {
    QCOMPARE(PlotScale::TimeUnit(0.5).m_strUnit, QString("s"));
    QCOMPARE(PlotScale::TimeUnit(0.01).m_strUnit, QString("s"));
    QCOMPARE(PlotScale::TimeUnit(0.005).m_strUnit, QString("ms"));
    QCOMPARE(PlotScale::TimeUnit(0.005).m_dFactor, 1e3);
    QCOMPARE(PlotScale::TimeUnit(2e-6).m_strUnit, QString("ms"));
    QCOMPARE(PlotScale::TimeUnit(5e-7).m_strUnit, QString("\u00b5s"));
    QCOMPARE(PlotScale::TimeLabel("t [s]", PlotScale::TimeUnit(0.001)), QString("t [ms]"));
    QCOMPARE(PlotScale::TimeLabel("betaR [rad]", PlotScale::TimeUnit(0.001)),
             QString("betaR [rad]"));
    QVERIFY(!PlotScale::IsSeconds("x"));
}

QTEST_MAIN(TestPlotScale)
#include "tst_PlotScale.moc"
