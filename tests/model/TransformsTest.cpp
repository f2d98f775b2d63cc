#include "Control.h"
#include "Progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

constexpr double kTrueTwoPi = 6.283185307179586;

/// The defining sums of the DFT, term by term, with the model's angle constant: the oracle.
struct CDirectDft {
    std::vector<double> m_mag;
    double m_dThd;
};

CDirectDft DirectDft(const std::vector<double>& s) {
    const std::size_t N = s.size();
    CDirectDft r{std::vector<double>(N), 0};
    double sum = 0;
    for (std::size_t k = 0; k < N; ++k) {
        double re = 0, im = 0;
        for (std::size_t m = 0; m < N; ++m) {
            const double arg = 2 * 3.141592 * double(k) * double(m) / double(N);
            re += s[m] * std::cos(arg);
            im += s[m] * std::sin(arg);
        }
        r.m_mag[k] = 2.0 / double(N) * std::sqrt(re * re + im * im);
        if (k >= 2 && k <= N / 2)
            sum += r.m_mag[k] * r.m_mag[k];
    }
    // With one sample there is no harmonic 1 to divide by: undefined, as the code says.
    r.m_dThd = N < 2 ? std::nan("") : std::sqrt(sum) / r.m_mag[1];
    r.m_mag[0] /= 2;
    return r;
}

std::vector<double> Sine(std::size_t N, double periods, double amplitude, double offset = 0) {
    std::vector<double> s(N);
    for (std::size_t m = 0; m < N; ++m)
        s[m] = offset + amplitude * std::sin(kTrueTwoPi * periods * double(m) / double(N));
    return s;
}

class CRecordingSink : public IProgressSink {
public:
    void Open(long long lo, long long hi) override {
        m_nOpen++;
        m_nLower = lo;
        m_nUpper = hi;
        m_nLast = lo;
    }
    void SetPos(long long pos) override {
        EXPECT_GE(pos, m_nLast) << "progress went backwards";
        m_nLast = pos;
        m_nSetPos++;
    }
    void Close() override { m_nClose++; }
    int m_nOpen = 0, m_nClose = 0, m_nSetPos = 0;
    long long m_nLower = -1, m_nUpper = -1, m_nLast = 0;
};

} // namespace

TEST(CControlDerivative, OfAStraightLineIsItsSlopeEverywhereIncludingTheLastPoint) {
    CControl control;
    const std::vector<double> x = {0, 0.1, 0.25, 0.3, 1.7, 2.0}; // uneven grid
    std::vector<double> y(x.size()), out(x.size(), -1);
    std::transform(x.begin(), x.end(), y.begin(), [](double v) { return 2 * v; });
    control.Derivative(x.data(), y.data(), out.data(), x.size());
    for (double v : out)
        EXPECT_NEAR(v, 2.0, 1e-12);
}

TEST(CControlDerivative, UsesTheForwardDifferenceAndRepeatsItAtTheEnd) {
    CControl control;
    const std::vector<double> x = {0, 1, 2, 3};
    const std::vector<double> y = {0, 1, 4, 9};
    std::vector<double> out(4);
    control.Derivative(x.data(), y.data(), out.data(), 4);
    EXPECT_EQ(out, (std::vector<double>{1, 3, 5, 5})); // hand differences
}

TEST(CControlDerivative, OfOnePointIsZeroAndOfNoPointTouchesNothing) {
    CControl control;
    const double x = 1, y = 5;
    double out = -7;
    control.Derivative(&x, &y, &out, 1);
    EXPECT_EQ(out, 0.0);
    out = -7;
    control.Derivative(&x, &y, &out, 0);
    EXPECT_EQ(out, -7.0);
}

TEST(CControlIntegral, OfAConstantStartsAtZero) {
    CControl control;
    const std::vector<double> x = {0, 0.1, 0.2};
    const std::vector<double> y = {1, 1, 1};
    std::vector<double> out(3, -1);
    control.Integral(x.data(), y.data(), out.data(), 3);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_NEAR(out[1], 0.1, 1e-15);
    EXPECT_NEAR(out[2], 0.2, 1e-15);
}

