#include "signal/WinFFT.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfenv>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "signal/ColumnLoops.h"
#include "signal/Errors.h"
#include "signal/RunControl.h"
#include "signal/Threads.h"

// The transform: bit reversal, radix-2 stages (paired into radix-4 passes
// from stage 0 up), then the step between the packed complex transform and
// the real spectrum. The program's pictures and files hold its output to the
// last bit, so the arithmetic of every output value is fixed: each is made by
// the same operations on the same operands, in the same order, as in the
// plain loops this transform started from (bench/LegacyFft.cpp keeps them,
// and the FFTBits benchmark compares every bit). What may change is only the
// order in which the values are made and where they live meanwhile:
// - the bit reversal does stages 0 .. 3 on its way, in registers;
// - stages that fit the first-level cache run depth first in blocks of 2^10
//   points, those that fit the second level in blocks of 2^13;
// - twiddle and root tables of the last size are kept per thread;
// - the kernels run 4 or 8 values at a time (AVX2, AVX-512; fused
//   multiply-add is off for this file, see signal/CMakeLists.txt);
// - from 2^18 points each pass is cut into pieces at fixed places and a crew
//   of WorkThreads() threads takes them in turn, with a barrier between
//   passes. Threads pay only there: a pass of 2^18 points takes a few hundred
//   microseconds, enough to cover waking a helper, and the large passes no
//   longer fit one core's caches.

namespace sonavir {

namespace {

int Log2(int n)
{
    int m = 0;
    while ((1 << m) < n) ++m;
    return m;
}

// The vector helpers below are always inlined, so no vector value crosses a
// call boundary whose convention AVX would change.
#pragma GCC diagnostic ignored "-Wpsabi"

// Four doubles at a time; without AVX the compiler splits them into SSE2
// pairs, so one source serves both clones below.
typedef double V4 __attribute__((vector_size(32), aligned(8), may_alias));

inline V4 Load(const double* p) { return *reinterpret_cast<const V4*>(p); }
inline void Store(double* p, V4 v) { *reinterpret_cast<V4*>(p) = v; }

// Eight at a time where the machine has AVX-512: the long kernels come in
// both widths (the same operations on each value either way).
typedef double V8 __attribute__((vector_size(64), aligned(8), may_alias));

// Unaligned loads and stores (a template argument would drop the typedef's
// alignment).
template <class V>
__attribute__((always_inline)) inline V LoadV(const double* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <class V>
__attribute__((always_inline)) inline void StoreV(double* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}
template <class V>
constexpr std::size_t kLanes = sizeof(V) / sizeof(double);

// Whether the eight-wide kernels run here.
bool Wide()
{
    static const bool wide = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
    }();
    return wide;
}

// e^{j pi i / N} for 0 <= i < N from two short tables in extended precision:
// fine[i mod F] times coarse[i div F]. Both are built by doubling from the
// half-angle values, so each entry carries only a few roundings however large
// N is, where a running rotor would drift over millions of steps.
class UnitRoots {
public:
    explicit UnitRoots(int n) : n_(n), f_((n + 1) / 2)
    {
        // c[k] = cos(pi / 2^k), s[k] = sin(pi / 2^k).
        std::vector<long double> c(n + 1), s(n + 1);
        c[0] = -1;
        s[0] = 0;
        for (int k = 1; k <= n; ++k) {
            c[k] = std::sqrt((c[k - 1] + 1) / 2);
            // sqrt((1 - c) / 2) rewritten as s / 2c': 1 - c cancels for
            // small angles and would cost half the digits at large N.
            s[k] = k == 1 ? std::sqrt((1 - c[0]) / 2) : s[k - 1] / (2 * c[k]);
        }
        Build(fineRe_, fineIm_, f_, 0, c, s);
        Build(coarseRe_, coarseIm_, n - f_, f_, c, s);
    }

    // e^{j pi i / N}.
    void At(long long i, long double& re, long double& im) const
    {
        const long long lo = i & ((1LL << f_) - 1), hi = i >> f_;
        const long double ar = fineRe_[lo], ai = fineIm_[lo], br = coarseRe_[hi], bi = coarseIm_[hi];
        re = ar * br - ai * bi;
        im = ar * bi + ai * br;
    }

private:
    // Entries e^{j pi (i << shift) / N} for i < 2^bits.
    void Build(std::vector<long double>& re, std::vector<long double>& im, int bits, int shift,
               const std::vector<long double>& c, const std::vector<long double>& s)
    {
        re.assign(std::size_t{1} << bits, 0);
        im.assign(std::size_t{1} << bits, 0);
        re[0] = 1;
        for (int k = 0; k < bits; ++k) {
            // e^{j pi 2^(k+shift) / N}: the angle pi / 2^(n-k-shift).
            const long double sr = c[n_ - k - shift], si = s[n_ - k - shift];
            const std::size_t half = std::size_t{1} << k;
            for (std::size_t i = 0; i < half; ++i) {
                re[half + i] = re[i] * sr - im[i] * si;
                im[half + i] = re[i] * si + im[i] * sr;
            }
        }
    }

    int n_, f_;
    std::vector<long double> fineRe_, fineIm_, coarseRe_, coarseIm_;
};

// Scratch space that only lives for one transform. Small sizes reuse a
// per-thread block so that a transform does not pay for fresh pages on every
// call; large ones take memory for the call and give it back. Each user
// holds its own slot.
enum class ScratchSlot { Roots, Twiddles, Chunk };

class Scratch {
public:
    Scratch() = default;
    Scratch(ScratchSlot slot, std::size_t count) { Acquire(slot, count); }

