#pragma once
// Transducer models. Apply = false writes the response K into the buffer
// (spectrum layout); Apply = true multiplies the buffer's spectrum by K column
// by column, column 0 included.

#include <string>

#include "signal/ModelParams.h"
#include "signal/WinFFT.h"

namespace sonavir {

// One resonance at W0.
void NarrowbandAntenna(bool apply, TSignalData& data, int N, const TModelParams& p);
// Three resonances: W0, W0 - Kw F0/Q and trunc(W0 + Kw F0/Q). Kw is converted
// from kwText (the wide-band coefficient as typed) on every call.
void WidebandAntenna(bool apply, TSignalData& data, int N, const TModelParams& p,
                     const std::string& kwText);

// |K| at angular frequency w of the two models above, as their columns have
// it (the wide-band sum rounded after each term): the narrow-band one is 1 at
// W0, the wide-band one a little more, from its side resonances.
long double NarrowbandAntennaGain(const TModelParams& p, long double w);
long double WidebandAntennaGain(const TModelParams& p, const std::string& kwText, long double w);

}  // namespace sonavir
