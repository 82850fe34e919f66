#pragma once
// Bounds-checked little-endian reading and writing shared by every binary
// file format of the program.  A reader never reads past the end of its
// source: every count and length is checked against what remains before
// anything is allocated, and a failure throws FileError with the file name
// and the byte offset.

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <string_view>
#include <vector>

namespace dm {

// An error reading or writing a file; what() is the text shown to the
// operator (Russian, naming the file and, for damaged data, the offset).
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string& text) : std::runtime_error(text) {}
};

// Path as text for messages (UTF-8).
std::string pathText(const std::filesystem::path& p);

// Why a file operation failed, in Russian ("нет такого файла или папки",
// "нет прав", "это папка", "нет места на диске", ...).
std::string ReasonText(int err);
std::string ReasonText(const std::error_code& ec);

class ReadAhead;

class BinReader {
public:
    // Reads the file through a buffer (a large file is read ahead on a
    // thread of its own while the caller decodes).  Throws FileError if it
    // cannot be opened.
    explicit BinReader(const std::filesystem::path& path);
    // Reads a block of memory; name is used in messages.
    BinReader(const void* data, size_t size, std::string name);
    ~BinReader();
    BinReader(const BinReader&) = delete;
    BinReader& operator=(const BinReader&) = delete;

    uint64_t size() const { return size_; }
    uint64_t offset() const { return bufStart_ + uint64_t(cur_ - buf_); }
    uint64_t remaining() const { return size_ - offset(); }
    bool atEnd() const { return offset() >= size_; }
    const std::string& name() const { return name_; }

    uint8_t u8() { return *need(1); }
    int32_t i32() { return i32At(need(4)); }
    uint32_t u32() { uint32_t v; std::memcpy(&v, need(4), 4); return fromLE(v); }
    int16_t i16() { int16_t v; std::memcpy(&v, need(2), 2); return fromLE(v); }
    double f64() { return f64At(need(8)); }
    int64_t i64() { uint64_t v; std::memcpy(&v, need(8), 8); return int64_t(fromLE(v)); }
    // Values in bytes already taken (a record read with one take()).
    static int32_t i32At(const uint8_t* p) { int32_t v; std::memcpy(&v, p, 4); return fromLE(v); }
    static double f64At(const uint8_t* p) {
        uint64_t v; std::memcpy(&v, p, 8); v = fromLE(v);
        double d; std::memcpy(&d, &v, 8); return d;
    }
    void bytes(void* dst, size_t n) { if (n) std::memcpy(dst, need(n), n); }
    // Direct access to the next n bytes (valid until the next read).
    const uint8_t* take(size_t n) { return need(n); }
    void skip(uint64_t n);
    void seek(uint64_t off);

    // "length byte + characters"
    std::string shortString();
    // "int32 (length + 1) + length byte + characters"
    std::string countedString();
    // The same for a field of at most `max` characters; the messages name
    // the field (`what`).
    std::string countedString(size_t max, const std::string& what);
    // n bytes exactly as stored (padding included)
    std::string fixedString(size_t n);

    // Throws FileError "<file>: <what> (смещение <at>)".
    [[noreturn]] void fail(const std::string& what, uint64_t at) const;
    // Checks that n more bytes exist; otherwise fails naming `what`.
    void require(uint64_t n, const char* what) const;

private:
    template <typename T> static T fromLE(T v) {
        static_assert(std::endian::native == std::endian::little, "little-endian host assumed");
        return v;
    }
    const uint8_t* need(size_t n) {
        if (size_t(end_ - cur_) < n) refill(n);
        const uint8_t* p = cur_;
        cur_ += n;
        return p;
    }
    void refill(size_t n);
    void refillAhead(size_t n);
    void startAhead(uint64_t from);

