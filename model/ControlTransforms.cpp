// The post-processing operations of CControl (derivative, integral, DFT) and the PWM voltage
// of ideal space-vector modulation.
#include "Control.h"
#include "Progress.h"

#include <kissfft/kissfft.hh>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

constexpr long double kPiL = 3.141592L; // the model's pi, for the chirp phases
constexpr double kTurn = CControl::kFullTurn;
constexpr double kSector = CControl::kSector;
constexpr const double* kVecAlpha = CControl::s_dVecAlpha;
constexpr const double* kVecBeta = CControl::s_dVecBeta;

/// Reports a loop of n outputs to an optional sink, about a hundred times at most, so a
/// window that repaints on every position does not dominate the work.
class CProgressReport {
public:
    CProgressReport(IProgressSink* pSink, std::size_t n)
        : m_pSink(pSink), m_nCount(n), m_nStride(n / 100 > 0 ? n / 100 : 1) {
        if (m_pSink)
            m_pSink->Open(0, static_cast<long long>(n));
    }
    ~CProgressReport() {
        if (m_pSink) {
            m_pSink->SetPos(static_cast<long long>(m_nCount));
            m_pSink->Close();
        }
    }
    CProgressReport(const CProgressReport&) = delete;
    CProgressReport& operator=(const CProgressReport&) = delete;
    /// Output value i is done.
    void Done(std::size_t i) {
        if (m_pSink && (i + 1) % m_nStride == 0)
            m_pSink->SetPos(static_cast<long long>(i + 1));
    }

private:
    IProgressSink* m_pSink;
    std::size_t m_nCount;
    std::size_t m_nStride;
};

/// Smallest length >= n whose only prime factors are 2, 3 and 5 (kissfft's fast radices).
std::size_t FastLength(std::size_t n) {
    for (std::size_t m = n > 1 ? n : 1;; ++m) {
        std::size_t r = m;
        for (std::size_t p : {2u, 3u, 5u})
            while (r % p == 0)
                r /= p;
        if (r == 1)
            return m;
    }
}

/// |X_k| for k = 0..N-1 of X_k = sum_m s[m] exp(-i c k m) with c = 2 * 3.141592 / N, by the
/// chirp-z transform: k m = (k^2 + m^2 - (k - m)^2) / 2 turns the sum into a convolution with
/// the chirp w_j = exp(i c j^2 / 2), evaluated by FFTs of a 2-3-5 length >= 2N - 1. The
/// factor exp(-i c k^2 / 2) in front of the convolution has modulus 1 and drops out.
void ChirpMagnitudes(const double* s, std::size_t N, std::vector<double>& absX) {
    using cpx = std::complex<double>;
    const std::size_t M = FastLength(2 * N - 1);

    // c j^2 / 2 = 3.141592 j^2 / N reaches 3e4 * N rad; reduced in extended precision so the
    // chirp stays accurate to about 1e-15 rad. c is not 2 pi / N, so j^2 cannot be reduced
    // modulo 2N instead.
    const long double twoPi = 6.283185307179586476925286766559L;
    std::vector<cpx> chirp(N);
    for (std::size_t j = 0; j < N; ++j) {
        const std::uint64_t j2 = static_cast<std::uint64_t>(j) * j;
        const long double phase =
            std::fmod(kPiL * static_cast<long double>(j2) / static_cast<long double>(N), twoPi);
        const double p = static_cast<double>(phase);
        chirp[j] = cpx(std::cos(p), std::sin(p));
    }

    std::vector<cpx> a(M), b(M), fa(M);
    for (std::size_t m = 0; m < N; ++m)
        a[m] = s[m] * std::conj(chirp[m]);
    b[0] = chirp[0];
    for (std::size_t j = 1; j < N; ++j)
        b[j] = b[M - j] = chirp[j];

    // Three buffers of M: a is reused for the chirp's spectrum and for the result.
    const kissfft<double> forward(M, false);
    forward.transform(a.data(), fa.data());
    forward.transform(b.data(), a.data());
    for (std::size_t i = 0; i < M; ++i)
        fa[i] *= a[i];
    const kissfft<double> inverse(M, true);
    inverse.transform(fa.data(), a.data());

    absX.resize(N);
    const double scale = 1.0 / static_cast<double>(M);
    for (std::size_t k = 0; k < N; ++k)
        absX[k] = std::abs(a[k]) * scale;
}

} // namespace

