#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "files/OutputFiles.h"
#include "signal/Errors.h"
#include "tests/support/TempDir.h"

namespace sonavir {
namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

// Every entry of a folder with its content ("<dir>" for a folder, "-> x" for a link).
std::map<std::string, std::string> Entries(const TempDir& dir)
{
    std::map<std::string, std::string> all;
    for (const auto& e : fs::directory_iterator(dir.path)) {
        std::string content;
        if (e.is_symlink()) content = "-> " + fs::read_symlink(e.path()).string();
        else if (e.is_directory()) content = "<dir>";
        else {
            std::ifstream in(e.path(), std::ios::binary);
            std::ostringstream s;
            s << in.rdbuf();
            content = s.str();
        }
        all[e.path().filename().string()] = content;
    }
    return all;
}

void Put(const std::string& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

mode_t ModeOf(const std::string& file)
{
    struct stat st {};
    EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
    return st.st_mode & 07777;
}

struct FaultOff {
    ~FaultOff() { SetOutputFaultForTesting(nullptr); }
};

// Three outputs, the middle one new: a fault at any system call of any
// output, with hard links allowed or refused (the backup is then a copy),
// leaves every target as it was, with its mode, and no file of ours behind.
TEST(OutputFilesTest, FaultAtAnyStepLeavesEveryTargetAsItWas)
{
    TempDir dir;
    FaultOff off;
    const std::map<std::string, std::string> before = {{"a.bin", "old a"}, {"c.bin", "old c"}};
    const std::map<std::string, std::string> after = {
        {"a.bin", "new a"}, {"b.bin", "new b"}, {"c.bin", "new c"}};
    const OutputStep steps[] = {OutputStep::Create, OutputStep::Write, OutputStep::Sync,
                                OutputStep::Close,  OutputStep::Copy,  OutputStep::Rename};
    int fired = 0;
    for (bool refuseLinks : {false, true})
        for (OutputStep step : steps)
            for (std::size_t index = 0; index < 3; ++index) {
                fs::remove(dir / "b.bin");
                for (const auto& [name, bytes] : before) Put(dir / name, bytes);
                fs::permissions(dir / "a.bin", fs::perms(0604));
                bool hit = false;
                SetOutputFaultForTesting([&](OutputStep s, std::size_t i) {
                    if (s == OutputStep::Link && refuseLinks) return EPERM;
                    if (s != step || i != index || hit) return 0;
                    hit = true;
                    return EIO;
                });
                const std::string where = std::to_string(int(step)) + "/" + std::to_string(index) +
                                          (refuseLinks ? " copy" : " link");
                std::string failure;
                try {
                    OutputSet set;
                    set.Add(dir / "a.bin").Write("new a");
                    set.Add(dir / "b.bin").Write("new b");
                    set.Add(dir / "c.bin").Write(std::string("new c"));
                    set.CommitAll();
                } catch (const SonavirError& e) {
                    failure = e.what();
                }
                if (hit) {
                    ++fired;
                    const std::string name = std::string(1, char('a' + index)) + ".bin";
                    EXPECT_EQ(failure, "Cannot create file \"" + (dir / name) +
                                           "\". Input/output error") << where;
                    EXPECT_EQ(Entries(dir), before) << where;
                } else {
                    EXPECT_EQ(failure, "") << where;
                    EXPECT_EQ(Entries(dir), after) << where;
                }
                EXPECT_EQ(ModeOf(dir / "a.bin"), 0604u) << where;
            }
    // Every step of every output, and the copy of the one replaced file that
    // gets a backup (the last output needs none).
    EXPECT_EQ(fired, 2 * 5 * 3 + 1);
}

// Every target there before: a failed rename of any output, its backups
// linked or copied, puts each target back with its own bytes.
TEST(OutputFilesTest, RollbackOfTargetsThatAllExistedKeepsEachOnesBytes)
{
    TempDir dir;
    FaultOff off;
    const std::map<std::string, std::string> before = {{"a.bin", "old a"}, {"b.bin", "old b"}, {"c.bin", "old c"}};
    for (bool refuseLinks : {false, true})
        for (std::size_t index = 0; index < 3; ++index) {
            for (const auto& [name, bytes] : before) Put(dir / name, bytes);
            SetOutputFaultForTesting([&](OutputStep s, std::size_t i) {
                if (s == OutputStep::Link && refuseLinks) return EPERM;
                return s == OutputStep::Rename && i == index ? EIO : 0;
            });
            OutputSet set;
            for (const auto& [name, bytes] : before) set.Add(dir / name).Write("new " + bytes);
            EXPECT_THROW(set.CommitAll(), SonavirError);
            EXPECT_EQ(Entries(dir), before) << index << (refuseLinks ? " copy" : " link");
        }
}

TEST(OutputFilesTest, SavesThroughLinksKeepingModesAndTheUsualModeForNewFiles)
{
    TempDir dir;
    Put(dir / "target.txt", "old");
    fs::permissions(dir / "target.txt", fs::perms(0640));
    fs::create_directory(dir / "sub");
    fs::create_symlink("../target.txt", dir / "sub/link");
    fs::create_symlink("sub/link", dir / "chain");

    WriteFileAtomically(dir / "chain", "new");
    EXPECT_EQ(fs::read_symlink(dir / "chain"), "sub/link");
    EXPECT_EQ(fs::read_symlink(dir / "sub/link"), "../target.txt");
    EXPECT_EQ(Entries(dir).at("target.txt"), "new");
    EXPECT_EQ(ModeOf(dir / "target.txt"), 0640u);
    EXPECT_EQ(fs::directory_iterator(dir.path / "sub")->path().filename(), "link");

    // A dangling link gets its target created.
    fs::create_symlink("made.txt", dir / "dangling");
    WriteFileAtomically(dir / "dangling", "made");
    EXPECT_EQ(Entries(dir).at("made.txt"), "made");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir / "made.txt"), 0666u & ~mask);
    EXPECT_EQ(Entries(dir).size(), 5u);
}