    std::string name_;
    std::FILE* file_ = nullptr;
    std::unique_ptr<ReadAhead> ahead_;
    uint64_t size_ = 0;
    uint64_t bufStart_ = 0;           // file offset of buf_[0]
    std::vector<uint8_t> storage_;
    const uint8_t* buf_ = nullptr;
    const uint8_t* cur_ = nullptr;
    const uint8_t* end_ = nullptr;
};

// Little-endian writer into memory; the bytes go to disk with AtomicFile.
class BinWriter {
public:
    void u8(uint8_t v) { buf_.push_back(v); }
    void i32(int32_t v) { put(&v, 4); }
    void u32(uint32_t v) { put(&v, 4); }
    void i16(int16_t v) { put(&v, 2); }
    void f64(double v) { put(&v, 8); }
    void i64(int64_t v) { put(&v, 8); }
    void bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        buf_.insert(buf_.end(), b, b + n);
    }
    // Writes a length byte and at most 255 characters.
    void shortString(std::string_view s);
    // Writes int32 (length + 1), the length byte and the characters (<= 255).
    void countedString(std::string_view s);
    // Writes s cut or padded with zero bytes to exactly n bytes.
    void fixedString(std::string_view s, size_t n);

    std::vector<uint8_t>& data() { return buf_; }
    const std::vector<uint8_t>& data() const { return buf_; }
    size_t size() const { return buf_.size(); }
    void clear() { buf_.clear(); }
    void reserve(size_t n) { buf_.reserve(n); }

private:
    template <typename T> void put(const T* v, size_t n) {
        static_assert(std::endian::native == std::endian::little, "little-endian host assumed");
        const auto* b = reinterpret_cast<const uint8_t*>(v);
        buf_.insert(buf_.end(), b, b + n);
    }
    std::vector<uint8_t> buf_;
};

// Writes a file by way of a temporary file beside it, which replaces the
// target only when everything was written; on any failure the old file is
// left as it was and FileError says why.
class AtomicFile {
public:
    explicit AtomicFile(std::filesystem::path target);
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(const void* data, size_t n);
    void write(const std::vector<uint8_t>& d) { write(d.data(), d.size()); }
    // Flushes and closes the temporary file (the data are on disk); the
    // target is still the old file.  Several files written together are
    // finished first and committed afterwards.
    void finish();
    // Finishes and renames over the target.
    void commit();

private:
    [[noreturn]] void failErrno(const char* what);
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::FILE* file_ = nullptr;
    bool committed_ = false;
    bool finished_ = false;
};

// Files that belong together (a map's orientation, objects and names):
// each is written out and finished, and only when all of them are on disk
// do they take their names, so that a failure while writing any of them
// leaves every old file in place.  Files not committed are removed with
// the batch.
class FileBatch {
public:
    AtomicFile& add(std::filesystem::path target);
    bool empty() const { return files_.empty(); }
    // Renames every file over its target, in the order they were added.
    void commit();

private:
    std::vector<std::unique_ptr<AtomicFile>> files_;
};

// Writes the whole content in one go through AtomicFile; with a batch the
// file is finished and takes its name when the batch is committed.
void writeFileAtomically(const std::filesystem::path& target, const std::vector<uint8_t>& data,
                         FileBatch* batch = nullptr);

// A stem (Windows-1251) that names a file in a folder of the data: it must
// not hold a path separator, "..", a drive prefix or a control character.
// Empty is allowed (it means "no file").
bool SafeStem(std::string_view stem);

// Reads a whole file.  Throws FileError when it cannot be read.
std::vector<uint8_t> readWholeFile(const std::filesystem::path& path);

// Data come from Windows: when `p` does not exist under its exact name, the
// entry of its folder whose name matches it case-insensitively (ASCII and
// Cyrillic in UTF-8) is returned; otherwise `p` itself.
std::filesystem::path resolvePathCase(const std::filesystem::path& p);
bool fileExistsCI(const std::filesystem::path& p);

// Replaces the extension of a path (ext with its dot, e.g. ".bin").
std::filesystem::path withExtension(std::filesystem::path p, const std::string& ext);

}  // namespace dm