TEST(CControlIntegral, UsesTheRightEndOfEachInterval) {
    CControl control;
    const std::vector<double> x = {0, 1, 3};
    const std::vector<double> y = {100, 2, 5};
    std::vector<double> out(3);
    control.Integral(x.data(), y.data(), out.data(), 3);
    EXPECT_EQ(out, (std::vector<double>{0, 2, 12})); // 1*2, then + 2*5
}

TEST(CControlIntegral, OfOnePointIsZero) {
    CControl control;
    const double x = 3, y = 4;
    double out = -1;
    control.Integral(&x, &y, &out, 1);
    EXPECT_EQ(out, 0.0);
}

TEST(CControlPostProcessing, ReportsProgressFromZeroToTheSampleCount) {
    CControl control;
    CRecordingSink sink;
    control.m_pProgress = &sink;
    const std::vector<double> s = Sine(1000, 3, 1);
    std::vector<double> out(s.size());
    control.Derivative(s.data(), s.data(), out.data(), s.size());
    control.Integral(s.data(), s.data(), out.data(), s.size());
    control.Dft(s.data(), out.data(), s.size());
    EXPECT_EQ(sink.m_nOpen, 3);
    EXPECT_EQ(sink.m_nClose, 3);
    EXPECT_EQ(sink.m_nLower, 0);
    EXPECT_EQ(sink.m_nUpper, 1000);
    EXPECT_EQ(sink.m_nLast, 1000);
    EXPECT_GE(sink.m_nSetPos, 3);
}

TEST(CControlDft, SineOfFourPeriodsGivesOneStemOfItsAmplitude) {
    CControl control;
    const std::size_t N = 400;
    const std::vector<double> s = Sine(N, 4, 2.5);
    std::vector<double> mag(N);
    const double thd = control.Dft(s.data(), mag.data(), N);
    // The angle constant 3.141592 is not pi: the stem is off by about 1e-6 relative.
    EXPECT_NEAR(mag[4], 2.5, 1e-4);
    for (std::size_t k = 0; k <= N / 2; ++k) {
        if (k != 4) {
            EXPECT_LT(mag[k], 1e-4) << "k = " << k;
        }
    }
    // The THD is relative to harmonic 1, which is almost empty here.
    EXPECT_GT(thd, 1000);
}

TEST(CControlDft, SineOfOnePeriodHasNoDistortionAndTheMeanInMagZero) {
    CControl control;
    const std::size_t N = 1000;
    const std::vector<double> s = Sine(N, 1, 1.5, 0.25);
    std::vector<double> mag(N);
    const double thd = control.Dft(s.data(), mag.data(), N);
    EXPECT_NEAR(mag[0], 0.25, 1e-5);
    EXPECT_NEAR(mag[1], 1.5, 1e-5);
    EXPECT_LT(thd, 1e-5);
}

TEST(CControlDft, SquareWaveOfOnePeriodHasTheFourierAmplitudeAndItsThd) {
    CControl control;
    const std::size_t N = 20000;
    std::vector<double> s(N);
    for (std::size_t m = 0; m < N; ++m)
        s[m] = m < N / 2 ? 1.0 : -1.0;
    std::vector<double> mag(N);
    const double thd = control.Dft(s.data(), mag.data(), N);
    EXPECT_NEAR(mag[1], 4 / M_PI, 1e-3);                    // Fourier series of the square wave
    EXPECT_NEAR(thd, std::sqrt(M_PI * M_PI / 8 - 1), 2e-3); // sqrt(sum 1/k^2, odd k >= 3)
}

