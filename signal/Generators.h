#pragma once
// Probe signal generators. Each fills columns 0 .. N-1 of both rows in the
// waveform layout: the pulse takes samples 0 .. 2M-1, the rest are zero.

#include <array>

#include "signal/ModelParams.h"
#include "signal/WinFFT.h"

namespace sonavir {

inline constexpr std::array<int, 13> BarkerCode = {1, 1, 1, 1, 1, -1, -1, 1, 1, -1, 1, -1, 1};

// x[m] = cos(m W0 Dt).
void RadioPulse(TSignalData& data, int N, int M, const TModelParams& p);
// x[m] = cos((j Dt)^2 2 pi FD / Tc + j W0 Dt), j = m - M.
void LfmPulse(TSignalData& data, int N, int M, const TModelParams& p);
// x[m] = cos(m W0 Dt) * BarkerCode[trunc(13 m / 2M)].
void BarkerPulse(TSignalData& data, int N, int M, const TModelParams& p);

}  // namespace sonavir
