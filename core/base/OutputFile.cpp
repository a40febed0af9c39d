#include "core/base/OutputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

namespace dw {

namespace {

namespace fs = std::filesystem;

OutputFileFaults g_faults;
std::atomic<unsigned> g_counter{0};

constexpr std::string_view kTempSuffix = ".dwtmp";
constexpr int kMaxLinks = 40;  // as the kernel's own limit on following links

// `target` with its symbolic links followed, also when the last one dangles:
// writing through a dangling link creates the file it names.
int ResolveLinks(const fs::path& target, fs::path& resolved) {
    fs::path p = target;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            resolved = p;
            return 0;
        }
        std::error_code ec;
        const fs::path link = fs::read_symlink(p, ec);
        if (ec) return ec.value();
        p = link.is_absolute() ? link : p.parent_path() / link;
    }
    return ELOOP;
}

// Who wrote a temporary: the host, the PID namespace and the process. A
// folder may be shared by renders on other hosts (a network file system) or
// in other PID namespaces (containers), where our PIDs mean nothing.
struct TempOwnerId {
    std::string host;      // the host's name, with '.', '~' and '/' made '_'
    std::string pidSpace;  // the PID namespace's inode number, in hex
    pid_t pid = 0;         // in a name; Ourselves() leaves it 0 (a fork changes it)
};

std::string HostPart() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') return "unknown";
    std::string out;
    for (const char* c = host; *c != '\0' && out.size() < 32; ++c) {
        const auto u = static_cast<unsigned char>(*c);
        out += (u < 0x20 || u >= 0x7F || *c == '.' || *c == '~' || *c == '/') ? '_' : *c;
    }
    return out;
}

std::string PidSpacePart() {
    struct stat st {};
    if (::stat("/proc/self/ns/pid", &st) != 0) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(st.st_ino));
    return buf;
}

const TempOwnerId& Ourselves() {
    static const TempOwnerId id{HostPart(), PidSpacePart(), 0};
    return id;
}

// Sixteen hex digits from the system's random source (the clock and a
// counter where it has none): two writers never pick the same name, even on
// hosts of one name.
std::string RandomPart() {
    std::uint64_t r = 0;
    if (::getentropy(&r, sizeof r) != 0)
        r = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
            (static_cast<std::uint64_t>(g_counter.fetch_add(1)) << 48);
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(r));
    return buf;
}

// The hidden name of a temporary: ".NAME.HOST~PIDNS~PID~RANDOM.dwtmp", NAME
// cut (at a UTF-8 character's start) so that the whole fits in `nameMax`
// bytes.
std::string TempName(const std::string& name, std::size_t nameMax) {
    const TempOwnerId& me = Ourselves();
    std::string suffix(1, '.');
    suffix += me.host;
    suffix += '~';
    suffix += me.pidSpace;
    suffix += '~';
    suffix += std::to_string(::getpid());
    suffix += '~';
    suffix += RandomPart();
    suffix += kTempSuffix;
    std::size_t room = nameMax > suffix.size() + 1 ? nameMax - suffix.size() - 1 : 0;
    room = std::min(room, name.size());
    while (room > 0 && room < name.size() && (static_cast<unsigned char>(name[room]) & 0xC0) == 0x80) --room;
    // Built by appending: GCC 12 warns falsely about "." + std::string at -O3.
    std::string temp(1, '.');
    temp.append(name, 0, room);
    temp += suffix;
    return temp;
}

// Who wrote the temporary `name`; nothing when it is not one of ours of this
// form (older forms without a host are never judged).
std::optional<TempOwnerId> TempOwner(std::string_view name) {
    if (name.size() < 2 + kTempSuffix.size() || name[0] != '.' || !name.ends_with(kTempSuffix)) return std::nullopt;
    name.remove_suffix(kTempSuffix.size());
    std::string_view parts[3];  // PIDNS, PID, RANDOM, read from the end
    for (int i = 2; i >= 0; --i) {
        const auto tilde = name.rfind('~');
        if (tilde == std::string_view::npos) return std::nullopt;
        parts[i] = name.substr(tilde + 1);
        name = name.substr(0, tilde);
    }
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || parts[0].empty() || parts[2].empty()) return std::nullopt;
    TempOwnerId id;
    id.host = std::string(name.substr(dot + 1));
    id.pidSpace = std::string(parts[0]);
    if (parts[1].empty() || parts[1].size() > 9) return std::nullopt;
    for (const char c : parts[1]) {
        if (c < '0' || c > '9') return std::nullopt;
        id.pid = id.pid * 10 + (c - '0');
    }
    if (id.host.empty() || id.pid <= 0) return std::nullopt;
    return id;
}

