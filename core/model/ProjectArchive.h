#pragma once
// The archive through which the project file is written and read: little-endian
// primitives with no padding, and texts with a length prefix. Opened either for
// storing (to a file) or for loading (from a file or from bytes in memory); the
// file is buffered in 4096-byte pieces.
//
// A load that runs past the end of its input, or meets a length it cannot
// accept, throws ArchiveError; nothing is allocated for a length larger than
// what remains of the input, so a hostile file costs no more memory than a
// small multiple of its own size.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dw {

class ArchiveError : public std::runtime_error {
public:
    enum class Cause {
        EndOfFile,        // the input ended inside a value, or a length exceeds what remains
        Generic,          // a 64-bit text length above 0x7FFFFFFF
        InvalidArgument,  // a negative count, or a 32-bit text length with its top bit set
        Open,             // the file could not be opened
        Write,            // writing or flushing the file failed (errno in `systemError`)
    };
    ArchiveError(Cause cause, const std::string& what, int systemError = 0)
        : std::runtime_error(what), cause_(cause), systemError_(systemError) {}
    Cause cause() const { return cause_; }
    int systemError() const { return systemError_; }

private:
    Cause cause_;
    int systemError_;
};

class CProjectArchive {
public:
    enum class Mode { Store, Load };
    static constexpr std::size_t kBufferSize = 4096;

    // Opens `path` for storing (created or emptied) or loading. Throws
    // ArchiveError(Open) when the file cannot be opened (or is not a regular
    // file, for loading).
    CProjectArchive(const std::filesystem::path& path, Mode mode);
    // Takes ownership of an open file (for example a temporary file made
    // with exclusive creation); it is closed by Close or the destructor.
    CProjectArchive(std::FILE* file, Mode mode);
    // Loads from bytes that must outlive the archive.
    explicit CProjectArchive(std::span<const std::uint8_t> bytes);
    // Stores into memory; see StoredBytes.
    CProjectArchive();
    // Closes the file; a storing archive that was not Closed loses its buffer.
    ~CProjectArchive();
    CProjectArchive(const CProjectArchive&) = delete;
    CProjectArchive& operator=(const CProjectArchive&) = delete;

    bool IsLoading() const { return mode_ == Mode::Load; }
    bool IsStoring() const { return mode_ == Mode::Store; }

    // Writes out what is buffered, flushes the file to the disk (fsync) and
    // closes it. Throws ArchiveError(Write) when any of that fails.
    void Close();

    // Bytes still to be read (loading).
    std::uint64_t RemainingBytes() const;
    // Bytes written so far (storing).
    std::uint64_t BytesWritten() const { return written_; }
    // What a memory archive stored.
    const std::vector<std::uint8_t>& StoredBytes() const { return memory_; }

    // Throws ArchiveError(EndOfFile) unless at least `bytes` remain; used
    // before anything is allocated for a count read from the input.
    void RequireRemaining(std::uint64_t bytes) const;

    // Primitives, little-endian.
    void WriteInt32(std::int32_t v);
    void WriteUInt32(std::uint32_t v);
    void WriteFloat(float v);
    void WriteDouble(double v);
    void WriteBool(bool v);  // exactly 0 or 1
    void WriteByte(std::uint8_t v);
    void WriteUInt16(std::uint16_t v);
    void WriteUInt64(std::uint64_t v);
    // UTF-8 in, written as marker FF FE FF, length in UTF-16 units (1, 3, 7 or
    // 15 bytes) and UTF-16LE code units. Invalid UTF-8 bytes become U+FFFD.
    void WriteText(std::string_view utf8);

    std::int32_t ReadInt32();
    std::uint32_t ReadUInt32();
    float ReadFloat();
    double ReadDouble();
    bool ReadBool();  // any non-zero byte is true
    std::uint8_t ReadByte();
    std::uint16_t ReadUInt16();
    std::uint64_t ReadUInt64();
    // Reads either form (with the UTF-16 marker, or one byte per character in
    // Windows-1252) and returns UTF-8. Unpaired surrogates become U+FFFD.
    std::string ReadText();

    // Both directions: loads into `v` or stores it.
    void Field(std::int32_t& v) { IsLoading() ? void(v = ReadInt32()) : WriteInt32(v); }
    void Field(std::uint32_t& v) { IsLoading() ? void(v = ReadUInt32()) : WriteUInt32(v); }
    void Field(float& v) { IsLoading() ? void(v = ReadFloat()) : WriteFloat(v); }
    void Field(double& v) { IsLoading() ? void(v = ReadDouble()) : WriteDouble(v); }
    void Field(bool& v) { IsLoading() ? void(v = ReadBool()) : WriteBool(v); }
    void Field(std::uint8_t& v) { IsLoading() ? void(v = ReadByte()) : WriteByte(v); }
    void Field(std::string& v) { IsLoading() ? void(v = ReadText()) : WriteText(v); }
    // Store only: a const object can be written but not read into.
    void Field(const std::int32_t& v) { RequireStoring(); WriteInt32(v); }
    void Field(const std::uint32_t& v) { RequireStoring(); WriteUInt32(v); }
    void Field(const float& v) { RequireStoring(); WriteFloat(v); }
    void Field(const double& v) { RequireStoring(); WriteDouble(v); }
    void Field(const bool& v) { RequireStoring(); WriteBool(v); }
    void Field(const std::uint8_t& v) { RequireStoring(); WriteByte(v); }
    void Field(const std::string& v) { RequireStoring(); WriteText(v); }

    void RequireStoring() const;

private:
    void WriteRaw(const void* data, std::size_t size);
    void ReadRaw(void* data, std::size_t size);
    void FlushBuffer();
    void FillBuffer();

    Mode mode_;
    std::FILE* file_ = nullptr;
    bool memoryStore_ = false;
    std::vector<std::uint8_t> memory_;
    std::span<const std::uint8_t> input_;  // memory loading
    std::uint8_t buffer_[kBufferSize];
    std::size_t bufferPos_ = 0;   // next byte to read or write in buffer_
    std::size_t bufferFill_ = 0;  // valid bytes in buffer_ when loading
    std::uint64_t size_ = 0;      // input size when loading
    std::uint64_t consumed_ = 0;  // bytes read when loading
    std::uint64_t written_ = 0;   // bytes written when storing
};

// Text conversions used by the archive, exposed for tests and for callers that
// hand paths to other libraries.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);
std::string Windows1252ToUtf8(std::string_view bytes);

}  // namespace dw