    void Acquire(ScratchSlot slot, std::size_t count)
    {
        constexpr std::size_t kKept = std::size_t{1} << 17;
        thread_local std::vector<double> kept[3];
        std::vector<double>& mine = kept[static_cast<int>(slot)];
        try {
            if (count <= kKept) {
                if (mine.size() < count) mine.resize(count);
                data_ = mine.data();
            } else {
                own_.reset(new double[count]);
                data_ = own_.get();
            }
        } catch (const std::bad_alloc&) {
            RaiseOutOfMemory();
        }
    }
    double* data() const { return data_; }

private:
    std::unique_ptr<double[]> own_;
    double* data_ = nullptr;
};

constexpr int kFaultFlags = FE_DIVBYZERO | FE_INVALID | FE_OVERFLOW;

// From this size up (4 MiB of samples) a transform shares its passes among
// WorkThreads() threads and sees a stop between the pieces of a pass;
// smaller ones are over within a few milliseconds anyway.
constexpr int kThreadedBits = 18;
static_assert(1LL << kThreadedBits == kThreadedColumns);
// Points of one piece of a shared pass (256 KiB of samples): a stop is seen
// within a fraction of a millisecond, and a core that the machine gives to
// someone else leaves little of a pass for the others to wait on.
constexpr std::size_t kPiecePoints = std::size_t{1} << 14;
// Positions whose twiddles are worked out together in the large stages.
constexpr std::size_t kChunk = 1024;

// The twiddles of the chunk of a wide stage that a thread worked on last:
// consecutive pieces of a pass mostly share a chunk.
struct ChunkTwiddles {
    explicit ChunkTwiddles(double* space = nullptr)
        : w1r(space), w1i(space + kChunk), w2r(space + 2 * kChunk), w2i(space + 3 * kChunk)
    {
    }
    long long tag = -1;  // stage and chunk, or -1
    double *w1r, *w1i, *w2r, *w2i;
};

// The threads that share the passes of one large transform. Each pass is cut
// into pieces at fixed places and every member takes the next piece left, so
// the split never decides how a value is computed, only where; a member that
// the machine holds up leaves its share to the others.
class Crew {
public:
    // Starts up to members - 1 helpers; a system that refuses a thread
    // leaves the work to those there are.
    explicit Crew(int members);
    ~Crew();
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    // Runs piece(p, twiddles) for p = 0 .. pieces-1, each once, and returns
    // when all are done. The calling thread reports the transform's progress
    // from `from` to `to` as its pieces are done, the helpers look for a stop
    // after each of theirs. A failure anywhere ends the pass on every member
    // and is rethrown here, a real failure before a stop.
    template <class Piece>
    void Run(std::size_t pieces, double from, double to, const Piece& piece)
    {
        Launch([](const void* p, std::size_t i, ChunkTwiddles& w) { (*static_cast<const Piece*>(p))(i, w); },
               &piece, pieces, from, to);
    }

    // The floating-point flags raised on the helpers so far (each thread has
    // its own).
    int Raised() const noexcept { return raised_.load(std::memory_order_relaxed); }

private:
    using Job = void (*)(const void*, std::size_t, ChunkTwiddles&);
    void Launch(Job job, const void* context, std::size_t pieces, double from, double to);
    void Work(std::size_t member, double from, double to);
    void Help(std::size_t member);

    RunControl* const control_;
    const int rounding_;
    std::vector<double> space_;
    std::vector<ChunkTwiddles> twiddles_;
    std::vector<std::exception_ptr> errors_;
    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    unsigned long generation_ = 0;
    bool open_ = false, quit_ = false;
    int active_ = 0;
    Job job_ = nullptr;
    const void* context_ = nullptr;
    std::size_t pieces_ = 0;
    std::atomic<std::size_t> next_{0};
    std::atomic<bool> failed_{false};
    std::atomic<int> raised_{0};
};

Crew::Crew(int members) : control_(CurrentRun()), rounding_(std::fegetround())
{
    const std::size_t count = static_cast<std::size_t>(std::max(1, members));
    try {
        space_.resize(count * 4 * kChunk);
        errors_.resize(count);
        twiddles_.reserve(count);
        for (std::size_t m = 0; m < count; ++m) twiddles_.emplace_back(space_.data() + m * 4 * kChunk);
        // Reserved first: a thread must never be started that the vector
        // then fails to hold.
        helpers_.reserve(count - 1);
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
    try {
        for (std::size_t m = 1; m < count; ++m) helpers_.push_back(StartThread(&Crew::Help, this, m));
    } catch (const std::system_error&) {
        // No more threads to be had: the members there are share the work.
    }
}

Crew::~Crew()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (auto& t : helpers_) t.join();
}

void Crew::Launch(Job job, const void* context, std::size_t pieces, double from, double to)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        job_ = job;
        context_ = context;
        pieces_ = pieces;
        next_.store(0, std::memory_order_relaxed);
        failed_.store(false, std::memory_order_relaxed);
        for (auto& e : errors_) e = nullptr;
        open_ = !helpers_.empty();
        ++generation_;
    }
    if (!helpers_.empty()) wake_.notify_all();
    try {
        Work(0, from, to);
    } catch (...) {
        errors_[0] = std::current_exception();
        failed_.store(true, std::memory_order_relaxed);
    }
    {
        // A helper that has not taken up this pass by now never will.
        std::unique_lock<std::mutex> lock(mutex_);
        open_ = false;
        done_.wait(lock, [this] { return active_ == 0; });
    }
    RethrowWorkerErrors(errors_);
}

void Crew::Work(std::size_t member, double from, double to)
{
    ChunkTwiddles& twiddles = twiddles_[member];
    while (!failed_.load(std::memory_order_relaxed)) {
        const std::size_t p = next_.fetch_add(1, std::memory_order_relaxed);
        if (p >= pieces_) return;
        job_(context_, p, twiddles);
        if (member == 0)
            StepProgress(from + (to - from) * static_cast<double>(p + 1) / static_cast<double>(pieces_));
        else
            Checkpoint();
    }
}

void Crew::Help(std::size_t member)
{
    // The caller's run and rounding; flags of this thread's own, which it
    // hands on after every pass.
    const RunScope scope(control_, false);
    std::fesetround(rounding_);
    std::feclearexcept(kFaultFlags);
    unsigned long seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
        if (quit_) return;
        seen = generation_;
        if (!open_) continue;
        ++active_;
        lock.unlock();
        try {
            Work(member, 0, 0);
        } catch (...) {
            errors_[member] = std::current_exception();
            failed_.store(true, std::memory_order_relaxed);
        }
        raised_.fetch_or(std::fetestexcept(kFaultFlags), std::memory_order_relaxed);
        lock.lock();
        if (--active_ == 0) done_.notify_all();
    }
}

// The passes of one transform: on the calling thread alone, each in one
// piece, or shared by a crew.
class Passes {
public:
    // count: how many passes the transform makes, for its progress. Without
    // a crew, `twiddles` is the caller's own space for the wide stages.
    Passes(Crew* crew, int count, ChunkTwiddles twiddles = ChunkTwiddles())
        : crew_(crew), count_(count), twiddles_(twiddles)
    {
    }

    // body(begin, end, twiddles) does units [begin, end) of a pass of
    // `units` units, shared out `perPiece` at a time.
    template <class Body>
    void Run(std::size_t units, std::size_t perPiece, const Body& body)
    {
        if (crew_ == nullptr) {
            body(std::size_t{0}, units, twiddles_);
            return;
        }
        perPiece = std::max<std::size_t>(perPiece, 1);
        const double from = static_cast<double>(done_) / count_;
        const double to = static_cast<double>(++done_) / count_;
        crew_->Run((units + perPiece - 1) / perPiece, from, to, [&](std::size_t p, ChunkTwiddles& w) {
            body(p * perPiece, std::min(units, (p + 1) * perPiece), w);
        });
    }