// A temporary is left only while its writer may still be writing it: another
// host's, another PID namespace's and a living process's are never touched,
// nor one changed in the last few minutes (its writer may have just started
// on a host with our name).
constexpr std::chrono::minutes kStaleAfter{5};

// Removes the temporaries of writers that were killed before they finished.
void RemoveStaleTemporaries(int dirFd) {
    const int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0) return;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return;
    }
    const TempOwnerId& me = Ourselves();
    const auto now = std::chrono::system_clock::now();
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<TempOwnerId> owner = TempOwner(entry->d_name);
        if (!owner || owner->host != me.host || owner->pidSpace != me.pidSpace || owner->pid == ::getpid()) continue;
        if (::kill(owner->pid, 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
        const auto changed = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
        if (now - changed < kStaleAfter) continue;
        ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

int Errno() { return errno != 0 ? errno : EIO; }

// Links the unnamed file `fd` into the folder under `name`. Linking by the
// descriptor itself needs a privilege that ordinary users lack; the /proc
// path needs /proc. Either will do.
int LinkUnnamed(int fd, int dirFd, const std::string& name) {
    if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, proc.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    return Errno();
}

// What Open and CheckOutputTarget share: links followed, the kind of target,
// the folder and the name's length.
struct Target {
    fs::path resolved;
    bool exists = false;
    struct stat st {};
    int dirFd = -1;
    std::string name;
    std::size_t nameMax = 255;
};

bool IsStandardOutput(const fs::path& target) { return target == fs::path(kStandardOutput); }

int Examine(const fs::path& target, Target& t) {
    if (IsStandardOutput(target)) {
        // Whatever descriptor 1 is, it is written into as it is.
        t.resolved = target;
        if (::fstat(STDOUT_FILENO, &t.st) != 0) return Errno();
        t.exists = true;
        if ((::fcntl(STDOUT_FILENO, F_GETFL) & O_ACCMODE) == O_RDONLY) return EBADF;
        return 0;
    }
    if (target.empty() || !target.has_filename()) return EISDIR;
    if (const int err = ResolveLinks(target, t.resolved)) return err;
    if (::stat(t.resolved.c_str(), &t.st) == 0) {
        t.exists = true;
        if (S_ISDIR(t.st.st_mode)) return EISDIR;
        if (S_ISSOCK(t.st.st_mode)) return ENXIO;  // what open() says of a socket
        if (!S_ISREG(t.st.st_mode)) return 0;      // written straight into
    } else if (errno != ENOENT) {
        return Errno();
    }
    const fs::path folder = t.resolved.has_parent_path() ? t.resolved.parent_path() : fs::path(".");
    t.dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (t.dirFd < 0) return Errno();
    t.name = t.resolved.filename().string();
    if (const long max = ::fpathconf(t.dirFd, _PC_NAME_MAX); max > 0) t.nameMax = static_cast<std::size_t>(max);
    if (t.name.size() > t.nameMax) return ENAMETOOLONG;
    return 0;
}

}  // namespace

void SetOutputFileFaultsForTesting(const OutputFileFaults& faults) { g_faults = faults; }

std::string ErrorText(int error) {
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);  // the GNU form returns the text
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!tempName_.empty() && dirFd_ >= 0) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    tempName_.clear();
    if (dirFd_ >= 0) ::close(dirFd_);
    dirFd_ = -1;
}

int OutputFile::Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return error_;
}