TEST(CControlDft, ThdIsUndefinedWithoutAFundamentalOrWithOneSample) {
    CControl control;
    std::vector<double> zeros(16, 0.0), mag(16, -1);
    EXPECT_TRUE(std::isnan(control.Dft(zeros.data(), mag.data(), 16)));
    EXPECT_EQ(mag[0], 0.0);

    const double one = -3;
    double m0 = -1;
    EXPECT_TRUE(std::isnan(control.Dft(&one, &m0, 1)));
    EXPECT_DOUBLE_EQ(m0, 3.0); // |s0|: twice the mean, halved
    EXPECT_TRUE(std::isnan(control.Dft(nullptr, nullptr, 0)));
}

class CControlDftAgainstSums : public testing::TestWithParam<std::size_t> {};

TEST_P(CControlDftAgainstSums, AgreesWithTheDefiningSums) {
    const std::size_t N = GetParam();
    // A mixture with a mean, harmonics, an off-grid tone and a step: nothing is special.
    std::vector<double> s(N);
    for (std::size_t m = 0; m < N; ++m) {
        const double u = double(m) / double(N);
        s[m] = 0.3 + std::sin(kTrueTwoPi * u) + 0.2 * std::cos(kTrueTwoPi * 5 * u + 0.4) +
               0.05 * std::sin(kTrueTwoPi * 7.3 * u) + (m % 17 < 3 ? 0.7 : 0.0);
    }
    const CDirectDft direct = DirectDft(s);
    CControl control;
    std::vector<double> mag(N);
    const double thd = control.Dft(s.data(), mag.data(), N);
    const double largest = *std::max_element(direct.m_mag.begin(), direct.m_mag.end());
    for (std::size_t k = 0; k < N; ++k)
        ASSERT_NEAR(mag[k], direct.m_mag[k], 1e-9 * largest) << "k = " << k;
    if (N >= 2)
        EXPECT_NEAR(thd, direct.m_dThd, 1e-9 * std::max(1.0, direct.m_dThd));
    else
        EXPECT_TRUE(std::isnan(thd));
}

INSTANTIATE_TEST_SUITE_P(SeveralLengths, CControlDftAgainstSums,
                         testing::Values(1, 2, 3, 4, 5, 16, 97, 250, 1009, 2048, 4001));

TEST(CControlDft, LongTransformAgreesWithTheSumsAtSampledHarmonics) {
    // 60000 samples: chirp phases reach 1e9 rad, where plain double arithmetic would lose 1e-7.
    const std::size_t N = 60000;
    std::vector<double> s(N);
    for (std::size_t m = 0; m < N; ++m)
        s[m] = std::sin(0.001 * double(m)) + 0.1 * std::cos(0.37 * double(m) * double(m) / N);
    CControl control;
    std::vector<double> mag(N);
    control.Dft(s.data(), mag.data(), N);
    const double largest = *std::max_element(mag.begin(), mag.end());
    for (std::size_t k : {std::size_t(1), std::size_t(9), std::size_t(1234), std::size_t(29999),
                          std::size_t(45678), N - 1}) {
        double re = 0, im = 0;
        for (std::size_t m = 0; m < N; ++m) {
            const double arg = 2 * 3.141592 * double(k) * double(m) / double(N);
            re += s[m] * std::cos(arg);
            im += s[m] * std::sin(arg);
        }
        const double direct = 2.0 / double(N) * std::sqrt(re * re + im * im);
        EXPECT_NEAR(mag[k], direct, 1e-9 * largest) << "k = " << k;
    }
}

class CControlPwmVoltage : public testing::TestWithParam<int> {};

