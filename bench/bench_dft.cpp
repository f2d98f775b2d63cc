// Wall time of the DFT of a result-sized curve, fast (chirp-z) against the defining sums, and
// the largest deviation between them relative to the largest magnitude.
// Usage: bench_dft [samples] [repetitions]   (defaults 20000 and 10; best time reported)
#include "Control.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// The defining sums with the model's angle constant, term by term.
double DirectDft(const std::vector<double>& s, std::vector<double>& mag) {
    const std::size_t N = s.size();
    double sum = 0;
    for (std::size_t k = 0; k < N; ++k) {
        double re = 0, im = 0;
        for (std::size_t m = 0; m < N; ++m) {
            const double arg = 2 * 3.141592 * double(k) * double(m) / double(N);
            re += s[m] * std::cos(arg);
            im += s[m] * std::sin(arg);
        }
        mag[k] = 2.0 / double(N) * std::sqrt(re * re + im * im);
        if (k >= 2 && k <= N / 2)
            sum += mag[k] * mag[k];
    }
    const double thd = std::sqrt(sum) / mag[1];
    mag[0] /= 2;
    return thd;
}

} // namespace

int main(int argc, char** argv) {
    const std::size_t N = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const int repetitions = argc > 2 ? std::atoi(argv[2]) : 10;
    if (N < 2 || repetitions < 1) {
        std::fprintf(stderr, "usage: bench_dft [samples >= 2] [repetitions >= 1]\n");
        return 2;
    }

    // A phase current of a PWM drive over one period: fundamental, the 5th and 7th harmonics,
    // carrier ripple, a mean and a little non-periodic noise.
    std::vector<double> s(N);
    for (std::size_t m = 0; m < N; ++m) {
        const double t = double(m) / double(N);
        s[m] = 0.2 + 10 * std::sin(2 * M_PI * t) + 0.8 * std::sin(2 * M_PI * 5 * t + 0.3) +
               0.4 * std::sin(2 * M_PI * 7 * t) + 0.3 * std::cos(2 * M_PI * 100 * t) +
               0.01 * std::sin(1e4 * t * t);
    }

    CControl control;
    std::vector<double> fast(N), direct(N);
    double best = 1e300;
    double thdFast = 0;
    for (int r = 0; r < repetitions; ++r) {
        const Clock::time_point start = Clock::now();
        thdFast = control.Dft(s.data(), fast.data(), N);
        best = std::min(best, Seconds(start, Clock::now()));
    }

    const Clock::time_point start = Clock::now();
    const double thdDirect = DirectDft(s, direct);
    const double wallDirect = Seconds(start, Clock::now());

    double largest = 0, deviation = 0;
    for (std::size_t k = 0; k < N; ++k) {
        largest = std::max(largest, std::fabs(direct[k]));
        deviation = std::max(deviation, std::fabs(fast[k] - direct[k]));
    }
    std::printf("DFT of %zu samples\n", N);
    std::printf("  fast (chirp-z)   wall %10.6f s  (best of %d; target <= 0.1 s: %s)\n", best,
                repetitions, best <= 0.1 ? "met" : "MISSED");
    std::printf("  defining sums    wall %10.6f s\n", wallDirect);
    std::printf("  speed-up         %10.0f x\n", wallDirect / best);
    std::printf("  max |fast - sums| / largest magnitude  %.3e  (target <= 1e-9: %s)\n",
                deviation / largest, deviation <= 1e-9 * largest ? "met" : "MISSED");
    std::printf("  THD fast %.12f  sums %.12f\n", thdFast, thdDirect);
    return 0;
}
