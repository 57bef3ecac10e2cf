#include "model/SonarLevels.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "signal/Absorption.h"
#include "signal/Antenna.h"
#include "signal/Errors.h"
#include "signal/Propagation.h"
#include "signal/SonarPath.h"

namespace sonavir {

namespace {

long double Decibels(long double level) { return CheckedExp(CheckFinite(level) / 10 * std::log(10.0L)); }

// The last column factor of a kind worked out, kept for the next stage or run
// of the same record: the sphere's fit and the absorption cost more than the
// rest of their stages, and the two water stages, the ledger and the next
// run of auto-run ask for the same ones. Kept up to 2^20 columns, where the
// fit is a large part of a run (beyond, the passes over the record outweigh
// it, and holding it would take hundreds of megabytes); runs side by side
// share it.
constexpr unsigned long long kMostKept = 16ULL << 20;

template <typename Key, typename Value>
class LastFactor {
public:
    template <typename Make>
    std::shared_ptr<const Value> Get(const Key& key, unsigned long long bytes, Make make)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (value_ && key_ == key) return value_;
        }
        auto value = std::make_shared<Value>();
        make(*value);
        const std::lock_guard<std::mutex> lock(mutex_);
        value_.reset();  // the old one goes before the machine is asked
        if (bytes <= kMostKept && CanSpare(bytes, bytes)) {
            key_ = key;
            value_ = value;
        }
        return value;
    }

private:
    std::mutex mutex_;
    Key key_{};
    std::shared_ptr<const Value> value_;
};

struct SphereKey {
    int N;
    long double Dt, radius;
    bool operator==(const SphereKey&) const = default;
};

struct AbsorptionKey {
    int N;
    long double Dt;
    int formula, temperature, salinity;
    double staticP, depth, pH;
    bool operator==(const AbsorptionKey&) const = default;
};

// alpha in dB/km per column of the chosen formula.
std::shared_ptr<const std::vector<double>> AbsorptionColumns(const RunRequest& q, int N)
{
    static LastFactor<AbsorptionKey, std::vector<double>> last;
    const AbsorptionKey key{N, q.p.Dt, q.levels.absorption, q.p.Temperature, q.p.Sln, q.p.StaticP, q.levels.depth,
                            q.levels.pH};
    return last.Get(key, 8ULL * static_cast<unsigned long long>(N), [&](std::vector<double>& alpha) {
        try {
            alpha.resize(static_cast<std::size_t>(N));
        } catch (const std::bad_alloc&) {
            RaiseOutOfMemory();
        }
        if (q.levels.absorption == kFrancoisGarrison)
            SeaAbsorption(q.p.Temperature, q.p.Sln, q.levels.depth, q.levels.pH, kSonarSoundSpeed)
                .Columns(N, q.p.Dt, alpha.data());
        else
            WaterAbsorption(q.p).Columns(N, q.p.Dt, alpha.data());
    });
}

struct WaterKey {
    AbsorptionKey absorption;
    long double range;
    bool operator==(const WaterKey&) const = default;
};

struct SeabedKey {
    int N;
    long double Dt;
    double koef, height, order;
    bool operator==(const SeabedKey&) const = default;
};

// The gains of one way through the water (both ways are the same), and of the
// seabed layer: an exponential per column, worked out once for the two stages
// and the next runs.
std::shared_ptr<const TSignalData> WaterGains(const RunRequest& q, int N)
{
    static LastFactor<WaterKey, TSignalData> last;
    const WaterKey key{{N, q.p.Dt, q.levels.absorption, q.p.Temperature, q.p.Sln, q.p.StaticP, q.levels.depth,
                        q.levels.pH},
                       q.p.R};
    return last.Get(key, 16ULL * static_cast<unsigned long long>(N), [&](TSignalData& K) {
        const auto alpha = AbsorptionColumns(q, N);
        const long double nyquist = SonarAbsorption(q, RecordBand(q.p.Dt));
        AllocateSignal(K, N);
        SpreadingAndAbsorption(false, K, N, alpha->data(), nyquist, q.p.R * 1000.0L);
    });
}

std::shared_ptr<const TSignalData> SeabedGains(const RunRequest& q, int N)
{
    static LastFactor<SeabedKey, TSignalData> last;
    const SeabedKey key{N, q.p.Dt, q.p.GruntKoef, q.p.GruntHeight, q.p.NOrder};
    return last.Get(key, 16ULL * static_cast<unsigned long long>(N), [&](TSignalData& K) {
        AllocateSignal(K, N);
        SeabedLoss(false, K, N, q.p);
    });
}