int OutputFile::Open(const fs::path& target) {
    Discard();
    error_ = 0;
    direct_ = false;
    seekable_ = true;
    cutAtCommit_ = false;
    committed_ = false;
    position_ = end_ = 0;
    written_ = 0;

    Target t;
    const int examined = Examine(target, t);
    dirFd_ = t.dirFd;
    resolved_ = t.resolved;
    nameMax_ = t.nameMax;
    if (examined != 0) return Fail(examined);

    if (IsStandardOutput(target)) {
        fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
        if (fd_ < 0) return Fail(Errno());
        direct_ = true;
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        // Only from the start: positions count from 0. A file opened for
        // appending puts every write at its end, wherever a seek went.
        const bool appending = (::fcntl(fd_, F_GETFL) & O_APPEND) != 0;
        seekable_ = at == 0 && S_ISREG(t.st.st_mode) && !appending;
        cutAtCommit_ = seekable_;
        return 0;
    }
    if (t.exists && !S_ISREG(t.st.st_mode)) {
        // A device or FIFO: written into, never replaced. Opening a FIFO
        // waits for its reader.
        fd_ = ::open(resolved_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd_ < 0) return Fail(Errno());
        direct_ = true;
        seekable_ = ::lseek(fd_, 0, SEEK_CUR) >= 0;
        return 0;
    }

    RemoveStaleTemporaries(dirFd_);
    if (!g_faults.namedTemporaries) {
        fd_ = ::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        // Refused by the file system (not by permissions): fall back to a name.
        if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return Fail(Errno());
    }
    for (int attempt = 0; fd_ < 0 && attempt < 100; ++attempt) {
        tempName_ = TempName(t.name, t.nameMax);
        fd_ = ::openat(dirFd_, tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            const int err = Errno();
            tempName_.clear();
            if (err != EEXIST) return Fail(err);
        }
    }
    if (fd_ < 0) return Fail(EEXIST);

    if (t.exists) {
        // Keep what the user set on the file being replaced. The owner can be
        // given away by root only; anyone else keeps the file as their own.
        if (::fchown(fd_, t.st.st_uid, t.st.st_gid) != 0 && errno != EPERM) return Fail(Errno());
        if (::fchmod(fd_, t.st.st_mode & 07777) != 0) return Fail(Errno());
    }
    return 0;
}

