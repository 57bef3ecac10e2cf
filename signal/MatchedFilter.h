#pragma once
// The matched filter: its response is the conjugate of a reference spectrum
// times the phase of a delay of half the record (N samples).

#include "signal/WinFFT.h"

namespace sonavir {

// filterRef[i] := conj(S_i) e^{-j pi i}, i = 0 .. N-1; `spectrum` is only read.
// filterRef must already hold two rows of at least N values.
void BuildMatchedFilter(const TSignalData& spectrum, int N, long double Dt, TSignalData& filterRef);
// data[i] := data[i] * filterRef[i] (complex), i = 0 .. N-1.
void ApplyMatchedFilter(TSignalData& data, int N, const TSignalData& filterRef);

}  // namespace sonavir