    bool Shared() const { return crew_ != nullptr; }
    // The space of the calling thread alone.
    void SetTwiddles(ChunkTwiddles twiddles) { twiddles_ = twiddles; }

private:
    Crew* crew_;
    int count_, done_ = 0;
    ChunkTwiddles twiddles_;
};

// Sizes up to this keep e^{j pi i / N} for the quarter turn i < N/2 in a
// table (8N bytes); larger ones work each value out when needed, so that
// the largest buffers do not need half as much again in scratch space.
constexpr int kTableBits = 22;
// Up to this size (1 MiB of roots) the table of the last size used is kept.
constexpr int kKeptTableBits = 17;

// The roots e^{j pi i / N}, 0 <= i < N, rounded to double once.
class RootTable {
public:
    // Sizes above kKeptTableBits build their table as a pass of `passes`.
    RootTable(int n, Passes& passes) : half_(std::size_t{1} << n >> 1)
    {
        if (n < 2) return;  // two points need no roots
        if (n > kTableBits) {
            exact_ = std::make_unique<UnitRoots>(n);
            return;
        }
        if (n <= kKeptTableBits) {
            // The same size again reuses the same (deterministic) values,
            // which is most of the work for small transforms.
            thread_local int keptBits = -1;
            thread_local std::vector<double> kept;
            if (keptBits != n) {
                keptBits = -1;
                try {
                    kept.resize(2 * half_);
                } catch (const std::bad_alloc&) {
                    RaiseOutOfMemory();
                }
                Build(n, kept.data(), passes);
                keptBits = n;
            }
            re_ = kept.data();
        } else {
            space_.Acquire(ScratchSlot::Roots, 2 * half_);
            re_ = space_.data();
            Build(n, re_, passes);
        }
        im_ = re_ + half_;
    }

    // The table's rows (null above kTableBits): e^{j pi i / N} for i < N/2.
    const double* Re() const { return re_; }
    const double* Im() const { return im_; }

    // How many passes building the table of 2^n points takes.
    static int BuildPasses(int n) { return n > kKeptTableBits && n <= kTableBits ? 1 : 0; }

    // re[k] + j im[k] = e^{j pi (first + k stride) / N} for k < count.
    void Fill(std::size_t first, std::size_t stride, std::size_t count, double* re, double* im) const
    {
        for (std::size_t k = 0, i = first; k < count; ++k, i += stride) {
            if (re_ == nullptr) {
                long double cr, ci;
                exact_->At(static_cast<long long>(i), cr, ci);
                re[k] = static_cast<double>(cr);
                im[k] = static_cast<double>(ci);
            } else if (i < half_) {
                re[k] = re_[i];
                im[k] = im_[i];
            } else {
                // A quarter turn further: multiply by j, exactly.
                re[k] = -im_[i - half_];
                im[k] = re_[i - half_];
            }
        }
    }

    // Twiddles of positions q0 .. q0+count of a stage of half-span 2^logL:
    // W = e^{-j dir pi q / L}, at index q N / L.
    void Twiddles(int n, int logL, int dir, std::size_t q0, std::size_t count, double* re, double* im) const
    {
        Fill(q0 << (n - logL), std::size_t{1} << (n - logL), count, re, im);
        if (dir == 1)
            for (std::size_t k = 0; k < count; ++k) im[k] = -im[k];
    }

private:
    // Rows re = out[0 .. N/2), im = out[N/2 .. N).
    void Build(int n, double* out, Passes& passes) const
    {
        const UnitRoots exact(n);
        double* re = out;
        double* im = out + half_;
        // i <= N/4 from the extended tables; the rest of the quadrant
        // mirrors: e^{j pi (N/2 - i) / N} = (sin, cos) of pi i / N.
        const std::size_t half = half_, quarter = half_ / 2;
        passes.Run(quarter + 1, kPiecePoints, [&](std::size_t b, std::size_t e, ChunkTwiddles&) {
            for (std::size_t i = b; i < e; ++i) {
                long double cr, ci;
                exact.At(static_cast<long long>(i), cr, ci);
                re[i] = static_cast<double>(cr);
                im[i] = static_cast<double>(ci);
                if (i >= 1 && i < quarter) {
                    re[half - i] = im[i];
                    im[half - i] = re[i];
                }
            }
        });
    }

    std::size_t half_;
    std::unique_ptr<UnitRoots> exact_;
    Scratch space_;
    double* re_ = nullptr;
    double* im_ = nullptr;
};

std::uint32_t Reverse(std::uint32_t x, int bits)
{
    std::uint32_t r = 0;
    for (int i = 0; i < bits; ++i, x >>= 1) r = (r << 1) | (x & 1);
    return r;
}

// Bit reversal by 16 x 16 tiles from this size up.
constexpr int kTile = 4;
constexpr int kTiledBits = 2 * kTile + 2;

