#pragma once
// Additive normal noise and energy normalisation.

#include <cstdint>
#include <optional>

#include "signal/WinFFT.h"

namespace sonavir {

// The 32-bit linear congruential source: s := s * 134775813 + 1 (mod 2^32),
// U = s / 2^32.
class LcgSource {
public:
    explicit LcgSource(std::uint32_t seed) : state_(seed) {}
    // Next U in [0, 1).
    long double Next()
    {
        state_ = state_ * 134775813u + 1u;
        // Scaling by 2^-32 is exact, and cheaper than the division.
        return static_cast<long double>(state_) * (1.0L / 4294967296.0L);
    }
    std::uint32_t State() const { return state_; }

private:
    std::uint32_t state_;
};

// The state `steps` draws after `state` (by repeated squaring of the step),
// so work can start anywhere in the sequence.
std::uint32_t LcgAdvance(std::uint32_t state, std::uint64_t steps);

// A fresh seed from the high-resolution clock.
std::uint32_t ClockSeed();

// Adds noise of standard deviation SamplePeak / snr to all 2N samples,
// in waveform order, two draws per sample (magnitude, then angle; cosine half
// of Box-Muller). Reseeds from the clock on every call, or from `seed` when
// one is given, so a run can be repeated on request.
void AddNormalNoise(TSignalData& data, int N, long double snr,
                    std::optional<std::uint32_t> seed = std::nullopt);

// Scales the buffer so that its energy (BufferEnergy) equals E, the emitted
// probe's energy. A buffer of zero energy stays as it is.
void NormalizeEnergy(TSignalData& data, int N, long double E);

}  // namespace sonavir
