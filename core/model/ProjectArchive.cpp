#include "core/model/ProjectArchive.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <type_traits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dw {
namespace {

[[noreturn]] void ThrowEndOfFile() {
    throw ArchiveError(ArchiveError::Cause::EndOfFile, "the project file ends too early");
}

[[noreturn]] void ThrowWrite(int err) {
    throw ArchiveError(ArchiveError::Cause::Write, std::strerror(err), err);
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80 to 0x9F; the five bytes the code page leaves
// undefined map to the C1 control of the same value, as the system's own
// conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        char32_t c = kReplacement;
        std::size_t len = 1;
        std::size_t need = 0;
        char32_t min = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            need = 1, c = b0 & 0x1F, min = 0x80;
        } else if ((b0 & 0xF0) == 0xE0) {
            need = 2, c = b0 & 0x0F, min = 0x800;
        } else if ((b0 & 0xF8) == 0xF0) {
            need = 3, c = b0 & 0x07, min = 0x10000;
        }
        if (need > 0) {
            bool ok = true;
            for (std::size_t k = 1; ok && k <= need; ++k) {
                if (i + k >= n) { ok = false; break; }
                const auto bk = static_cast<unsigned char>(utf8[i + k]);
                if ((bk & 0xC0) != 0x80) { ok = false; break; }
                c = (c << 6) | (bk & 0x3F);
            }
            if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
            if (ok) len = need + 1; else c = kReplacement;
        } else if (b0 >= 0x80) {
            c = kReplacement;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            const char32_t c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            AppendUtf8(out, c);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b));
    }
    return out;
}