TEST_P(CControlPwmVoltage, FundamentalOverWholePeriodsIsTheReferenceInPhaseUnits) {
    const int phase = GetParam();
    CControl control;
    // 50 Hz voltage from a 5 kHz carrier, two periods of the voltage, 1000 samples a carrier
    // period so the dwell times are resolved to 0.1 %.
    const double fimp = 5000, mf = 0.01, ma = 0.6, Ud = 300;
    const int N = 200001;
    std::vector<double> t(N), u(N);
    const int written = control.PwmVoltage(0, 0.04, N, fimp, Ud, mf, ma, t.data(), u.data(), phase);
    ASSERT_GE(written, N - 1);
    const std::size_t samples = N - 1; // t = 0 .. 0.04 - dt: exactly two periods
    std::vector<double> mag(samples);
    control.Dft(u.data(), mag.data(), samples);
    // The SVPWM average of v_alpha is ma Ud cos(angle); in the power-invariant frame a phase
    // voltage is sqrt(2/3) times its alpha-beta component (derivation beside the test).
    const double expected = ma * Ud * std::sqrt(2.0 / 3.0);
    EXPECT_NEAR(mag[2], expected, 0.002 * expected);
    EXPECT_LT(mag[0], 0.005 * expected); // no mean
    EXPECT_LT(mag[1], 0.005 * expected);
    EXPECT_LT(mag[4], 0.005 * expected);
}

INSTANTIATE_TEST_SUITE_P(EachPhase, CControlPwmVoltage, testing::Values(0, 1, 2));

TEST(CControlPwmVoltageTiming, WritesTheSampleTimesAndStartsWithTheZeroVector) {
    CControl control;
    const int N = 101;
    std::vector<double> t(N, -1), u(N, -1);
    const int written =
        control.PwmVoltage(0.01, 0.02, N, 5000, 1.0, 0.01, 0.5, t.data(), u.data(), 0);
    ASSERT_TRUE(written == N - 1 || written == N);
    for (int i = 0; i < written; ++i)
        EXPECT_NEAR(t[i], 0.01 + i * 0.0001, 1e-12);
    EXPECT_EQ(u[0], 0.0); // the first pass starts a carrier period: zero vector
}

TEST(CControlPwmVoltageTiming, EveryCallStartsTheSequenceAfresh) {
    CControl control;
    const int N = 4001;
    std::vector<double> t(N), u1(N), u2(N);
    // An odd number of carrier periods would flip a shared sign between the calls.
    const int n1 = control.PwmVoltage(0, 0.0011, N, 5000, 1.0, 0.01, 0.5, t.data(), u1.data(), 0);
    const int n2 = control.PwmVoltage(0, 0.0011, N, 5000, 1.0, 0.01, 0.5, t.data(), u2.data(), 0);
    ASSERT_EQ(n1, n2);
    EXPECT_EQ(u1, u2);
}

TEST(CControlPwmVoltageTiming, AlternatesTheVectorOrderFromPeriodToPeriod) {
    CControl control;
    // Two carrier periods of a 50 Hz voltage: sector 0, vectors 1 (Ua of alpha s) and 2 (s/2).
    // In the second period the angle is 0.063 rad, so vector 2 lasts about 4 % of it.
    const int N = 4001;
    std::vector<double> t(N), u(N);
    control.PwmVoltage(0, 0.0004, N, 5000, 1.0, 0.01, 0.5, t.data(), u.data(), 0);
    // Period 1 (sign +1): zero, A, B, zero; period 2 (sign -1): zero, B, A, zero.
    const double a = 1.4142 / 1.7321 * 1.4142 / 1.7321; // Ua of vector 1
    auto firstActive = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            if (u[i] != 0)
                return u[i];
        return 0.0;
    };
    EXPECT_NEAR(firstActive(0, 2000), a, 1e-12);
    EXPECT_NEAR(firstActive(2002, 4000), a / 2, 1e-12);
}

TEST(CControlPwmVoltageTiming, FewerThanTwoSamplesWriteNothing) {
    CControl control;
    double t = -1, u = -1;
    EXPECT_EQ(control.PwmVoltage(0, 1, 1, 5000, 1, 0.01, 0.5, &t, &u, 0), 0);
    EXPECT_EQ(control.PwmVoltage(0, 1, 0, 5000, 1, 0.01, 0.5, &t, &u, 0), 0);
    EXPECT_EQ(t, -1.0);
}