// In-place bit reversal of both rows of a short transform (below 2^10
// points), each value multiplied by scale.
void SmallBitReverse(double* re, double* im, int n, double scale)
{
    const std::uint32_t N = 1u << n;
    for (std::uint32_t i = 0; i < N; ++i) {
        const std::uint32_t j = Reverse(i, n);
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    if (scale != 1.0)
        for (std::uint32_t i = 0; i < N; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
}

// ---- Kernels ----
//
// Each output below comes from the same operations on the same operands as
// in the plain loops of radix-2 and radix-4 butterflies this transform has
// always used; only the arrangement of the loops differs. Twiddle tables
// hold e^{+j pi q / L}, the values of direction -1; for direction +1 the
// twiddle is their conjugate, and a kernel adds s x where it would subtract
// (-s) x, which is the same operation.

// t = w x for the twiddle w = c + j s (direction -1) or c - j s (+1).
template <int Dir, class T>
__attribute__((always_inline)) inline void Twiddle(T c, T s, T xr, T xi, T& tr, T& ti)
{
    if (Dir == -1) {
        tr = c * xr - s * xi;
        ti = c * xi + s * xr;
    } else {
        tr = c * xr + s * xi;
        ti = c * xi - s * xr;
    }
}

// Stages 0 and 1 at once: every twiddle is 1 or -j dir.
template <int Dir>
void FirstRadix4(double* re, double* im, std::size_t from, std::size_t to)
{
    for (std::size_t p = from; p < to; p += 4) {
        const double a0r = re[p] + re[p + 1], a0i = im[p] + im[p + 1];
        const double a1r = re[p] - re[p + 1], a1i = im[p] - im[p + 1];
        const double a2r = re[p + 2] + re[p + 3], a2i = im[p + 2] + im[p + 3];
        const double a3r = re[p + 2] - re[p + 3], a3i = im[p + 2] - im[p + 3];
        // (-j dir) * a3
        const double vr = Dir * a3i, vi = -Dir * a3r;
        re[p] = a0r + a2r;
        im[p] = a0i + a2i;
        re[p + 2] = a0r - a2r;
        im[p + 2] = a0i - a2i;
        re[p + 1] = a1r + vr;
        im[p + 1] = a1i + vi;
        re[p + 3] = a1r - vr;
        im[p + 3] = a1i - vi;
    }
}

// Two radix-2 stages fused (half-spans L and 2L) for positions q0 .. q0+count
// of the groups of 4L points at from, from + 4L, ... below to; w1 and w2
// hold the twiddles of the two stages for those positions. count is a
// multiple of the lanes of V.
template <int Dir, class V>
__attribute__((always_inline)) inline void Radix4Loop(double* __restrict re, double* __restrict im,
                                                      std::size_t from, std::size_t to, std::size_t L,
                                                      std::size_t q0, std::size_t count, const double* w1r,
                                                      const double* w1i, const double* w2r, const double* w2i)
{
    for (std::size_t g = from; g < to; g += 4 * L) {
        double* r0 = re + g + q0;
        double* i0 = im + g + q0;
        for (std::size_t q = 0; q < count; q += kLanes<V>) {
            const V x0r = LoadV<V>(r0 + q), x0i = LoadV<V>(i0 + q);
            const V x1r = LoadV<V>(r0 + q + L), x1i = LoadV<V>(i0 + q + L);
            const V x2r = LoadV<V>(r0 + q + 2 * L), x2i = LoadV<V>(i0 + q + 2 * L);
            const V x3r = LoadV<V>(r0 + q + 3 * L), x3i = LoadV<V>(i0 + q + 3 * L);
            const V ar = LoadV<V>(w1r + q), ai = LoadV<V>(w1i + q);
            const V br = LoadV<V>(w2r + q), bi = LoadV<V>(w2i + q);
            V t1r, t1i, t3r, t3i, u2r, u2i, u3r, u3i;
            Twiddle<Dir>(ar, ai, x1r, x1i, t1r, t1i);
            Twiddle<Dir>(ar, ai, x3r, x3i, t3r, t3i);
            const V a0r = x0r + t1r, a0i = x0i + t1i, a1r = x0r - t1r, a1i = x0i - t1i;
            const V a2r = x2r + t3r, a2i = x2i + t3i, a3r = x2r - t3r, a3i = x2i - t3i;
            Twiddle<Dir>(br, bi, a2r, a2i, u2r, u2i);
            Twiddle<Dir>(br, bi, a3r, a3i, u3r, u3i);
            // Position q + L of the second stage: its twiddle is w2 times -j dir.
            const V vr = Dir * u3i, vi = -Dir * u3r;
            StoreV(r0 + q, a0r + u2r);
            StoreV(i0 + q, a0i + u2i);
            StoreV(r0 + q + 2 * L, a0r - u2r);
            StoreV(i0 + q + 2 * L, a0i - u2i);
            StoreV(r0 + q + L, a1r + vr);
            StoreV(i0 + q + L, a1i + vi);
            StoreV(r0 + q + 3 * L, a1r - vr);
            StoreV(i0 + q + 3 * L, a1i - vi);
        }
    }
}

// One radix-2 stage of half-span L for positions q0 .. q0+count of the
// groups of 2L points at from, from + 2L, ... below to (count a multiple of
// the lanes of V).
template <int Dir, class V>
__attribute__((always_inline)) inline void Radix2Loop(double* __restrict re, double* __restrict im,
                                                      std::size_t from, std::size_t to, std::size_t L,
                                                      std::size_t q0, std::size_t count, const double* wr,
                                                      const double* wi)
{
    for (std::size_t g = from; g < to; g += 2 * L) {
        double* r0 = re + g + q0;
        double* i0 = im + g + q0;
        for (std::size_t q = 0; q < count; q += kLanes<V>) {
            const V x0r = LoadV<V>(r0 + q), x0i = LoadV<V>(i0 + q);
            const V x1r = LoadV<V>(r0 + q + L), x1i = LoadV<V>(i0 + q + L);
            V tr, ti;
            Twiddle<Dir>(LoadV<V>(wr + q), LoadV<V>(wi + q), x1r, x1i, tr, ti);
            StoreV(r0 + q, x0r + tr);
            StoreV(i0 + q, x0i + ti);
            StoreV(r0 + q + L, x0r - tr);
            StoreV(i0 + q + L, x0i - ti);
        }
    }
}

#define SONAVIR_RADIX4_ARGS                                                                                 \
    double *__restrict re, double *__restrict im, std::size_t from, std::size_t to, std::size_t L,         \
        std::size_t q0, std::size_t count, const double *w1r, const double *w1i, const double *w2r,        \
        const double *w2i
#define SONAVIR_RADIX2_ARGS                                                                                 \
    double *__restrict re, double *__restrict im, std::size_t from, std::size_t to, std::size_t L,         \
        std::size_t q0, std::size_t count, const double *wr, const double *wi

template <int Dir>
__attribute__((target("arch=x86-64-v4"))) void Radix4Wide(SONAVIR_RADIX4_ARGS)
{
    Radix4Loop<Dir, V8>(re, im, from, to, L, q0, count, w1r, w1i, w2r, w2i);
}
template <int Dir>
__attribute__((target_clones("avx2", "default"))) void Radix4Narrow(SONAVIR_RADIX4_ARGS)
{
    Radix4Loop<Dir, V4>(re, im, from, to, L, q0, count, w1r, w1i, w2r, w2i);
}
template <int Dir>
void Radix4(SONAVIR_RADIX4_ARGS)
{
    if (count % 8 == 0 && Wide())
        Radix4Wide<Dir>(re, im, from, to, L, q0, count, w1r, w1i, w2r, w2i);
    else
        Radix4Narrow<Dir>(re, im, from, to, L, q0, count, w1r, w1i, w2r, w2i);
}

template <int Dir>
__attribute__((target("arch=x86-64-v4"))) void Radix2Wide(SONAVIR_RADIX2_ARGS)
{
    Radix2Loop<Dir, V8>(re, im, from, to, L, q0, count, wr, wi);
}
template <int Dir>
__attribute__((target_clones("avx2", "default"))) void Radix2Narrow(SONAVIR_RADIX2_ARGS)
{
    Radix2Loop<Dir, V4>(re, im, from, to, L, q0, count, wr, wi);
}
template <int Dir>
void Radix2(SONAVIR_RADIX2_ARGS)
{
    if (count % 8 == 0 && Wide())
        Radix2Wide<Dir>(re, im, from, to, L, q0, count, wr, wi);
    else
        Radix2Narrow<Dir>(re, im, from, to, L, q0, count, wr, wi);
}

// The 4 x 4 transpose of v[0 .. 3]: lane l of v[k] becomes lane k of v[l].
inline void Transpose(V4* v)
{
    typedef long long I4 __attribute__((vector_size(32)));
    const V4 t0 = __builtin_shuffle(v[0], v[1], I4{0, 4, 2, 6}), t1 = __builtin_shuffle(v[0], v[1], I4{1, 5, 3, 7});
    const V4 t2 = __builtin_shuffle(v[2], v[3], I4{0, 4, 2, 6}), t3 = __builtin_shuffle(v[2], v[3], I4{1, 5, 3, 7});
    v[0] = __builtin_shuffle(t0, t2, I4{0, 1, 4, 5});
    v[1] = __builtin_shuffle(t1, t3, I4{0, 1, 4, 5});
    v[2] = __builtin_shuffle(t0, t2, I4{2, 3, 6, 7});
    v[3] = __builtin_shuffle(t1, t3, I4{2, 3, 6, 7});
}

// The part of the bit reversal of both rows (n >= kTiledBits) that moves
// the 16 x 16 tiles of middle indices b in [bFrom, bTo), each value times
// scale (a power of two), with stages 0 .. 3 of the transform done on the
// way. Index (a, b, c) goes to (rev c, rev b, rev a), so every cache line
// read or written is used whole; tiles b and rev b change places, so the
// ranges of b are independent. Column c of a tile lands as the 16
// consecutive points from (rev c, rev b, 0), a whole group of those four
// stages, so they run in registers, four columns side by side, before the
// points are stored. tw: the stage twiddles (stages 2 and 3 at [4, 8) and
// [8, 16)). Scaled: scale is not 1 (x * 1 is x, so the product is left out).
template <int Dir, bool Scaled>
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
void TileBitReverseStages(double* __restrict re, double* __restrict im, int n, double scale, std::uint32_t bFrom,
                          std::uint32_t bTo, const double* twr, const double* twi)
{
    constexpr int t = kTile, T = 1 << t;
    const int mid = n - 2 * t, shift = n - t;
    std::uint32_t revT[T];
    for (int i = 0; i < T; ++i) revT[i] = Reverse(static_cast<std::uint32_t>(i), t);
    const V4 w1r = Load(twr + 4), w1i = Load(twi + 4), w2r = Load(twr + 8), w2i = Load(twi + 8);
    // Stages 0 and 1 of each tile land here, a row of 16 points per column:
    // a tile's place may still hold the other tile's points.
    alignas(32) double mid01[2][2][T][T];  // [which tile][row][c][k]
    for (std::uint32_t b = bFrom; b < bTo; ++b) {
        const std::uint32_t rb = Reverse(b, mid);
        if (rb < b) continue;
        const std::uint32_t bases[2] = {b << t, rb << t};
        const int tiles = rb == b ? 1 : 2;
        for (int w = 0; w < tiles; ++w) {
            const double* sr = re + bases[w];
            const double* si = im + bases[w];
            // Point k of column c comes from row revT[k]; four columns side
            // by side, a group of four points at a time (FirstRadix4).
            for (int c0 = 0; c0 < T; c0 += 4)
                for (int p = 0; p < T; p += 4) {
                    V4 xr[4], xi[4];
#pragma GCC unroll 4
                    for (int j = 0; j < 4; ++j) {
                        const std::size_t row = std::size_t{revT[p + j]} << shift;
                        xr[j] = Load(sr + row + c0);
                        xi[j] = Load(si + row + c0);
                    }
                    if (Scaled)
#pragma GCC unroll 4
                        for (int j = 0; j < 4; ++j) {
                            xr[j] = xr[j] * scale;
                            xi[j] = xi[j] * scale;
                        }
                    const V4 a0r = xr[0] + xr[1], a0i = xi[0] + xi[1];
                    const V4 a1r = xr[0] - xr[1], a1i = xi[0] - xi[1];
                    const V4 a2r = xr[2] + xr[3], a2i = xi[2] + xi[3];
                    const V4 a3r = xr[2] - xr[3], a3i = xi[2] - xi[3];
                    const V4 vr = Dir * a3i, vi = -Dir * a3r;
                    V4 yr[4] = {a0r + a2r, a1r + vr, a0r - a2r, a1r - vr};
                    V4 yi[4] = {a0i + a2i, a1i + vi, a0i - a2i, a1i - vi};
                    Transpose(yr);
                    Transpose(yi);
#pragma GCC unroll 4
                    for (int l = 0; l < 4; ++l) {
                        Store(&mid01[w][0][c0 + l][p], yr[l]);
                        Store(&mid01[w][1][c0 + l][p], yi[l]);
                    }
                }
        }
        // Stages 2 and 3 (Radix4 with L = 4) on the way to the place of the
        // other tile (or its own).
        for (int w = 0; w < tiles; ++w) {
            const std::uint32_t dstBase = bases[tiles == 1 ? 0 : 1 - w];
            for (int c = 0; c < T; ++c) {
                const double* pr = mid01[w][0][c];
                const double* pi = mid01[w][1][c];
                double* r0 = re + ((std::size_t{revT[c]} << shift) | dstBase);
                double* i0 = im + ((std::size_t{revT[c]} << shift) | dstBase);
                const V4 x0r = Load(pr), x0i = Load(pi), x1r = Load(pr + 4), x1i = Load(pi + 4);
                const V4 x2r = Load(pr + 8), x2i = Load(pi + 8), x3r = Load(pr + 12), x3i = Load(pi + 12);
                V4 t1r, t1i, t3r, t3i, u2r, u2i, u3r, u3i;
                Twiddle<Dir>(w1r, w1i, x1r, x1i, t1r, t1i);
                Twiddle<Dir>(w1r, w1i, x3r, x3i, t3r, t3i);
                const V4 a0r = x0r + t1r, a0i = x0i + t1i, a1r = x0r - t1r, a1i = x0i - t1i;
                const V4 a2r = x2r + t3r, a2i = x2i + t3i, a3r = x2r - t3r, a3i = x2i - t3i;
                Twiddle<Dir>(w2r, w2i, a2r, a2i, u2r, u2i);
                Twiddle<Dir>(w2r, w2i, a3r, a3i, u3r, u3i);
                const V4 vr = Dir * u3i, vi = -Dir * u3r;
                Store(r0, a0r + u2r);
                Store(i0, a0i + u2i);
                Store(r0 + 8, a0r - u2r);
                Store(i0 + 8, a0i - u2i);
                Store(r0 + 4, a1r + vr);
                Store(i0 + 4, a1i + vi);
                Store(r0 + 12, a1r - vr);
                Store(i0 + 12, a1i - vi);
            }
        }
    }
}

// A block of 2^13 points (128 KiB in two rows) stays in the second-level
// cache while all of its own stages run; within it, blocks of 2^10 points
// (16 KiB) stay in the first-level cache while their stages run.
constexpr int kBlockBits = 13;
constexpr int kInnerBits = 10;

// Stages from .. bits-1 of the block of 2^bits points at base (from is 0,
// or 4 after TileBitReverseStages), depth first:
// a stage pair of a group runs as soon as the stages below it are done
// there, so most stages find their points in the first-level cache. Stages
// pair up from stage 0; a block with an odd number of stages (the whole
// transform's, at most kBlockBits) ends in a single one. tw holds e^{j pi q
// / L} at [L, 2L) for each stage.
template <int Dir>
void BlockStages(double* re, double* im, std::size_t base, int bits, int from, const double* twr,
                 const double* twi)
{
    const std::size_t B = std::size_t{1} << bits;
    if (bits <= kInnerBits) {
        if (from == 0) FirstRadix4<Dir>(re, im, base, base + B);
        for (int st = std::max(from, 2); st < bits; st += 2) {
            const std::size_t L = std::size_t{1} << st;
            if (st + 1 < bits)
                Radix4<Dir>(re, im, base, base + B, L, 0, L, twr + L, twi + L, twr + 2 * L, twi + 2 * L);
            else
                Radix2<Dir>(re, im, base, base + B, L, 0, L, twr + L, twi + L);
        }
        return;
    }
    const std::size_t L = B >> 2;
    if (bits % 2 == 1) {
        BlockStages<Dir>(re, im, base, bits - 1, from, twr, twi);
        BlockStages<Dir>(re, im, base + B / 2, bits - 1, from, twr, twi);
        Radix2<Dir>(re, im, base, base + B, B / 2, 0, B / 2, twr + B / 2, twi + B / 2);
        return;
    }
    for (int k = 0; k < 4; ++k) BlockStages<Dir>(re, im, base + k * L, bits - 2, from, twr, twi);
    Radix4<Dir>(re, im, base, base + B, L, 0, L, twr + L, twi + L, twr + 2 * L, twi + 2 * L);
}

// Sizes up to this keep the twiddles of all their stages (16N bytes), as
// the root table is kept, for the next transform of the same size.
constexpr int kKeptStageBits = 16;

// The twiddles e^{j pi q / L} of the stages of half-span L = 4 .. 2^(top-1),
// at [L, 2L) of each row. Large sizes build them as a pass of `passes`.
class StageTable {
public:
    StageTable(const RootTable& roots, int n, int top, Passes& passes)
    {
        const std::size_t T = std::size_t{1} << top;
        if (n <= kKeptStageBits) {
            thread_local int keptBits = -1;
            thread_local std::vector<double> kept;
            if (keptBits != n) {
                keptBits = -1;
                try {
                    kept.resize(2 * T);
                } catch (const std::bad_alloc&) {
                    RaiseOutOfMemory();
                }
                Build(roots, n, top, kept.data(), passes);
                keptBits = n;
            }
            re = kept.data();
        } else {
            space_.Acquire(ScratchSlot::Twiddles, 2 * T);
            Build(roots, n, top, space_.data(), passes);
            re = space_.data();
        }
        im = re + T;
    }

    const double* re = nullptr;
    const double* im = nullptr;

private:
    static void Build(const RootTable& roots, int n, int top, double* out, Passes& passes)
    {
        const std::size_t T = std::size_t{1} << top;
        // Entry k >= 4 belongs to the stage of L = the power of two at or
        // below k, position k - L.
        passes.Run(T - 4, kPiecePoints, [&](std::size_t b, std::size_t e, ChunkTwiddles&) {
            for (std::size_t k = 4 + b; k < 4 + e;) {
                const int logL = std::bit_width(k) - 1;
                const std::size_t L = std::size_t{1} << logL;
                const std::size_t stop = std::min(4 + e, 2 * L);
                roots.Fill((k - L) << (n - logL), std::size_t{1} << (n - logL), stop - k, out + k, out + T + k);
                k = stop;
            }
        });
    }

    Scratch space_;
};

// Stages from a block's own stages up run depth first in super blocks of
// 2^S points (see DepthStages), S at most this: 8 MiB, two of which (one
// per thread) stay in the last-level cache while their stages run.
constexpr int kDepthBits = 19;

// S for 2^n points: the whole transform for the sizes that keep their
// stage twiddles; above, a whole number of stage pairs above the blocks,
// and small enough for a table of moderate size and, when shared, for every
// thread to have super blocks of its own.
int DepthBits(int n)
{
    if (n <= kKeptStageBits) return n;
    const int limit = std::min(kDepthBits, n < kThreadedBits ? n - 2 : n - 3);
    int bits = kBlockBits;
    while (bits + 2 <= limit) bits += 2;
    return bits;
}

// Stages from .. bits-1 of the super block of 2^bits points at base, depth
// first: the blocks of 2^kBlockBits points first, then each stage pair of a
// group as soon as the four groups below it are done, so that its points
// are still in a cache. The pairs run from stage kBlockBits up as they
// always have; a super block with an odd number of them (the whole
// transform's) ends in a single stage. A stop is seen between the groups of
// 2^15 points and more.
template <int Dir>
void DepthStages(double* re, double* im, std::size_t base, int bits, int from, const StageTable& tw)
{
    if (bits <= kBlockBits) {
        BlockStages<Dir>(re, im, base, bits, from, tw.re, tw.im);
        return;
    }
    const std::size_t B = std::size_t{1} << bits;
    if ((bits - kBlockBits) % 2 == 1) {
        DepthStages<Dir>(re, im, base, bits - 1, from, tw);
        DepthStages<Dir>(re, im, base + B / 2, bits - 1, from, tw);
        Radix2<Dir>(re, im, base, base + B, B / 2, 0, B / 2, tw.re + B / 2, tw.im + B / 2);
    } else {
        const std::size_t L = B / 4;
        for (int k = 0; k < 4; ++k) DepthStages<Dir>(re, im, base + k * L, bits - 2, from, tw);
        Radix4<Dir>(re, im, base, base + B, L, 0, L, tw.re + L, tw.im + L, tw.re + 2 * L, tw.im + 2 * L);
    }
    Checkpoint();
}

// How many passes the complex transform of 2^n points makes when shared.
int ComplexPasses(int n) { return 3 + (n - DepthBits(n) + 1) / 2; }

template <int Dir>
void ComplexTransform(double* re, double* im, int n, double scale, const RootTable& roots, Passes& passes)
{
    const std::size_t N = std::size_t{1} << n;
    if (n <= 3) {
        SmallBitReverse(re, im, n, scale);
        if (n == 1) {
            const double ar = re[0], ai = im[0];
            re[0] = ar + re[1];
            im[0] = ai + im[1];
            re[1] = ar - re[1];
            im[1] = ai - im[1];
            return;
        }
        // Too short for the vector kernels past the first pair of stages.
        FirstRadix4<Dir>(re, im, 0, N);
        if (n == 3) {
            double w4r[4], w4i[4];
            roots.Twiddles(n, 2, Dir, 0, 4, w4r, w4i);
            for (std::size_t q = 0; q < 4; ++q) {
                const double wr = w4r[q], wi = w4i[q];
                for (std::size_t g = 0; g < N; g += 8) {
                    const std::size_t a = g + q, b = a + 4;
                    const double tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
                    re[b] = re[a] - tr;
                    im[b] = im[a] - ti;
                    re[a] += tr;
                    im[a] += ti;
                }
            }
        }
        return;
    }
    // The twiddles of every stage a super block runs (kept for small sizes);
    // the stages above work theirs out a chunk at a time.
    const int depth = DepthBits(n);
    const StageTable tw(roots, n, depth, passes);
    int from = 0;
    if (n < kTiledBits) {
        SmallBitReverse(re, im, n, scale);
    } else {
        // Pieces of 64 tile pairs: 2^14 points or less.
        passes.Run(std::size_t{1} << (n - 2 * kTile), kPiecePoints >> (2 * kTile + 1),
                   [&](std::size_t b, std::size_t e, ChunkTwiddles&) {
                       const auto from = static_cast<std::uint32_t>(b), to = static_cast<std::uint32_t>(e);
                       if (scale != 1.0)
                           TileBitReverseStages<Dir, true>(re, im, n, scale, from, to, tw.re, tw.im);
                       else
                           TileBitReverseStages<Dir, false>(re, im, n, scale, from, to, tw.re, tw.im);
                   });
        from = 4;
    }
    // One super block per piece.
    passes.Run(N >> depth, 1, [&](std::size_t b, std::size_t e, ChunkTwiddles&) {
        for (std::size_t k = b; k < e; ++k) DepthStages<Dir>(re, im, k << depth, depth, from, tw);
    });
    if (depth == n) return;
    Scratch chunkSpace;
    if (!passes.Shared()) {
        chunkSpace.Acquire(ScratchSlot::Chunk, 4 * kChunk);
        passes.SetTwiddles(ChunkTwiddles(chunkSpace.data()));
    }
    // The stages above the super blocks: whole passes, two stages at a time.
    // Units are (chunk of positions, group), chunk by chunk.
    for (int st = depth; st < n; st += 2) {
        const std::size_t L = std::size_t{1} << st;
        const bool pair = st + 1 < n;
        const std::size_t span = pair ? 4 * L : 2 * L;
        const std::size_t count = std::min(kChunk, L);
        const std::size_t groups = N / span, chunks = L / count;
        passes.Run(chunks * groups, kPiecePoints / (count * (pair ? 4 : 2)),
                   [&](std::size_t b, std::size_t e, ChunkTwiddles& w) {
                       for (std::size_t u = b; u < e;) {
                           // The run of groups of one chunk.
                           const std::size_t c = u / groups, g = u % groups;
                           const std::size_t run = std::min(e - u, groups - g);
                           const std::size_t q0 = c * count;
                           const long long tag = static_cast<long long>(st) << 32 | static_cast<long long>(c);
                           if (w.tag != tag) {
                               w.tag = -1;
                               roots.Fill(q0 << (n - st), std::size_t{1} << (n - st), count, w.w1r, w.w1i);
                               if (pair)
                                   roots.Fill(q0 << (n - st - 1), std::size_t{1} << (n - st - 1), count, w.w2r,
                                              w.w2i);
                               w.tag = tag;
                           }
                           if (pair)
                               Radix4<Dir>(re, im, g * span, (g + run) * span, L, q0, count, w.w1r, w.w1i, w.w2r,
                                           w.w2i);
                           else
                               Radix2<Dir>(re, im, g * span, (g + run) * span, L, q0, count, w.w1r, w.w1i);
                           u += run;
                       }
                   });
    }
}

// The reverse of a vector: its lanes last to first.
__attribute__((always_inline)) inline V4 Reversed(V4 v)
{
    typedef long long I4 __attribute__((vector_size(32)));
    return __builtin_shuffle(v, I4{3, 2, 1, 0});
}
__attribute__((always_inline)) inline V8 Reversed(V8 v)
{
    typedef long long I8 __attribute__((vector_size(64)));
    return __builtin_shuffle(v, I8{7, 6, 5, 4, 3, 2, 1, 0});
}

// Converts between the complex transform of the packed points z[j] =
// x[2j] + j x[2j+1] and the spectrum of the 2N real samples. Columns i and
// N - i depend on each other alone; this does the pairs for i in
// [i0, i0 + count) (within 1 .. N/2), with (cr, ci)[k] = e^{j pi i / N} for
// i = i0 + k. The row-1 negations on the way in (inverse) and out (forward)
// are folded into the reads and writes.
template <int Dir, class V>
__attribute__((always_inline)) inline void RealPairsLoop(double* __restrict r0, double* __restrict r1,
                                                         std::size_t N, std::size_t i0, std::size_t count,
                                                         const double* cr, const double* ci)
{
    constexpr std::size_t W = kLanes<V>;
    std::size_t k = 0;
    // A vector of pairs at a time; the partners N - i run backwards.
    for (; k + W <= count; k += W) {
        const std::size_t i = i0 + k, j = N - i - (W - 1);
        const V a = LoadV<V>(r0 + i), c = Reversed(LoadV<V>(r0 + j));
        V b = LoadV<V>(r1 + i), d = Reversed(LoadV<V>(r1 + j));
        if (Dir == -1) {
            b = -b;
            d = -d;
        }
        const V h1r = a + c, h1i = b - d, h2r = b + d, h2i = c - a;
        // w_i = Dir e^{j Dir pi i / N} = (Dir cos, sin).
        const V wr = Dir == -1 ? -LoadV<V>(cr + k) : LoadV<V>(cr + k), wi = LoadV<V>(ci + k);
        const V tr = h2r * wr + h2i * wi, ti = h2i * wr - h2r * wi;
        V oi = h1i + ti, oj = ti - h1i;
        if (Dir == 1) {
            oi = -oi;
            oj = -oj;
        }
        StoreV(r0 + i, h1r + tr);
        StoreV(r1 + i, oi);
        StoreV(r0 + j, Reversed(h1r - tr));
        StoreV(r1 + j, Reversed(oj));
    }
    for (; k < count; ++k) {
        const std::size_t i = i0 + k, j = N - i;
        const double a = r0[i], c = r0[j];
        const double b = Dir == -1 ? -r1[i] : r1[i], d = Dir == -1 ? -r1[j] : r1[j];
        const double h1r = a + c, h1i = b - d, h2r = b + d, h2i = c - a;
        const double wr = Dir == -1 ? -cr[k] : cr[k], wi = ci[k];
        const double tr = h2r * wr + h2i * wi, ti = h2i * wr - h2r * wi;
        r0[i] = h1r + tr;
        r1[i] = Dir == 1 ? -(h1i + ti) : h1i + ti;
        r0[j] = h1r - tr;
        r1[j] = Dir == 1 ? -(ti - h1i) : ti - h1i;
    }
}

#define SONAVIR_PAIRS_ARGS                                                                                  \
    double *__restrict r0, double *__restrict r1, std::size_t N, std::size_t i0, std::size_t count,        \
        const double *cr, const double *ci

template <int Dir>
__attribute__((target("arch=x86-64-v4"))) void RealPairsWide(SONAVIR_PAIRS_ARGS)
{
    RealPairsLoop<Dir, V8>(r0, r1, N, i0, count, cr, ci);
}
template <int Dir>
__attribute__((target_clones("avx2", "default"))) void RealPairsNarrow(SONAVIR_PAIRS_ARGS)
{
    RealPairsLoop<Dir, V4>(r0, r1, N, i0, count, cr, ci);
}
template <int Dir>
void RealPairs(SONAVIR_PAIRS_ARGS)
{
    if (Wide())
        RealPairsWide<Dir>(r0, r1, N, i0, count, cr, ci);
    else
        RealPairsNarrow<Dir>(r0, r1, N, i0, count, cr, ci);
}

// The pairs for i in [from, to): the roots straight from the table, or a
// chunk at a time from the extended ones.
template <int Dir>
void RealSpectrumPairs(double* r0, double* r1, std::size_t N, const RootTable& roots, std::size_t from,
                       std::size_t to)
{
    if (roots.Re() != nullptr) {
        RealPairs<Dir>(r0, r1, N, from, to - from, roots.Re() + from, roots.Im() + from);
        return;
    }
    constexpr std::size_t C = 1024;
    double cw[C], sw[C];
    for (std::size_t i0 = from; i0 < to; i0 += C) {
        const std::size_t count = std::min(C, to - i0);
        roots.Fill(i0, 1, count, cw, sw);
        RealPairs<Dir>(r0, r1, N, i0, count, cw, sw);
    }
}

// Columns 0 and N/2 of the same conversion.
template <int Dir>
void RealSpectrumEnds(double* r0, double* r1, std::size_t N)
{
    const double inSign = Dir == -1 ? -1.0 : 1.0;
    const double outSign = Dir == 1 ? -1.0 : 1.0;
    const double e = r0[0], f = inSign * r1[0];
    double z0 = e + f, z1 = e - f;
    if (Dir == 1) {
        z0 *= 2;
        z1 *= 2;
    }
    r0[0] = z0;
    r1[0] = outSign * z1;
    r0[N / 2] = 2 * r0[N / 2];
    r1[N / 2] = outSign * (-2 * (inSign * r1[N / 2]));
}

template <int Dir>
void RealSpectrumStep(double* r0, double* r1, int n, const RootTable& roots, Passes& passes)
{
    const std::size_t N = std::size_t{1} << n;
    if (N / 2 > 1)
        passes.Run(N / 2 - 1, kPiecePoints / 2, [&](std::size_t b, std::size_t e, ChunkTwiddles&) {
            RealSpectrumPairs<Dir>(r0, r1, N, roots, 1 + b, 1 + e);
        });
    RealSpectrumEnds<Dir>(r0, r1, N);
}


// The transform has no test per value: a spectrum large enough to overflow on
// the way back is caught by the sticky flags, before anyone reads the samples.
// Flags already raised by the caller are kept as they were.
// Clearing and restoring the flags costs more than a short transform's
// butterflies (the x87 environment goes to memory and back), so each is
// done only when there is something to clear or restore.
class TransformFaults {
public:
    TransformFaults() : raised_(std::fetestexcept(kFaultFlags))
    {
        if (raised_ != 0) {
            std::fegetexceptflag(&saved_, kFaultFlags);
            std::feclearexcept(kFaultFlags);
        }
    }
    ~TransformFaults()
    {
        if (raised_ != 0)
            std::fesetexceptflag(&saved_, kFaultFlags);
        else if (std::fetestexcept(kFaultFlags) != 0)
            std::feclearexcept(kFaultFlags);
    }
    // `others`: the flags the helper threads raised.
    void Check(int others) const
    {
        const int raised = std::fetestexcept(kFaultFlags) | others;
        // An overflow comes first: the infinities it leaves are what make the
        // later differences invalid.
        if (raised & FE_OVERFLOW) RaiseOverflow();
        if (raised & FE_INVALID) RaiseInvalidOp();
        if (raised & FE_DIVBYZERO) RaiseDivByZero();
    }

private:
    int raised_;  // the caller's flags
    std::fexcept_t saved_{};
};

// The threads of a transform of 2^n points (passes in all), or none.
std::unique_ptr<Crew> CrewFor(int n)
{
    if (n < kThreadedBits) return nullptr;
    try {
        return std::make_unique<Crew>(WorkThreads());
    } catch (const std::bad_alloc&) {
        RaiseOutOfMemory();
    }
}

// Both transforms; the flags raised on helper threads come back.
int Transform(TSignalData& data, int N, std::int8_t direction);

}  // namespace

void ComplexFFT(double* re, double* im, int N, std::int8_t direction)
{
    if (N < 1 || N > kMaxSignalSize || (N & (N - 1)) != 0) RaiseInvalidOp();
    if (N == 1) return;
    Checkpoint();
    const TransformFaults faults;
    const int n = Log2(N);
    const std::unique_ptr<Crew> crew = CrewFor(n);
    Passes passes(crew.get(), RootTable::BuildPasses(n) + ComplexPasses(n));
    const RootTable roots(n, passes);
    if (direction == 1)
        ComplexTransform<1>(re, im, n, 1.0, roots, passes);
    else
        ComplexTransform<-1>(re, im, n, 1.0, roots, passes);
    faults.Check(crew ? crew->Raised() : 0);
}

bool FFT(TSignalData& data, int N, std::int8_t direction)
{
    Checkpoint();
    const TransformFaults faults;
    const int others = Transform(data, N, direction);
    faults.Check(others);
    return true;
}

namespace {

int Transform(TSignalData& data, int N, std::int8_t direction)
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
        return 0;
    }
    const int n = Log2(N);
    const std::unique_ptr<Crew> crew = CrewFor(n);
    Passes passes(crew.get(), RootTable::BuildPasses(n) + ComplexPasses(n) + 1);
    const RootTable roots(n, passes);
    double* re = data[0].data();
    double* im = data[1].data();
    if (direction == 1) {
        // Dividing by 4N is exact, so it rides along with the reordering.
        ComplexTransform<1>(re, im, n, 1.0 / (4.0 * N), roots, passes);
        RealSpectrumStep<1>(re, im, n, roots, passes);
    } else {
        RealSpectrumStep<-1>(re, im, n, roots, passes);
        ComplexTransform<-1>(re, im, n, 1.0, roots, passes);
    }
    return crew ? crew->Raised() : 0;
}

}  // namespace

}  // namespace sonavir
