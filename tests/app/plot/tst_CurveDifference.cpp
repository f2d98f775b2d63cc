// The difference of two sampled curves: the second interpolated at the first one's samples.
#include "plot/CurveDifference.h"

#include <QtTest>

#include <cmath>
#include <vector>

namespace {

struct CSamples {
    std::vector<double> x, y;
    CSampledCurve Curve() const { return {x.data(), y.data(), x.size()}; }
};

/// n samples of f from x0 with step h.
template <class F> CSamples Sample(double x0, double h, int n, F f) {
    CSamples s;
    for (int i = 0; i < n; ++i) {
        s.x.push_back(x0 + i * h);
        s.y.push_back(f(s.x.back()));
    }
    return s;
}

} // namespace

class TestCurveDifference : public QObject {
    Q_OBJECT
private slots:
    void LinesDifferExactlyWhateverTheirSamples_data();
    void LinesDifferExactlyWhateverTheirSamples();
    void SineAgainstAFinerOneIsWithinTheInterpolationBound_data();
    void SineAgainstAFinerOneIsWithinTheInterpolationBound();
    void CurvesWithoutACommonRangeOrOrderAreRefused();
};

void TestCurveDifference::LinesDifferExactlyWhateverTheirSamples_data() {
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("h");
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("x0b");
    QTest::addColumn<double>("hb");
    QTest::addColumn<int>("nb");
    QTest::newRow("same grid") << 0.0 << 1e-5 << 200 << 0.0 << 1e-5 << 200;
    QTest::newRow("second coarser") << 0.0 << 5e-6 << 400 << 0.0 << 1e-5 << 300;
    QTest::newRow("second finer, shorter") << 0.0 << 1e-4 << 100 << 0.002 << 1e-6 << 3000;
    QTest::newRow("offset grids") << 0.013 << 3e-5 << 77 << 0.0 << 7e-5 << 300;
    QTest::newRow("second of two samples") << -1.0 << 0.1 << 21 << -0.55 << 1.0 << 2;
}

void TestCurveDifference::LinesDifferExactlyWhateverTheirSamples() {
    QFETCH(double, x0);
    QFETCH(double, h);
    QFETCH(int, n);
    QFETCH(double, x0b);
    QFETCH(double, hb);
    QFETCH(int, nb);
    // Linear interpolation reproduces a line, so (3x + 1) - (-2x + 4) = 5x - 3 everywhere the
    // second is defined, and only there.
    const CSamples first = Sample(x0, h, n, [](double x) { return 3 * x + 1; });
    const CSamples second = Sample(x0b, hb, nb, [](double x) { return -2 * x + 4; });
    const CCurveDifference d = CurveDifference(first.Curve(), second.Curve());
    const double lo = second.x.front(), hi = second.x.back();
    int inside = 0;
    for (double x : first.x)
        inside += x >= lo && x <= hi;
    QVERIFY(d.m_bOk);
    QCOMPARE(int(d.m_vecX.size()), inside);
    for (std::size_t i = 0; i < d.m_vecX.size(); ++i) {
        QVERIFY(d.m_vecX[i] >= lo && d.m_vecX[i] <= hi);
        QVERIFY2(std::abs(d.m_vecY[i] - (5 * d.m_vecX[i] - 3)) < 1e-9,
                 qPrintable(QString::number(d.m_vecX[i])));
    }
}

void TestCurveDifference::SineAgainstAFinerOneIsWithinTheInterpolationBound_data() {
    QTest::addColumn<double>("hb");
    for (double hb : {1e-3, 3e-4, 1e-4, 3e-5})
        QTest::newRow(qPrintable(QString::number(hb))) << hb;
}

void TestCurveDifference::SineAgainstAFinerOneIsWithinTheInterpolationBound() {
    QFETCH(double, hb);
    // The same 50 Hz sine of amplitude 10 sampled twice: what is left is the interpolation
    // error of the second, at most h^2 / 8 * max|f''| = h^2 / 8 * 10 (2 pi 50)^2.
    const double w = 2 * M_PI * 50;
    const auto f = [w](double t) { return 10 * std::sin(w * t); };
    const CSamples first = Sample(0, 7e-5, 500, f);
    const CSamples second = Sample(0, hb, int(0.04 / hb) + 1, f);
    const CCurveDifference d = CurveDifference(first.Curve(), second.Curve());
    QVERIFY(d.m_bOk);
    const double bound = hb * hb / 8 * 10 * w * w * (1 + 1e-9) + 1e-12;
    double worst = 0;
    for (double v : d.m_vecY)
        worst = std::max(worst, std::abs(v));
    QVERIFY2(worst <= bound, qPrintable(QString("%1 > %2").arg(worst).arg(bound)));
    QVERIFY(worst > bound / 20); // the bound is nearly reached: the error is real, not zero
}

void TestCurveDifference::CurvesWithoutACommonRangeOrOrderAreRefused() {
    const CSamples early = Sample(0, 1, 5, [](double x) { return x; });
    const CSamples late = Sample(10, 1, 5, [](double x) { return x; });
    CCurveDifference d = CurveDifference(early.Curve(), late.Curve());
    QVERIFY(!d.m_bOk);
    QVERIFY(!d.m_strMessage.empty());
    CSamples backwards = late;
    std::reverse(backwards.x.begin(), backwards.x.end());
    d = CurveDifference(early.Curve(), backwards.Curve());
    QVERIFY(!d.m_bOk);
    QVERIFY(QString::fromStdString(d.m_strMessage).contains("decrease"));
    QVERIFY(std::isnan(InterpolateAt(early.Curve(), -0.5)));
    QCOMPARE(InterpolateAt(early.Curve(), 4.0), 4.0); // the last sample itself
}

QTEST_MAIN(TestCurveDifference)
#include "tst_CurveDifference.moc"
