#pragma once
// The one way this program writes a file that a user may already have: the
// project, a sound file, a plan. Every writer goes through OutputFile, so the
// rules below hold for all of them alike.
//
// Contract
//   Success (Commit returned 0): the target holds exactly the bytes written,
//     flushed to the disk together with its folder entry. An existing regular
//     file keeps its mode (0600 stays 0600) and, where the process may set it,
//     its owner. A symbolic link at the target stays a link: the file it names
//     is the one replaced.
//   Failure (any call returned an error, or the object was destroyed without
//     a successful Commit): an existing target is exactly as it was and the
//     folder holds nothing new.
//   Kill: where the file system offers unnamed files (O_TMPFILE) the data has
//     no name until Commit links it in, so nothing is left behind. Elsewhere
//     (NFS and other network file systems) it carries a hidden name
//     ".NAME.HOST~PIDNS~PID~RANDOM.dwtmp" (NAME cut so that it fits the file
//     system's name limit), which a kill leaves behind. An OutputFile opened
//     later in that folder removes such a name only when it is ours beyond
//     doubt: written on this host, in this PID namespace, by a process that
//     is gone, and unchanged for five minutes. Another host's or another
//     container's temporaries in a shared folder are never touched, so a
//     temporary killed there stays until its own host writes in the folder.
//   Devices, FIFOs and sockets are never replaced: the bytes go straight into
//     them (Direct()), so /dev/null discards, /dev/full fails with ENOSPC and
//     a FIFO streams to its reader. Such a target cannot seek back; Seek
//     answers ESPIPE unless it lands where the file already is.
//   Every write, flush, sync and close is checked; the first error is
//     returned (an errno value: ErrorText gives the system's text) and every
//     later call answers the same error.
//
//   Standard output: the target kStandardOutput is the process's own
//     descriptor 1, written into like a device, whatever it is connected to
//     (a pipe, a file the shell opened, /dev/null). It can be sought only in
//     a regular file at its start and not opened for appending (>>); there
//     Commit also cuts the file to what was written, since a file opened
//     without emptying it (1<>) may hold more.
//
// Thread: the caller's. One object per write; not copyable.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <string>

namespace dw {

// The name that means the process's standard output.
inline constexpr std::string_view kStandardOutput = "/dev/stdout";

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Prepares to write `target`. 0, or an errno value: EISDIR for a folder,
    // ENOENT or ENOTDIR for a missing folder, ENAMETOOLONG for a name the
    // folder's file system cannot hold, EACCES or EROFS for a folder that
    // cannot be written, ELOOP for a circle of links.
    int Open(const std::filesystem::path& target);

    // Writes all of `size` bytes at the current position, or fails.
    int Write(const void* data, std::size_t size);
    // Reads up to `size` bytes at the current position (encoders reread what
    // they wrote); `got` is what was read, 0 at the end.
    int Read(void* data, std::size_t size, std::size_t& got);
    // Moves the position like lseek; `position` receives the new one.
    int Seek(std::int64_t offset, int whence, std::int64_t& position);
    std::int64_t Position() const { return position_; }
    // The size of what was written so far (the position's end for a FIFO).
    std::int64_t Size() const;

    // Makes the written bytes the target (see the contract). After it, or
    // after any failure, the object only answers its error.
    int Commit();
    // Flushes what was written to the disk without putting it in place, so
    // that a writer of several files learns of a full disk before it
    // replaces any of them; Commit then has little left that can fail.
    int Sync();

    // True when the bytes go straight into a device, FIFO or socket.
    bool Direct() const { return direct_; }
    // False for a target that only goes forward (a pipe, a FIFO, a terminal).
    bool Seekable() const { return seekable_; }
    // The file actually written: the target with its symbolic links followed.
    const std::filesystem::path& Resolved() const { return resolved_; }

private:
    int Fail(int error);
    void Discard();

    int fd_ = -1;
    int dirFd_ = -1;
    int error_ = 0;
    bool direct_ = false;
    bool seekable_ = true;
    bool cutAtCommit_ = false;  // standard output in a regular file at its start
    bool committed_ = false;
    std::int64_t position_ = 0;
    std::int64_t end_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t kickedAt_ = 0;  // written_ when write-back was last started
    std::size_t nameMax_ = 255;
    std::filesystem::path resolved_;
    std::string tempName_;  // the hidden name in the folder, when there is one
};

// Writes `bytes` to `target` through an OutputFile: 0 or an errno value.
int WriteWholeFile(const std::filesystem::path& target, std::span<const std::byte> bytes);

// Tells, without writing anything, whether `target` can be written: the same
// errno values as OutputFile::Open, 0 when it can. Meant for checks before
// long work, so that an impossible target fails at once.
int CheckOutputTarget(const std::filesystem::path& target);

// True when `target`, its links followed, is a FIFO or socket: written front
// to back once, never sought, so formats that go back to finish a header
// cannot be written there.
bool IsOneWayTarget(const std::filesystem::path& target);

// The system's text for an errno value ("No space left on device").
std::string ErrorText(int error);

// For tests only, process-wide: make every OutputFile fail its writes with
// `error` once `failAfterBytes` bytes were written (0: never), and use named
// temporaries even where unnamed ones exist.
struct OutputFileFaults {
    std::uint64_t failAfterBytes = 0;
    int error = 0;
    bool namedTemporaries = false;
};
void SetOutputFileFaultsForTesting(const OutputFileFaults& faults);

}  // namespace dw
