#include "signal/SampleBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <unistd.h>
#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"

namespace sonavir {

namespace {

// Physical memory in bytes, or 0 when the system does not say.
unsigned long long MachineMemory()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<unsigned long long>(pages) * static_cast<unsigned long long>(pageSize);
}

// Large rows are filled through 2 MiB pages where the system offers them:
// with 4 KiB pages the first touch of a 256 MiB row takes 65536 page faults,
// which cost more than the zeros themselves. Only a hint; failure is harmless.
void AdviseLargePages([[maybe_unused]] double* data, [[maybe_unused]] std::size_t count)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t{1} << 21;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t end = begin + count * sizeof(double);
    const std::uintptr_t first = (begin + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = end & ~(kLarge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

}  // namespace

void AllocateSignal(TSignalData& data, int N)
{
    if (N < 1 || N > kMaxSignalSize) RaiseOutOfMemory();
    const unsigned long long bytes = 16ULL * static_cast<unsigned long long>(N);
    const unsigned long long machine = MachineMemory();
    if (machine != 0 && bytes > machine) RaiseOutOfMemory();
    try {
        for (auto& row : data) {
            TSignalRow fresh;
            row.swap(fresh);
            row.reserve(static_cast<std::size_t>(N));
            AdviseLargePages(row.data(), static_cast<std::size_t>(N));
            // The zeros a stretch at a time, with a checkpoint between. One
            // thread: the first touch of the pages costs what it costs, and a
            // second one filling the other half gained nothing here.
            constexpr std::size_t kStretch = std::size_t{1} << 16;
            for (std::size_t done = 0; done < static_cast<std::size_t>(N);) {
                done = std::min(static_cast<std::size_t>(N), done + kStretch);
                row.resize(done);
                Checkpoint();
            }
        }
    } catch (const RunStopped&) {
        // Nothing half-made is left behind.
        ReleaseSignal(data);
        throw;
    } catch (const std::bad_alloc&) {
        ReleaseSignal(data);
        RaiseOutOfMemory();
    } catch (const std::length_error&) {
        ReleaseSignal(data);
        RaiseOutOfMemory();
    }
}

void ReleaseSignal(TSignalData& data)
{
    for (auto& row : data) TSignalRow().swap(row);
}

int HalfSampleCount(long double Tc, long double Dt)
{
    const long double ratio = CheckedDiv(Tc, Dt);
    const long double rounded = std::nearbyint(ratio);
    // Beyond 2 * kMaxSignalSize the padded buffers could not exist anyway.
    if (rounded > 2.0L * kMaxSignalSize) RaiseOutOfMemory();
    if (rounded < -2.0L * kMaxSignalSize) return -kMaxSignalSize;
    const long long count = static_cast<long long>(rounded);
    // div: the quotient is cut toward zero, so -5 gives -2 (a shift would give -3).
    return static_cast<int>(count / 2);
}

int TransformSize(int M)
{
    if (M > kMaxSignalSize / 2) RaiseOutOfMemory();
    long long n = 1;
    while (n == M || n < 2LL * M) n *= 2;
    return static_cast<int>(n);
}

// Values between two checkpoints of the serial scans below.
constexpr int kScanStretch = 1 << 13;

long double ColumnPeak(const TSignalData& data, int N)
{
    // One thread, in order, a stretch at a time: the result is the one it
    // has always been.
    long double peak = std::sqrt((long double)data[0][0] * data[0][0] + (long double)data[1][0] * data[1][0]);
    for (int b = 1; b < N; b += kScanStretch) {
        for (int i = b, e = std::min(N, b + kScanStretch); i < e; ++i) {
            const long double v = std::sqrt((long double)data[0][i] * data[0][i] + (long double)data[1][i] * data[1][i]);
            if (v > peak) peak = v;
        }
        Checkpoint();
    }
    return peak;
}

long double SamplePeak(const TSignalData& data, int N)
{
    // Four lanes of each row at a time: the largest |x| is exact whatever the
    // order, and the plots scan hundreds of millions of samples.
    double lane[4] = {0, 0, 0, 0};
    for (const auto& row : data) {
        const double* r = row.data();
        for (int b = 0; b < N; b += kScanStretch) {
            const int e = std::min(N, b + kScanStretch);
            int i = b;
            for (; i + 4 <= e; i += 4)
                for (int k = 0; k < 4; ++k) {
                    const double v = std::fabs(r[i + k]);
                    lane[k] = v > lane[k] ? v : lane[k];
                }
            for (; i < e; ++i) lane[0] = std::max(lane[0], std::fabs(r[i]));
            Checkpoint();
        }
    }
    return std::max(std::max(lane[0], lane[1]), std::max(lane[2], lane[3]));
}

long double SamplePeakAt(const TSignalData& data, int N, long long& at)
{
    // In sample order (row 0 and row 1 of each column in turn), so that the
    // first of equal peaks is the one found.
    const double* r0 = data[0].data();
    const double* r1 = data[1].data();
    double best = std::fabs(r0[0]);
    long long m = 0;
    for (int b = 0; b < N; b += kScanStretch) {
        for (int j = b, e = std::min(N, b + kScanStretch); j < e; ++j) {
            if (std::fabs(r0[j]) > best) best = std::fabs(r0[j]), m = 2LL * j;
            if (std::fabs(r1[j]) > best) best = std::fabs(r1[j]), m = 2LL * j + 1;
        }
        Checkpoint();
    }
    at = m;
    return best;
}

long double BufferEnergy(const TSignalData& data, int N)
{
    // The sum keeps its order: one thread, a stretch at a time.
    long double e = 0;
    for (int r = 0; r < 2; ++r)
        for (int b = 0; b < N; b += kScanStretch) {
            for (int i = b, end = std::min(N, b + kScanStretch); i < end; ++i)
                e += (long double)data[r][i] * data[r][i];
            Checkpoint();
        }
    return e;
}

void ScaleBuffer(TSignalData& data, int N, long double factor)
{
    // A product beyond the range of a double ends the action before it is
    // stored; underflow to 0 stays silent. Each value on its own, so long
    // buffers are shared among threads; the first failing column's message
    // is the one reported, as on one thread.
    const auto scaled = [factor](double x) {
        const double v = static_cast<double>(x * factor);
        if (!std::isfinite(v)) {
            if (std::isnan(v)) RaiseInvalidOp();
            RaiseOverflow();
        }
        return v;
    };
    double* r0 = data[0].data();
    double* r1 = data[1].data();
    detail::LoopCuts cuts;
    cuts.unit = 1;
    cuts.parallel = kThreadedColumns;
    cuts.watchFlags = false;
    detail::ForCuts(0, N, cuts, [&](long long b, long long e) {
        for (long long i = b; i < e; ++i) {
            r0[i] = scaled(r0[i]);
            r1[i] = scaled(r1[i]);
        }
    });
}

}  // namespace sonavir