void CControl::Derivative(const double* x, const double* y, double* out, std::size_t n) {
    if (n == 0)
        return;
    CProgressReport progress(m_pProgress, n);
    if (n == 1) {
        out[0] = 0; // no interval to take a slope over
        progress.Done(0);
        return;
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        out[i] = (y[i + 1] - y[i]) / (x[i + 1] - x[i]);
        progress.Done(i);
    }
    out[n - 1] = out[n - 2];
    progress.Done(n - 1);
}

void CControl::Integral(const double* x, const double* y, double* out, std::size_t n) {
    if (n == 0)
        return;
    CProgressReport progress(m_pProgress, n);
    out[0] = 0; // the integral over an empty interval
    progress.Done(0);
    for (std::size_t i = 1; i < n; ++i) {
        out[i] = out[i - 1] + (x[i] - x[i - 1]) * y[i];
        progress.Done(i);
    }
}

double CControl::Dft(const double* s, double* mag, std::size_t N) {
    constexpr double kUndefined = std::numeric_limits<double>::quiet_NaN();
    if (N == 0)
        return kUndefined;
    CProgressReport progress(m_pProgress, N);
    std::vector<double> absX;
    ChirpMagnitudes(s, N, absX);

    const double norm = 2.0 / static_cast<double>(N);
    double sum = 0; // squared magnitudes of the harmonics 2..trunc(N/2)
    for (std::size_t k = 0; k < N; ++k) {
        mag[k] = norm * absX[k];
        if (k >= 2 && k <= N / 2)
            sum += mag[k] * mag[k];
        progress.Done(k);
    }
    const double thd = (N < 2 || mag[1] == 0) ? kUndefined : std::sqrt(sum) / mag[1];
    mag[0] /= 2;
    return thd;
}

int CControl::PwmVoltage(double ts, double te, int N, double fimp, double Ud, double mf, double ma,
                         double* tOut, double* uOut, int phase) {
    if (N < 2)
        return 0;
    // A free-running SVPWM with its own state; its sequence sign starts at -1 on every call,
    // so the same settings always give the same curve.
    int sign = -1;
    double timer = 1.0;
    double angle = 0;
    CCarrierPeriod period{0, 0, 0, 0, 0};

    const double dt = (te - ts) / (N - 1);
    const double Tc = 1 / fimp;
    double t = ts;
    int i = 0;
    while (t < te && i < N) {
        i += 1;
        t += dt;
        angle += fimp * kTurn * mf * dt;
        if (angle > kTurn)
            angle -= kTurn;
        if (angle < 0)
            angle += kTurn;
        timer += dt;

        if (timer > 1 / fimp) {
            StartCarrierPeriod(angle, ma, Ud, Tc, period);
            timer = 0;
            sign = -sign;
        }
        const int vec = CarrierVector(timer, sign, period);
        const double vAlpha = Ud * kVecAlpha[vec];
        const double vBeta = Ud * kVecBeta[vec];

        tOut[i - 1] = t - dt;
        switch (phase) {
        case 0:
            uOut[i - 1] = vAlpha * 1.4142 / 1.7321;
            break;
        case 1:
            uOut[i - 1] = vBeta * 0.86605 * 1.4142 / 1.7321 + vAlpha * (-0.5) * 1.4142 / 1.7321;
            break;
        default:
            uOut[i - 1] = vAlpha * (-0.5) * 1.4142 / 1.7321 - vBeta * 0.86605 * 1.4142 / 1.7321;
            break;
        }
    }
    return i;
}
