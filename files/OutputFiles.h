#pragma once
// Output files that never leave a partial or stale file behind. Each output
// is written under a short unique name created exclusively beside its target
// and moved into place only when every output of its set has been written;
// the set lands as a whole or not at all. Used by the picture's save and by
// every output of the command line. Plain POSIX, no Qt.
//
//     OutputSet outputs;
//     outputs.Add(tablePath).Write(text);
//     picture.WriteBmp(outputs.Add(picturePath));
//     outputs.CommitAll();  // throws SonavirError; then nothing has changed
//
// A symbolic link is saved through: its target gets the new content and the
// link stays. A replaced file keeps its permission bits; a new one gets the
// usual 0666 less the umask. A file the user may not write (read-only, or
// someone else's) is refused, as writing it in place would be. A run ended by
// SIGINT, SIGTERM or SIGHUP removes its temporary files before it dies of that
// signal.
//
// Several programs may write into one folder at once. An advisory lock on
// the folder (flock on the folder itself) is held while a set lands, so that
// sets land one after another, each whole; each temporary file is locked
// while it lives, and a program that makes a temporary file in a folder
// first removes those of ours whose lock is free (left by a killed run).

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace sonavir {

class OutputSet;

// One output. Its temporary file is created on the first write (or at commit,
// for an empty output), so naming an output costs nothing until it is written.
class OutputFile {
public:
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The name as given; failures quote it.
    const std::string& Path() const { return path_; }

    // Appends. Fails with "Cannot create file "%s". %s".
    void Write(const char* data, std::size_t size);
    void Write(const std::string& bytes) { Write(bytes.data(), bytes.size()); }

private:
    friend class OutputSet;
    OutputFile(std::string path, std::size_t index);

    void Create();
    void Flush();
    void WriteOut(const char* data, std::size_t size);
    void Finish();
    bool CheckTarget() const;
    void Backup();
    void Restore();
    void Discard();
    [[noreturn]] void Fail(int error) const;
    [[noreturn]] void Fail(const char* reason) const;

    std::string path_;        // as given
    std::size_t index_;       // place in its set, for the test seam
    std::string target_;      // the file that gets the content (links followed)
    std::string temp_;        // our temporary file, "" until created
    std::string backup_;      // the replaced file kept until the set has landed
    int fd_ = -1;
    int lockFd_ = -1;         // holds the temporary's lock while it lives
    int slot_ = -1;           // place in the table the signal handler cleans
    dev_t dev_ = 0;           // identity of our file, to tell it from others'
    ino_t ino_ = 0;
    bool existed_ = false;    // the target was there before the commit
    bool landed_ = false;     // renamed into place
    std::string buffer_;
};

// Outputs that land together or not at all: after any failure every target
// holds what it held before, byte for byte, and no temporary file remains.
// Destroying a set that was not committed discards its files.
class OutputSet {
public:
    OutputSet();
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    // A new output; the reference stays valid for the set's life. Outputs
    // land in the order they were added.
    OutputFile& Add(const std::string& path);

    // Moves every output into place. On failure every target is put back as
    // it was and the first failure is thrown ("Cannot create file "%s". %s").
    void CommitAll();

    // Removes the temporary files; nothing lands.
    void Discard();

    // Whether an output named PATH (as given) has been written to, before
    // the commit: an output asked for and never written is a fault.
    bool Holds(const std::string& path) const;

private:
    void Rollback();

    std::vector<std::unique_ptr<OutputFile>> files_;
    bool done_ = false;
};

// Removes every temporary file of every set and ends the program by `sig`
// (its default action): for a signal handler of the program's own that lets
// a second signal end what a first one asked to stop. Async-signal-safe.
[[noreturn]] void EndBySignal(int sig);

// The file a save through PATH replaces, as one name for every spelling of
// it: symbolic links followed to the end (a dangling one to the file it would
// create) and the folder resolved (".", "..", links, the working folder).
// A folder that does not exist is resolved as far as the names go.
std::string OutputTarget(const std::string& path);

// One file's whole content, atomically. Fails with "Cannot create file "%s". %s".
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// A seam for tests: before each system call of these steps the hook is asked,
// and an error number it returns makes that call fail as if the system had
// refused it. `index` is the output's place in its set. A refused Link falls
// back to a Copy of the replaced file. An empty hook turns faults off.
enum class OutputStep { Create, Write, Sync, Close, Link, Copy, Rename };
void SetOutputFaultForTesting(std::function<int(OutputStep step, std::size_t index)> hook);

}  // namespace sonavir
