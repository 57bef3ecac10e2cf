#include "files/OutputFiles.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <random>
#include <dirent.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "signal/Errors.h"

namespace sonavir {

namespace {

constexpr std::size_t kBufferBytes = 1 << 16;
constexpr int kNameAttempts = 100;

std::function<int(OutputStep, std::size_t)>& FaultHook()
{
    static std::function<int(OutputStep, std::size_t)> hook;
    return hook;
}

// The error number a test wants this step to fail with, or 0.
int Fault(OutputStep step, std::size_t index)
{
    const auto& hook = FaultHook();
    return hook ? hook(step, index) : 0;
}

// ---- Temporary files removed when a signal ends the program ----------------
// The handler may run at any moment, on any thread, so it reads only this
// fixed table, through lock-free atomics, and calls only unlink and raise.

constexpr int kSlots = 64;
enum SlotState { kFree, kFilling, kHolds };
struct Slot {
    std::atomic<int> state{kFree};
    char path[PATH_MAX];
};
Slot g_slots[kSlots];
// While outputs are being moved into place a signal waits: the table holds
// no backups, and half a commit is exactly what must never be left behind.
std::atomic<int> g_deferring{0};
std::atomic<int> g_deferredSignal{0};
static_assert(std::atomic<int>::is_always_lock_free);

void RemoveTemporariesAndDie(int sig)
{
    for (Slot& s : g_slots)
        if (s.state.load() == kHolds) ::unlink(s.path);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);  // inside the handler it waits for the handler's return
}

extern "C" void OnTerminatingSignal(int sig)
{
    const int savedErrno = errno;
    g_deferredSignal.store(sig);
    if (g_deferring.load() == 0) RemoveTemporariesAndDie(sig);
    errno = savedErrno;
}

// Only where the signal would have ended the program anyway: a signal the
// program ignores (nohup) or handles itself keeps its disposition.
void InstallSignalHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old {};
            if (::sigaction(sig, nullptr, &old) != 0) continue;
            if ((old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL) continue;
            struct sigaction sa {};
            sa.sa_handler = OnTerminatingSignal;
            sigemptyset(&sa.sa_mask);
            sa.sa_flags = SA_RESTART;
            ::sigaction(sig, &sa, nullptr);
        }
    });
}