TEST(OutputFilesTest, TemporaryNamesFitAnyNameAndTakeNoOneElsesFile)
{
    TempDir dir;
    const std::string longest = dir / (std::string(246, 'n') + ".bmp");  // 250 bytes
    Put(dir / "d.csv.part", "the user's own");
    WriteFileAtomically(longest, "fits");
    WriteFileAtomically(dir / "d.csv", "csv");
    {
        OutputSet failed;
        failed.Add(dir / "d.csv").Write("lost");
        failed.Add(dir / "d.csv.part.part").Write("lost");
    }
    // Two sets on one target at once: the one that commits wins, the other
    // removes only its own file.
    OutputSet first, second;
    first.Add(dir / "d.csv").Write("first");
    second.Add(dir / "d.csv").Write("second");
    first.CommitAll();
    second.Discard();
    const std::map<std::string, std::string> expected = {
        {"d.csv.part", "the user's own"}, {"d.csv", "first"}, {fs::path(longest).filename(), "fits"}};
    EXPECT_EQ(Entries(dir), expected);

    // A folder or a device in the target's place is never replaced.
    EXPECT_THROW(WriteFileAtomically(dir.path.string(), "x"), SonavirError);
    try {
        WriteFileAtomically("/dev/null", "x");
        FAIL() << "replaced a device";
    } catch (const SonavirError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file \"/dev/null\". Not a regular file");
    }
    EXPECT_EQ(Entries(dir), expected);
}

// Two sets into one folder at once: the second, asked to land while the
// first is halfway (its second rename held back), waits and lands whole.
TEST(OutputFilesTest, ConcurrentSetsInOneFolderLandEachWhole)
{
    TempDir dir;
    FaultOff off;
    std::thread::id slow;
    std::atomic<bool> halfway{false};
    SetOutputFaultForTesting([&](OutputStep step, std::size_t index) {
        if (step == OutputStep::Rename && index == 1 && std::this_thread::get_id() == slow) {
            halfway = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return 0;
    });
    auto land = [&](const std::string& tag) {
        OutputSet set;
        set.Add(dir / "a.txt").Write(tag);
        set.Add(dir / "b.txt").Write(tag);
        set.CommitAll();
    };
    std::thread first([&] {
        slow = std::this_thread::get_id();
        land("first");
    });
    while (!halfway) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    land("second");
    first.join();
    const auto entries = Entries(dir);
    EXPECT_EQ(entries, (std::map<std::string, std::string>{{"a.txt", "second"}, {"b.txt", "second"}}));
}

// A file the user may not write in place is not replaced either: read-only,
// or (as another user) someone else's in a folder open to all.
TEST(OutputFilesDeathTest, FilesTheUserMayNotWriteAreRefused)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    TempDir dir;
    fs::permissions(dir.path, fs::perms(0777));
    Put(dir / "read-only.txt", "kept");
    fs::permissions(dir / "read-only.txt", fs::perms(0444));
    Put(dir / "theirs.txt", "kept");
    const bool asOther = ::geteuid() == 0;  // root may write anything: act as nobody
    EXPECT_EXIT(
        {
            if (asOther && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(3);
            int refused = 0;
            for (const char* name : {"read-only.txt", "theirs.txt"}) {
                if (!asOther && std::string(name) == "theirs.txt") continue;
                try {
                    WriteFileAtomically(dir / name, "replaced");
                } catch (const SonavirError& e) {
                    if (std::string(e.what()) == "Cannot create file \"" + (dir / name) + "\". Permission denied")
                        ++refused;
                }
            }
            _exit(refused == (asOther ? 2 : 1) ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
    EXPECT_EQ(Entries(dir), (std::map<std::string, std::string>{{"read-only.txt", "kept"}, {"theirs.txt", "kept"}}));
}

// A run killed outright leaves its temporary file; the next set writing into
// that folder removes it, and leaves alone those whose run still lives.
TEST(OutputFilesDeathTest, TemporariesOfKilledRunsGoWithTheNextWrite)
{
    GTEST_FLAG_SET(death_test_style, "fast");
    TempDir dir;
    EXPECT_EXIT(
        {
            OutputSet set;
            set.Add(dir / "a.bin").Write(std::string(1 << 17, 'x'));
            std::raise(SIGKILL);
        },
        testing::KilledBySignal(SIGKILL), "");
    ASSERT_EQ(Entries(dir).size(), 1u);  // the killed run's temporary
    OutputSet live;
    live.Add(dir / "live.bin").Write(std::string(1 << 17, 'y'));
    WriteFileAtomically(dir / "b.bin", "b");
    auto entries = Entries(dir);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.at("b.bin"), "b");
    live.CommitAll();
    EXPECT_EQ(Entries(dir).size(), 2u);
    EXPECT_EQ(Entries(dir).count("live.bin"), 1u);
}

TEST(OutputFilesDeathTest, TerminatingSignalsRemoveTemporaryFiles)
{
    GTEST_FLAG_SET(death_test_style, "fast");  // the child must share this folder
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir dir;
        EXPECT_EXIT(
            {
                OutputSet set;
                set.Add(dir / "a.csv").Write("partial");
                set.Add(dir / "b.csv").Write(std::string(1 << 20, 'x'));
                std::raise(sig);
            },
            testing::KilledBySignal(sig), "");
        EXPECT_TRUE(Entries(dir).empty()) << sig;
    }
}

}  // namespace
}  // namespace sonavir