CProjectArchive::CProjectArchive(const std::filesystem::path& path, Mode mode) : mode_(mode) {
    if (mode == Mode::Store) {
        file_ = std::fopen(path.c_str(), "wb");
        if (!file_) throw ArchiveError(ArchiveError::Cause::Open, std::strerror(errno), errno);
        return;
    }
    // Non-blocking so that a FIFO named as a project cannot hang the open;
    // anything but a regular file is refused.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw ArchiveError(ArchiveError::Cause::Open, std::strerror(errno), errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw ArchiveError(ArchiveError::Cause::Open, "not a regular file");
    }
    file_ = ::fdopen(fd, "rb");
    if (!file_) {
        const int err = errno;
        ::close(fd);
        throw ArchiveError(ArchiveError::Cause::Open, std::strerror(err), err);
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

CProjectArchive::CProjectArchive(std::FILE* file, Mode mode) : mode_(mode), file_(file) {
    if (!file_) throw ArchiveError(ArchiveError::Cause::Open, "no file");
    if (mode == Mode::Load) {
        struct stat st {};
        if (::fstat(::fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) {
            std::fclose(file_);
            file_ = nullptr;
            throw ArchiveError(ArchiveError::Cause::Open, "not a regular file");
        }
        size_ = static_cast<std::uint64_t>(st.st_size);
    }
}

CProjectArchive::CProjectArchive(std::span<const std::uint8_t> bytes)
    : mode_(Mode::Load), input_(bytes), size_(bytes.size()) {}

CProjectArchive::CProjectArchive() : mode_(Mode::Store), memoryStore_(true) {}

CProjectArchive::~CProjectArchive() {
    if (file_) std::fclose(file_);
}

void CProjectArchive::Close() {
    if (!file_) return;
    std::FILE* f = file_;
    if (mode_ == Mode::Load) {
        file_ = nullptr;
        std::fclose(f);
        return;
    }
    // A write is complete only when it reached the disk: a full disk may show
    // itself only at fflush or fsync.
    int err = 0;
    try {
        FlushBuffer();
    } catch (const ArchiveError& e) {
        err = e.systemError() ? e.systemError() : EIO;
    }
    if (!err && std::fflush(f) != 0) err = errno;
    if (!err && ::fsync(::fileno(f)) != 0) err = errno;
    file_ = nullptr;
    if (std::fclose(f) != 0 && !err) err = errno;
    if (err) ThrowWrite(err);
}

std::uint64_t CProjectArchive::RemainingBytes() const { return size_ - consumed_; }

void CProjectArchive::RequireRemaining(std::uint64_t bytes) const {
    if (bytes > RemainingBytes()) ThrowEndOfFile();
}

void CProjectArchive::RequireStoring() const {
    if (!IsStoring()) throw std::logic_error("a const object cannot be loaded into");
}

void CProjectArchive::FlushBuffer() {
    if (bufferPos_ == 0 || !file_) return;
    if (std::fwrite(buffer_, 1, bufferPos_, file_) != bufferPos_) ThrowWrite(errno ? errno : EIO);
    bufferPos_ = 0;
}

void CProjectArchive::WriteRaw(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    written_ += size;
    if (memoryStore_) {
        memory_.insert(memory_.end(), bytes, bytes + size);
        return;
    }
    while (size > 0) {
        if (bufferPos_ == kBufferSize) FlushBuffer();
        const std::size_t chunk = std::min(size, kBufferSize - bufferPos_);
        std::memcpy(buffer_ + bufferPos_, bytes, chunk);
        bufferPos_ += chunk;
        bytes += chunk;
        size -= chunk;
    }
}

void CProjectArchive::FillBuffer() {
    bufferFill_ = std::fread(buffer_, 1, kBufferSize, file_);
    bufferPos_ = 0;
    if (bufferFill_ == 0) ThrowEndOfFile();  // the file shrank while being read
}

void CProjectArchive::ReadRaw(void* data, std::size_t size) {
    RequireRemaining(size);
    auto* out = static_cast<std::uint8_t*>(data);
    if (!file_) {
        std::memcpy(out, input_.data() + consumed_, size);
        consumed_ += size;
        return;
    }
    consumed_ += size;
    while (size > 0) {
        if (bufferPos_ == bufferFill_) FillBuffer();
        const std::size_t chunk = std::min(size, bufferFill_ - bufferPos_);
        std::memcpy(out, buffer_ + bufferPos_, chunk);
        bufferPos_ += chunk;
        out += chunk;
        size -= chunk;
    }
}

namespace {
template <class T>
void ToLittleEndian(T v, std::uint8_t* out) {
    static_assert(std::is_unsigned_v<T>);
    for (std::size_t i = 0; i < sizeof(T); ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
template <class T>
T FromLittleEndian(const std::uint8_t* in) {
    static_assert(std::is_unsigned_v<T>);
    T v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<T>(v | static_cast<T>(in[i]) << (8 * i));
    return v;
}
}  // namespace

void CProjectArchive::WriteByte(std::uint8_t v) { WriteRaw(&v, 1); }
void CProjectArchive::WriteUInt16(std::uint16_t v) {
    std::uint8_t b[2];
    ToLittleEndian(v, b);
    WriteRaw(b, 2);
}
void CProjectArchive::WriteUInt32(std::uint32_t v) {
    std::uint8_t b[4];
    ToLittleEndian(v, b);
    WriteRaw(b, 4);
}
void CProjectArchive::WriteUInt64(std::uint64_t v) {
    std::uint8_t b[8];
    ToLittleEndian(v, b);
    WriteRaw(b, 8);
}
void CProjectArchive::WriteInt32(std::int32_t v) { WriteUInt32(static_cast<std::uint32_t>(v)); }
void CProjectArchive::WriteFloat(float v) { WriteUInt32(std::bit_cast<std::uint32_t>(v)); }
void CProjectArchive::WriteDouble(double v) { WriteUInt64(std::bit_cast<std::uint64_t>(v)); }
void CProjectArchive::WriteBool(bool v) { WriteByte(v ? 1 : 0); }

void CProjectArchive::WriteText(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    const std::uint64_t length = units.size();
    // The marker: the characters are UTF-16 code units.
    WriteByte(0xFF);
    WriteUInt16(0xFFFE);
    if (length <= 254) {
        WriteByte(static_cast<std::uint8_t>(length));
    } else {
        WriteByte(0xFF);
        if (length <= 0xFFFD) {
            WriteUInt16(static_cast<std::uint16_t>(length));
        } else {
            WriteUInt16(0xFFFF);
            if (length < 0xFFFFFFFFu) {
                WriteUInt32(static_cast<std::uint32_t>(length));
            } else {
                WriteUInt32(0xFFFFFFFFu);
                WriteUInt64(length);
            }
        }
    }
    for (const char16_t u : units) WriteUInt16(u);
}

std::uint8_t CProjectArchive::ReadByte() {
    std::uint8_t b;
    ReadRaw(&b, 1);
    return b;
}
std::uint16_t CProjectArchive::ReadUInt16() {
    std::uint8_t b[2];
    ReadRaw(b, 2);
    return FromLittleEndian<std::uint16_t>(b);
}
std::uint32_t CProjectArchive::ReadUInt32() {
    std::uint8_t b[4];
    ReadRaw(b, 4);
    return FromLittleEndian<std::uint32_t>(b);
}
std::uint64_t CProjectArchive::ReadUInt64() {
    std::uint8_t b[8];
    ReadRaw(b, 8);
    return FromLittleEndian<std::uint64_t>(b);
}
std::int32_t CProjectArchive::ReadInt32() { return static_cast<std::int32_t>(ReadUInt32()); }
float CProjectArchive::ReadFloat() { return std::bit_cast<float>(ReadUInt32()); }
double CProjectArchive::ReadDouble() { return std::bit_cast<double>(ReadUInt64()); }
bool CProjectArchive::ReadBool() { return ReadByte() != 0; }

std::string CProjectArchive::ReadText() {
    bool wide = false;
    std::uint64_t length = 0;
    std::uint8_t b = ReadByte();
    if (b != 0xFF) {
        length = b;
    } else {
        std::uint16_t w = ReadUInt16();
        bool haveLength = false;
        if (w == 0xFFFE) {
            wide = true;
            b = ReadByte();
            if (b != 0xFF) {
                length = b;
                haveLength = true;
            } else {
                w = ReadUInt16();
            }
        }
        if (!haveLength) {
            if (w != 0xFFFF) {
                length = w;
            } else {
                const std::uint32_t d = ReadUInt32();
                if (d != 0xFFFFFFFFu) {
                    if (wide && (d & 0x80000000u))
                        throw ArchiveError(ArchiveError::Cause::InvalidArgument, "text length out of range");
                    length = d;
                } else {
                    const std::uint64_t q = ReadUInt64();
                    if (q > 0x7FFFFFFFu)
                        throw ArchiveError(ArchiveError::Cause::Generic, "text length out of range");
                    length = q;
                }
            }
        }
    }
    // Check against what remains before allocating anything for the text.
    if (wide) {
        RequireRemaining(length * 2);
        std::u16string units(static_cast<std::size_t>(length), u'\0');
        for (auto& u : units) u = ReadUInt16();
        return Utf16ToUtf8(units);
    }
    RequireRemaining(length);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ReadRaw(bytes.data(), bytes.size());
    return Windows1252ToUtf8(bytes);
}

}  // namespace dw