// Holds back terminating signals for its life; one that came meanwhile is
// acted on at its end (after the table has been brought up to date).
class SignalsHeld {
public:
    SignalsHeld() { g_deferring.fetch_add(1); }
    ~SignalsHeld()
    {
        if (g_deferring.fetch_sub(1) == 1)
            if (const int sig = g_deferredSignal.exchange(0)) RemoveTemporariesAndDie(sig);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// The slot now naming `path`, or -1 when the table is full or the name too
// long (such a file is then only left behind by a signal, never lost).
int Register(const std::string& path)
{
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kFree;
        if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(kHolds);
        return i;
    }
    return -1;
}

void Unregister(int& slot)
{
    if (slot >= 0) g_slots[slot].state.store(kFree);
    slot = -1;
}

// ---- Names ------------------------------------------------------------------

constexpr char kTemporaryPrefix[] = ".sonavir-";
constexpr char kBackupPrefix[] = ".sonavir-old-";
constexpr std::size_t kUniqueLength = 10;

// Short, so that any name legal for the target is legal beside it; hidden, so
// that a listing taken meanwhile does not show it. A backup's name differs
// from a temporary's: only temporaries are ever removed as stale.
std::string UniqueName(const char* prefix = kTemporaryPrefix)
{
    static std::mt19937_64 engine = [] {
        std::seed_seq seed{std::uint64_t(std::random_device{}()), std::uint64_t(::getpid()),
                           std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    static constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = prefix;
    std::uint64_t bits = engine();
    for (std::size_t i = 0; i < kUniqueLength; ++i, bits /= 36) name.push_back(kDigits[bits % 36]);
    return name;
}

bool IsTemporaryName(const char* name)
{
    const std::size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0 || std::strlen(name) != prefix + kUniqueLength) return false;
    for (const char* c = name + prefix; *c; ++c)
        if (!((*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9'))) return false;
    return true;
}

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a save through `path` writes: symbolic links followed to the end,
// each relative link read from its own folder. An error number, or 0.
int FollowLinks(std::string& path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        char buf[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
        if (n < 0) return errno;
        if (n == 0) return ENOENT;
        if (std::size_t(n) == sizeof buf) return ENAMETOOLONG;
        std::string link(buf, std::size_t(n));
        path = link[0] == '/' ? link : FolderOf(path) + link;
    }
    return ELOOP;
}

// flock, waiting through signals that the program survives.
bool Lock(int fd, int how)
{
    int r;
    do r = ::flock(fd, how);
    while (r != 0 && errno == EINTR);
    return r == 0;
}

// Advisory locks on folders, taken in the order of their identities (two
// sets locking the same two folders never wait for each other) and once per
// folder however it is named. A folder that cannot be opened or a file system
// without flock goes without: the lock orders our own programs, it guards
// nothing else.
class FolderLocks {
public:
    FolderLocks(const std::vector<std::string>& folders, int how)
    {
        std::vector<std::pair<std::pair<dev_t, ino_t>, int>> found;
        for (const std::string& f : folders) {
            const int fd = ::open(f.empty() ? "." : f.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat st {};
            if (fd >= 0 && ::fstat(fd, &st) == 0) found.push_back({{st.st_dev, st.st_ino}, fd});
            else if (fd >= 0) ::close(fd);
        }
        std::sort(found.begin(), found.end());
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (i > 0 && found[i].first == found[i - 1].first) {
                ::close(found[i].second);  // a second lock of our own would wait for the first
                continue;
            }
            fds_.push_back(found[i].second);
            (void)Lock(found[i].second, how);
        }
    }
    ~FolderLocks()
    {
        for (int fd : fds_) ::close(fd);
    }
    FolderLocks(const FolderLocks&) = delete;
    FolderLocks& operator=(const FolderLocks&) = delete;

private:
    std::vector<int> fds_;
};

// Our temporaries in FOLDER whose lock is free: their program died without
// removing them (SIGKILL, a crash, a power cut). Called with the folder
// locked, so no temporary is between being made and being locked.
void RemoveStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    while (const dirent* e = ::readdir(dir)) {
        if (!IsTemporaryName(e->d_name)) continue;
        const std::string path = folder + e->d_name;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) fd = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace

void SetOutputFaultForTesting(std::function<int(OutputStep, std::size_t)> hook)
{
    FaultHook() = std::move(hook);
}

// ---- OutputFile ---------------------------------------------------------------

OutputFile::OutputFile(std::string path, std::size_t index) : path_(std::move(path)), index_(index) {}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Fail(int error) const
{
    throw SonavirError("Cannot create file \"" + path_ + "\". " + std::strerror(error ? error : EIO));
}

void OutputFile::Fail(const char* reason) const
{
    throw SonavirError("Cannot create file \"" + path_ + "\". " + reason);
}

// A folder cannot be replaced by a file, and a device or a pipe is not a
// file to be replaced (a save to /dev/null must not swap the device away).
// Whether the target exists.
// Nor is a file the user may not write: renaming over it would replace what
// writing it in place would be refused.
bool OutputFile::CheckTarget() const
{
    struct stat st {};
    if (::lstat(target_.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) Fail(EISDIR);
    if (!S_ISREG(st.st_mode)) Fail("Not a regular file");
    if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) Fail(errno);
    return true;
}

void OutputFile::Create()
{
    target_ = path_;
    if (const int err = FollowLinks(target_)) Fail(err);
    struct stat old {};
    const bool replacing = CheckTarget() && ::lstat(target_.c_str(), &old) == 0;

    InstallSignalHandlers();
    const std::string folder = FolderOf(target_);
    // Exclusively: what killed runs left goes, and ours is locked before
    // another program's cleaning can see it.
    const FolderLocks folderLock({folder}, LOCK_EX);
    RemoveStaleTemporaries(folder);
    SignalsHeld held;  // registered as soon as it exists
    for (int attempt = 0;; ++attempt) {
        std::string name = folder + UniqueName();
        int err = Fault(OutputStep::Create, index_);
        if (!err) {
            fd_ = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd_ >= 0) {
                temp_ = std::move(name);
                slot_ = Register(temp_);
                break;
            }
            err = errno;
        }
        if (err != EEXIST || attempt >= kNameAttempts) Fail(err);
    }
    // The lock lives on a file description of its own, so that closing the
    // written one at the end of writing keeps it.
    lockFd_ = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
    if (lockFd_ < 0) lockFd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (lockFd_ >= 0) (void)::flock(lockFd_, LOCK_EX | LOCK_NB);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail(errno);
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    if (replacing) {
        // The replaced file's owner where we may set it (the group, for one),
        // then its permission bits; chown first, as it clears set-id bits.
        if (old.st_uid != st.st_uid || old.st_gid != st.st_gid)
            (void)!::fchown(fd_, old.st_uid, old.st_gid);
        if (::fchmod(fd_, old.st_mode & 07777) != 0) Fail(errno);
    }
}

void OutputFile::WriteOut(const char* data, std::size_t size)
{
    while (size > 0) {
        if (const int err = Fault(OutputStep::Write, index_)) Fail(err);
        const ssize_t done = ::write(fd_, data, size);
        if (done < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        data += done;
        size -= std::size_t(done);
    }
}

void OutputFile::Flush()
{
    if (buffer_.empty()) return;
    WriteOut(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void OutputFile::Write(const char* data, std::size_t size)
{
    if (temp_.empty()) Create();
    if (buffer_.size() + size > kBufferBytes) Flush();
    if (size >= kBufferBytes) WriteOut(data, size);
    else buffer_.append(data, size);
}

// Everything on disk and the file closed, ready to be moved into place.
void OutputFile::Finish()
{
    if (temp_.empty()) Create();
    Flush();
    int err = Fault(OutputStep::Sync, index_);
    if (!err && ::fsync(fd_) != 0 && errno != EINVAL) err = errno;
    if (err) Fail(err);
    err = Fault(OutputStep::Close, index_);
    if (::close(fd_) != 0 && !err) err = errno;
    fd_ = -1;
    if (err) Fail(err);
}

// Keeps the file about to be replaced under a second name until the whole set
// has landed: a hard link where the file system allows one, else a copy.
void OutputFile::Backup()
{
    struct stat st {};
    if (existed_ && ::lstat(target_.c_str(), &st) != 0) existed_ = false;  // gone meanwhile
    if (!existed_) return;
    const std::string folder = FolderOf(target_);
    for (int attempt = 0;; ++attempt) {
        std::string name = folder + UniqueName(kBackupPrefix);
        int err = Fault(OutputStep::Link, index_);
        if (!err && ::link(target_.c_str(), name.c_str()) == 0) {
            backup_ = std::move(name);
            return;
        }
        if (!err) err = errno;
        if (err != EEXIST) break;
        if (attempt >= kNameAttempts) Fail(err);
    }

    const int in = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) Fail(errno);
    int out = -1;
    auto fail = [&](int err) {
        ::close(in);
        if (out >= 0) ::close(out);
        if (!backup_.empty()) ::unlink(backup_.c_str());
        backup_.clear();
        Fail(err);
    };
    for (int attempt = 0; out < 0; ++attempt) {
        std::string name = folder + UniqueName(kBackupPrefix);
        out = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out >= 0) backup_ = std::move(name);
        else if (errno != EEXIST || attempt >= kNameAttempts) fail(errno);
    }
    std::string block(kBufferBytes, '\0');
    for (;;) {
        if (const int err = Fault(OutputStep::Copy, index_)) fail(err);
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail(errno);
        if (got == 0) break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t n = ::write(out, block.data() + put, std::size_t(got - put));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail(errno);
            put += n;
        }
    }
    if (::fchmod(out, st.st_mode & 07777) != 0) fail(errno);
    ::close(in);
    if (::close(out) != 0) {
        out = -1;
        fail(errno);
    }
}

// Undoes a landing, if the target still is our file (another program may
// have replaced it since; its file is left alone).
void OutputFile::Restore()
{
    struct stat st {};
    const bool ours = ::lstat(target_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
    if (ours) {
        if (!existed_) {
            ::unlink(target_.c_str());
        } else if (!backup_.empty()) {
            // Should the old file not go back, its backup stays on disk
            // rather than being removed with the rest.
            (void)::rename(backup_.c_str(), target_.c_str());
            backup_.clear();
        }
    }
    landed_ = false;
    temp_.clear();
}

void OutputFile::Discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty() && !landed_) ::unlink(temp_.c_str());
    if (!backup_.empty()) ::unlink(backup_.c_str());
    // Only once the name is gone or landed: a free lock marks a stale file.
    if (lockFd_ >= 0) {
        ::close(lockFd_);
        lockFd_ = -1;
    }
    temp_.clear();
    backup_.clear();
    buffer_.clear();
    Unregister(slot_);
}

// ---- OutputSet ----------------------------------------------------------------

OutputSet::OutputSet() = default;

OutputSet::~OutputSet()
{
    if (!done_) Discard();
}

OutputFile& OutputSet::Add(const std::string& path)
{
    files_.push_back(std::unique_ptr<OutputFile>(new OutputFile(path, files_.size())));
    return *files_.back();
}

void OutputSet::Discard()
{
    for (auto& f : files_) f->Discard();
}

void OutputSet::Rollback()
{
    for (auto it = files_.rbegin(); it != files_.rend(); ++it)
        if ((*it)->landed_) (*it)->Restore();
}

// The old files are all kept (linked or copied) before the first rename, so
// a failure at any rename can put back every file that already moved. The
// last output needs no backup: once it has landed nothing can fail.
void OutputSet::CommitAll()
{
    if (done_) return;
    for (auto& f : files_) f->Finish();

    // Sets landing in one folder at once land one after another, each whole.
    std::vector<std::string> folders;
    for (auto& f : files_) folders.push_back(FolderOf(f->target_));
    const FolderLocks locks(folders, LOCK_EX);
    SignalsHeld held;
    try {
        for (auto& f : files_) f->existed_ = f->CheckTarget();
        for (std::size_t i = 0; i + 1 < files_.size(); ++i) files_[i]->Backup();
        for (auto& f : files_) {
            int err = Fault(OutputStep::Rename, f->index_);
            if (!err && ::rename(f->temp_.c_str(), f->target_.c_str()) != 0) err = errno;
            if (err) f->Fail(err);
            f->landed_ = true;
        }
    } catch (...) {
        Rollback();
        Discard();
        throw;
    }
    for (auto& f : files_) f->Discard();  // drops the backups; landed files stay
    done_ = true;
}

bool OutputSet::Holds(const std::string& path) const
{
    return std::any_of(files_.begin(), files_.end(),
                       [&](const auto& f) { return f->Path() == path && !f->temp_.empty(); });
}

std::string OutputTarget(const std::string& path)
{
    std::string target = path;
    (void)FollowLinks(target);  // a link that cannot be read is compared as it stands
    const std::string folder = FolderOf(target);
    const std::string name = target.substr(folder.size());
    char resolved[PATH_MAX];
    std::string where;
    if (::realpath(folder.empty() ? "." : folder.c_str(), resolved)) {
        where = resolved;
    } else {
        std::error_code ec;
        where = std::filesystem::absolute(folder.empty() ? "." : folder, ec).lexically_normal().string();
    }
    if (where.empty() || where.back() != '/') where.push_back('/');
    return where + name;
}

void WriteFileAtomically(const std::string& path, const std::string& bytes)
{
    OutputSet set;
    set.Add(path).Write(bytes);
    set.CommitAll();
}

void EndBySignal(int sig)
{
    RemoveTemporariesAndDie(sig);
    // Still here only if the signal was blocked or caught elsewhere.
    ::_exit(128 + sig);
}

}  // namespace sonavir
