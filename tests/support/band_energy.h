#pragma once

#include <cmath>
#include <complex>
#include <numbers>
#include <utility>
#include <vector>

// Energy of a sound below and above one frequency, from the average power spectrum of
// overlapping Blackman-Harris windowed frames. The window's sidelobes lie below -92 dB, so
// leakage from a loud band does not pass for energy in the other one.
struct BandEnergy
{
    double below = 0; // bins under the edge frequency
    double above = 0; // bins over the edge frequency plus the window's main lobe

    // How far the energy above the edge lies under the energy below it.
    double aboveDb() const { return 10.0 * std::log10((above + 1e-300) / (below + 1e-300)); }
};

namespace band_energy_detail {

inline void fft(std::vector<std::complex<double>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / double(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace band_energy_detail

// `edgeHz` splits the spectrum of `samples` (taken at `rate` Hz); DC is left out of both bands.
inline BandEnergy bandEnergy(const std::vector<double> &samples, double rate, double edgeHz)
{
    constexpr size_t FrameSize = 4096;
    constexpr int MainLobeBins = 4; // half-width of the Blackman-Harris main lobe
    std::vector<double> window(FrameSize);
    for (size_t i = 0; i < FrameSize; ++i) {
        const double x = 2.0 * std::numbers::pi * double(i) / double(FrameSize);
        window[i] = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    }
    BandEnergy energy;
    std::vector<std::complex<double>> frame(FrameSize);
    const double binHz = rate / double(FrameSize);
    // Frames overlap by half; the last one is padded with silence.
    for (size_t start = 0; start < samples.size(); start += FrameSize / 2) {
        for (size_t i = 0; i < FrameSize; ++i)
            frame[i] = start + i < samples.size() ? samples[start + i] * window[i] : 0.0;
        band_energy_detail::fft(frame);
        for (size_t k = 1; k <= FrameSize / 2; ++k) {
            const double hz = double(k) * binHz;
            const double power = std::norm(frame[k]);
            if (hz < edgeHz)
                energy.below += power;
            else if (hz > edgeHz + MainLobeBins * binHz)
                energy.above += power;
        }
    }
    return energy;
}