std::shared_ptr<const TSignalData> SphereColumns(const RunRequest& q, int N)
{
    static LastFactor<SphereKey, TSignalData> last;
    return last.Get(SphereKey{N, q.p.Dt, q.p.Radius}, 16ULL * static_cast<unsigned long long>(N),
                    [&](TSignalData& K) {
                        AllocateSignal(K, N);
                        RigidSphereEcho(false, K, N, q.p.Dt, q.p.Radius, kSonarSoundSpeed);
                    });
}

void CopyColumns(const TSignalData& from, TSignalData& to, int N)
{
    for (int r = 0; r < 2; ++r) std::copy(from[r].begin(), from[r].begin() + N, to[r].begin());
}

}  // namespace

long double RecordBand(long double Dt) { return CheckedDiv(1, 2 * Dt); }

int GateLead(int N) { return N / 8 * 2; }

long double TravelTime(const RunRequest& q, int lastStage)
{
    long double t = 0;
    for (int i = 1; i <= std::min(lastStage, kLastStage); ++i)
        if (q.gates[i - 1] && kEchoPath[i].model == ChannelModel::Water)
            t += CheckedDiv(q.p.R * 1000, kSonarSoundSpeed);
    return t;
}

long double RecordStart(const RunRequest& q, int lastStage, bool filtered, int N)
{
    const int lead = filtered ? N : GateLead(N);
    return TravelTime(q, lastStage) - lead * q.p.Dt;
}

void ToSourceLevel(const RunRequest& q, TSignalData& data, int N, int M)
{
    // The rest of the record is silent: only the pulse's M columns are read,
    // scaled and moved.
    M = std::min(M, N);
    if (M <= 0) return;
    const long double energy = BufferEnergy(data, M);
    if (!(energy > 0)) return;
    // RMS over the pulse's 2M samples at SL dB re 1 uPa.
    const long double rms = std::sqrt(energy / (2.0L * M));
    ScaleBuffer(data, M, CheckedDiv(std::sqrt(Decibels(q.levels.SL)), rms));
    // The pulse takes at most half the record: moving it by an eighth loses nothing.
    const int shift = GateLead(N) / 2, moved = std::min(M, N - shift);
    for (TSignalRow& row : data) {
        std::copy_backward(row.begin(), row.begin() + moved, row.begin() + moved + shift);
        std::fill(row.begin(), row.begin() + std::min(shift, M), 0.0);
    }
}

void ApplySonarModel(ChannelModel model, const RunRequest& q, bool apply, TSignalData& data, int N)
{
    const TModelParams& p = q.p;
    switch (model) {
    case ChannelModel::Antenna: {
        // Unit gain at F0: the source level is what the transducer radiates,
        // and the receiver reads the pressure; the band's shape stays.
        long double gain = 1;
        if (q.antennaItem == 0) {
            NarrowbandAntenna(apply, data, N, p);
            gain = NarrowbandAntennaGain(p, p.W0);
        } else if (q.antennaItem == 1) {
            WidebandAntenna(apply, data, N, p, q.kText);
            gain = WidebandAntennaGain(p, q.kText, p.W0);
        }
        ScaleBuffer(data, N, CheckedDiv(1, gain));
        break;
    }
    case ChannelModel::Water:
    case ChannelModel::Seabed: {
        const auto K = model == ChannelModel::Water ? WaterGains(q, N) : SeabedGains(q, N);
        if (apply) ApplyRealGains(data, N, *K);
        else CopyColumns(*K, data, N);
        break;
    }
    case ChannelModel::Sphere: {
        const auto K = SphereColumns(q, N);
        if (apply) ApplyColumnFactor(data, N, *K);
        else CopyColumns(*K, data, N);
        break;
    }
    case ChannelModel::None:
        break;
    }
}

long double SonarAbsorption(const RunRequest& q, long double frequency)
{
    if (q.levels.absorption == kFrancoisGarrison)
        return SeaAbsorptionDbPerKm(frequency, q.p.Temperature, q.p.Sln, q.levels.depth, q.levels.pH,
                                    kSonarSoundSpeed);
    return WaterAbsorption(q.p)(frequency);
}

long double ReceiverNoiseSigma(const RunRequest& q)
{
    return CheckedSqrt(CheckFinite(Decibels(q.levels.NL - q.levels.DI) * RecordBand(q.p.Dt)));
}

}  // namespace sonavir
