#include "signal/WinFFT.h"

#include <cmath>
#include <limits>
#include <new>
#include <unistd.h>

#include "signal/Errors.h"

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

int Log2(int n)
{
    int m = 0;
    while ((1 << m) < n) ++m;
    return m;
}

// Complex radix-2 transform of the N packed points; twiddles come from the
// half-angle recurrences only.
void ComplexTransform(TSignalData& data, int N, int direction)
{
    double* re = data[0].data();
    double* im = data[1].data();
    const int m = Log2(N);
    std::vector<long double> c(m + 1), s(m + 1);
    c[0] = -1;
    s[0] = 0;
    for (int k = 1; k <= m; ++k) {
        c[k] = std::sqrt((c[k - 1] + 1) / 2);
        // sqrt((1 - c) / 2) rewritten as s / 2c': 1 - c cancels for small angles.
        s[k] = k == 1 ? 1.0L : s[k - 1] / (2 * c[k]);
    }
    int j = N / 2;
    for (int i = 1; i <= N - 2; ++i) {
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
        int k = N / 2;
        while (k <= j) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
    for (int st = 0; st < m; ++st) {
        const int L = 1 << st;
        const int G = N / (2 * L);
        const long double sr = c[st], si = direction * s[st];
        long double wr = 1, wi = 0;
        for (int q = 0; q < L; ++q) {
            for (int g = 0; g < G; ++g) {
                const int a = 2 * g * L + q, b = a + L;
                const long double tr = re[b] * wr + im[b] * wi;
                const long double ti = im[b] * wr - re[b] * wi;
                const long double ar = re[a], ai = im[a];
                re[a] = static_cast<double>(ar + tr);
                im[a] = static_cast<double>(ai + ti);
                re[b] = static_cast<double>(ar - tr);
                im[b] = static_cast<double>(ai - ti);
            }
            const long double nr = wr * sr - wi * si;
            wi = wr * si + wi * sr;
            wr = nr;
        }
    }
}

void RealSpectrumStep(TSignalData& data, int N, int direction)
{
    double* r0 = data[0].data();
    double* r1 = data[1].data();
    if (direction == -1)
        for (int i = 0; i < N; ++i) r1[i] = -r1[i];
    const int m = Log2(N);
    long double c = -1, s = 0;
    for (int k = 0; k < m; ++k) {
        const long double half = std::sqrt((c + 1) / 2);
        s = k == 0 ? 1.0L : s / (2 * half);
        c = half;
    }
    s *= direction;
    long double wr = direction, wi = 0;
    for (int i = 1; i <= N / 2 - 1; ++i) {
        const int i2 = N - i;
        const long double h1r = (long double)r0[i] + r0[i2], h1i = (long double)r1[i] - r1[i2];
        const long double h2r = (long double)r1[i] + r1[i2], h2i = (long double)r0[i2] - r0[i];
        const long double nr = wr * c - wi * s;
        wi = wi * c + wr * s;
        wr = nr;
        const long double tr = h2r * wr + h2i * wi, ti = h2i * wr - h2r * wi;
        r0[i] = static_cast<double>(h1r + tr);
        r1[i] = static_cast<double>(h1i + ti);
        r0[i2] = static_cast<double>(h1r - tr);
        r1[i2] = static_cast<double>(ti - h1i);
    }
    const long double e = r0[0], f = r1[0];
    r0[0] = static_cast<double>(e + f);
    r1[0] = static_cast<double>(e - f);
    r0[N / 2] = 2 * r0[N / 2];
    r1[N / 2] = -2 * r1[N / 2];
    if (direction == 1) {
        r0[0] *= 2;
        r1[0] *= 2;
        for (int i = 0; i < N; ++i) r1[i] = -r1[i];
    }
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
            row.assign(static_cast<std::size_t>(N), 0.0);
        }
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
    return static_cast<int>(count >> 1);
}

int TransformSize(int M)
{
    if (M > kMaxSignalSize / 2) RaiseOutOfMemory();
    long long n = 1;
    while (n == M || n < 2LL * M) n *= 2;
    return static_cast<int>(n);
}

bool FFT(TSignalData& data, int N, std::int8_t direction)
{
    if (N == 1) {
        // Two samples: the table values directly.
        const long double x0 = data[0][0], x1 = data[1][0];
        if (direction == 1) {
            data[0][0] = static_cast<double>((x0 + x1) / 2);
            data[1][0] = static_cast<double>(-(x0 - x1) / 2);
        } else {
            data[0][0] = static_cast<double>(x0 - x1);
            data[1][0] = static_cast<double>(x0 + x1);
        }
        return true;
    }
    if (direction == 1) {
        const long double scale = 4.0L * N;
        for (auto& row : data)
            for (int i = 0; i < N; ++i) row[i] = static_cast<double>(row[i] / scale);
        ComplexTransform(data, N, 1);
        RealSpectrumStep(data, N, 1);
    } else {
        RealSpectrumStep(data, N, -1);
        ComplexTransform(data, N, -1);
    }
    return true;
}

long double PeakValue(const TSignalData& data, int N, std::uint8_t mode)
{
    if (mode == 2) {
        long double peak = std::sqrt((long double)data[0][0] * data[0][0] + (long double)data[1][0] * data[1][0]);
        for (int i = 1; i < N; ++i) {
            const long double v = std::sqrt((long double)data[0][i] * data[0][i] + (long double)data[1][i] * data[1][i]);
            if (v > peak) peak = v;
        }
        return peak;
    }
    long double peak = std::fabs((long double)data[0][0]);
    const int rows = mode == 1 ? 2 : 1;
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < N; ++i) {
            const long double v = std::fabs((long double)data[r][i]);
            if (v > peak) peak = v;
        }
    return peak;
}

long double BufferEnergy(const TSignalData& data, int N)
{
    long double e = 0;
    for (int r = 0; r < 2; ++r)
        for (int i = 0; i < N; ++i) e += (long double)data[r][i] * data[r][i];
    return e;
}

void ScaleBuffer(TSignalData& data, int N, long double factor)
{
    for (int i = 0; i < N; ++i) {
        data[0][i] = static_cast<double>(data[0][i] * factor);
        data[1][i] = static_cast<double>(data[1][i] * factor);
    }
}

}  // namespace sonavir