int OutputFile::Write(const void* data, std::size_t size) {
    if (error_ != 0) return error_;
    if (fd_ < 0 || committed_) return Fail(EBADF);
    const auto* p = static_cast<const char*>(data);
    std::size_t left = size;
    std::size_t allowed = left;
    if (g_faults.failAfterBytes != 0)
        allowed = written_ >= g_faults.failAfterBytes
                      ? 0
                      : static_cast<std::size_t>(std::min<std::uint64_t>(left, g_faults.failAfterBytes - written_));
    while (left > 0) {
        if (allowed == 0) return Fail(g_faults.error != 0 ? g_faults.error : ENOSPC);
        const ssize_t n = ::write(fd_, p, allowed);
        if (n < 0) {
            if (errno == EINTR) continue;
            return Fail(Errno());
        }
        if (n == 0) return Fail(EIO);
        p += n;
        left -= static_cast<std::size_t>(n);
        allowed -= static_cast<std::size_t>(n);
        if (g_faults.failAfterBytes == 0) allowed = left;
        written_ += static_cast<std::uint64_t>(n);
        position_ += n;
        end_ = std::max(end_, position_);
    }
#if defined(__linux__)
    // Every few megabytes the system is asked to start writing what it holds
    // to the disk, without waiting: the sync that makes the file durable at
    // the end then finds most of it written, instead of all of it in the
    // cache. Only a hint: the sync checks everything.
    constexpr std::uint64_t kKickBytes = std::uint64_t{8} << 20;
    if (!direct_ && written_ - kickedAt_ >= kKickBytes) {
        kickedAt_ = written_;
        (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
#endif
    return 0;
}

int OutputFile::Read(void* data, std::size_t size, std::size_t& got) {
    got = 0;
    if (error_ != 0) return error_;
    if (fd_ < 0 || committed_) return Fail(EBADF);
    ssize_t n = 0;
    do n = ::read(fd_, data, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) return Fail(Errno());
    got = static_cast<std::size_t>(n);
    position_ += n;
    return 0;
}

int OutputFile::Seek(std::int64_t offset, int whence, std::int64_t& position) {
    position = position_;
    if (error_ != 0) return error_;
    if (fd_ < 0 || committed_) return Fail(EBADF);
    if (!seekable_) {
        // A FIFO goes one way; a seek that stays where it is costs nothing.
        const std::int64_t to = whence == SEEK_SET ? offset : whence == SEEK_CUR ? position_ + offset : end_ + offset;
        if (to != position_) return Fail(ESPIPE);
        return 0;
    }
    const off_t at = ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (at < 0) return Fail(Errno());
    position = position_ = at;
    return 0;
}

std::int64_t OutputFile::Size() const { return end_; }

int OutputFile::Commit() {
    if (error_ != 0) return error_;
    if (fd_ < 0 || committed_) return Fail(EBADF);
    if (direct_) {
        // A file the shell opened without emptying it (1<>) may hold more
        // than was written: what lies past the music is no part of it.
        if (cutAtCommit_ && ::ftruncate(fd_, static_cast<off_t>(end_)) != 0) return Fail(Errno());
        // Devices and FIFOs may not sync at all; that is no failure of theirs.
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) return Fail(Errno());
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR) return Fail(Errno());
        committed_ = true;
        Discard();
        return 0;
    }
    if (::fsync(fd_) != 0) return Fail(Errno());
    if (tempName_.empty()) {
        // An unnamed file gets a hidden name first: linkat cannot replace.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = TempName(resolved_.filename().string(), nameMax_);
            const int err = LinkUnnamed(fd_, dirFd_, name);
            if (err == 0) {
                tempName_ = std::move(name);
                break;
            }
            if (err != EEXIST) return Fail(err);
        }
        if (tempName_.empty()) return Fail(EEXIST);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) return Fail(Errno());
    if (::renameat(dirFd_, tempName_.c_str(), dirFd_, resolved_.filename().c_str()) != 0) return Fail(Errno());
    tempName_.clear();
    committed_ = true;
    // Makes the rename itself durable. Should this fail, the new file is in
    // place already; the error is still reported.
    const int synced = ::fsync(dirFd_) != 0 && errno != EINVAL ? Errno() : 0;
    Discard();
    return synced != 0 ? Fail(synced) : 0;
}

int OutputFile::Sync() {
    if (error_ != 0) return error_;
    if (fd_ < 0 || committed_) return Fail(EBADF);
    if (direct_) return 0;  // written where it goes already; Commit syncs what a device can
    return ::fsync(fd_) != 0 ? Fail(Errno()) : 0;
}

int WriteWholeFile(const fs::path& target, std::span<const std::byte> bytes) {
    OutputFile file;
    if (const int err = file.Open(target)) return err;
    if (const int err = file.Write(bytes.data(), bytes.size())) return err;
    return file.Commit();
}

bool IsOneWayTarget(const fs::path& target) {
    fs::path resolved;
    struct stat st {};
    if (IsStandardOutput(target))
        return ::fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    return ResolveLinks(target, resolved) == 0 && ::stat(resolved.c_str(), &st) == 0 &&
           (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
}

int CheckOutputTarget(const fs::path& target) {
    Target t;
    int err = Examine(target, t);
    if (IsStandardOutput(target)) return err;
    if (err == 0 && t.exists && !S_ISREG(t.st.st_mode)) {
        err = ::access(t.resolved.c_str(), W_OK) == 0 ? 0 : Errno();
    } else if (err == 0) {
        // Try what Open will do; an unnamed file leaves no trace at all.
        int fd = g_faults.namedTemporaries ? -1 : ::openat(t.dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
        } else if (!g_faults.namedTemporaries && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            err = Errno();
        } else {
            const std::string probe = TempName(t.name, t.nameMax);
            fd = ::openat(t.dirFd, probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0) {
                err = Errno();
            } else {
                ::close(fd);
                ::unlinkat(t.dirFd, probe.c_str(), 0);
            }
        }
    }
    if (t.dirFd >= 0) ::close(t.dirFd);
    return err;
}

}  // namespace dw
