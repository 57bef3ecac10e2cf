#pragma once
// The transform as it stood before it was threaded (see LegacyFft.cpp): the
// yardstick of the bit-for-bit checks in FftBench.cpp.

#include <cstdint>

#include "signal/WinFFT.h"

namespace sonavir::legacy {

bool FFT(TSignalData& data, int N, std::int8_t direction);
void ComplexFFT(double* re, double* im, int N, std::int8_t direction);

}  // namespace sonavir::legacy
