#include "BinaryIO.h"

#include <QStringDecoder>

#include <QString>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace dm {

std::string pathText(const fs::path& p) { return p.string(); }

namespace {
constexpr size_t kChunk = 1 << 20;

std::string errnoText(int e) { return ReasonText(e); }
}  // namespace

std::string ReasonText(int e) {
    switch (e) {
        case ENOENT: return "нет такого файла или папки";
        case EACCES:
        case EPERM: return "нет прав";
        case EISDIR: return "это папка";
        case ENOTDIR: return "в пути файл стоит на месте папки";
        case ENOSPC: return "нет места на диске";
        case EDQUOT: return "превышена квота диска";
        case EFBIG: return "файл слишком велик";
        case EROFS: return "диск только для чтения";
        case EEXIST: return "такой файл уже есть";
        case ENAMETOOLONG: return "слишком длинное имя";
        case EMFILE:
        case ENFILE: return "открыто слишком много файлов";
        case EIO: return "ошибка ввода-вывода";
        case EBUSY: return "файл занят";
        case EXDEV: return "нельзя переместить на другой диск";
        case ENOMEM: return "недостаточно памяти";
        case EINVAL: return "недопустимое имя или значение";
        default: return "ошибка системы " + std::to_string(e);
    }
}

std::string ReasonText(const std::error_code& ec) {
    return ec.category() == std::generic_category() || ec.category() == std::system_category() ? ReasonText(ec.value())
                                                                                                 : ec.message();
}

// Reads a file chunk after chunk on a thread of its own, a few chunks ahead
// of the reader that decodes them: the copying out of the system's cache
// and the decoding go on side by side.  Each chunk lies behind a headroom
// where the end of the chunk before it is put, so that a value that
// straddles two chunks is read whole without copying either.
class ReadAhead {
public:
    static constexpr size_t kSlots = 5;  // two with the caller, three ahead
    static constexpr size_t kHeadroom = 256 << 10;
    // Files smaller than this are read at once by the caller.
    static constexpr uint64_t kWorthFrom = 4 * kChunk;

    ReadAhead(int fd, uint64_t from, uint64_t size, std::string name)
        : fd_(fd), name_(std::move(name)), next_(from), size_(size) {
        for (Slot& s : slots_) s.bytes.resize(kHeadroom + kChunk);
        thread_ = std::thread([this] { run(); });
    }
    ~ReadAhead() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    struct Chunk {
        uint8_t* data = nullptr;  // kHeadroom bytes of room lie before it
        size_t size = 0;          // 0: the end of the file
    };

    // The next chunk.  The chunk returned by the call before stays as it
    // is until the call after this one; the one before that goes back to
    // the thread.  An empty chunk: the end of the file.  Throws FileError
    // when reading failed.
    Chunk next() {
        std::unique_lock<std::mutex> lock(m_);
        if (taken_ >= 2) {
            slots_[(taken_ - 2) % kSlots].ready = false;
            cv_.notify_all();
        }
        Slot& s = slots_[taken_ % kSlots];
        cv_.wait(lock, [&] { return s.ready || failed_ || ended_; });
        if (!s.ready) {
            if (failed_)
                throw FileError("Ошибка чтения файла " + name_ + " (смещение " + std::to_string(failedAt_) +
                                "): " + errnoText(error_));
            return {};
        }
        ++taken_;
        return {s.bytes.data() + kHeadroom, s.size};
    }

private:
    struct Slot {
        std::vector<uint8_t> bytes;
        size_t size = 0;
        bool ready = false;
    };

    void run() {
        for (uint64_t k = 0;; ++k) {
            Slot& s = slots_[k % kSlots];
            {
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [&] { return stop_ || !s.ready; });
                if (stop_) return;
            }
            // The slot is the thread's alone until it is marked ready.
            size_t got = 0;
            int error = 0;
            const size_t want = size_t(std::min<uint64_t>(kChunk, size_ > next_ ? size_ - next_ : 0));
            while (got < want) {
                const ssize_t r = ::pread(fd_, s.bytes.data() + kHeadroom + got, want - got, off_t(next_ + got));
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) error = errno;
                if (r <= 0) break;  // an error, or the file became shorter
                got += size_t(r);
            }
            std::lock_guard<std::mutex> lock(m_);
            if (error) {
                failed_ = true;
                failedAt_ = next_ + got;
                error_ = error;
                cv_.notify_all();
                return;
            }
            next_ += got;
            if (got == 0) {
                ended_ = true;
                cv_.notify_all();
                return;
            }
            s.size = got;
            s.ready = true;
            cv_.notify_all();
        }
    }

    const int fd_;
    const std::string name_;
    uint64_t next_;  // file offset of the next chunk (the thread's)
    const uint64_t size_;
    Slot slots_[kSlots];
    uint64_t taken_ = 0;  // chunks handed out (the caller's)
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false, failed_ = false, ended_ = false;
    uint64_t failedAt_ = 0;
    int error_ = 0;
    std::thread thread_;
};

void BinReader::startAhead(uint64_t from) {
    ahead_.reset();
    if (!file_ || size_ < ReadAhead::kWorthFrom) return;
    try {
        ahead_ = std::make_unique<ReadAhead>(::fileno(file_), from, size_, name_);
    } catch (const std::system_error&) {
        ahead_.reset();  // no thread to be had: the file is read in turn
        if (std::fseek(file_, long(from), SEEK_SET) != 0)
            throw FileError("Ошибка чтения файла " + name_ + " (смещение " + std::to_string(from) + ")");
    }
}

// Puts what is left of the current chunk before the next one, or gathers
// as many chunks as the request needs.
void BinReader::refillAhead(size_t n) {
    const uint64_t pos = offset();
    const size_t keep = size_t(end_ - cur_);
    if (keep <= ReadAhead::kHeadroom) {
        const uint8_t* left = cur_;
        ReadAhead::Chunk c = ahead_->next();
        // The chunk before stays readable until the next call of next():
        // only its tail, which is copied now, is needed.
        if (keep + c.size >= n) {
            if (keep) std::memmove(c.data - keep, left, keep);
            buf_ = cur_ = c.data - keep;
            end_ = c.data + c.size;
            bufStart_ = pos;
            return;
        }
        // Too short: the request spans more than this chunk.
        if (c.size == 0) fail("неожиданный конец файла", pos);
        std::vector<uint8_t> gathered(left, left + keep);  // `left` may lie in storage_
        gathered.insert(gathered.end(), c.data, c.data + c.size);
        storage_.swap(gathered);
    } else {
        std::vector<uint8_t> gathered(cur_, end_);
        storage_.swap(gathered);
    }
    while (storage_.size() < n) {
        ReadAhead::Chunk c = ahead_->next();
        if (c.size == 0) fail("неожиданный конец файла", pos);
        storage_.insert(storage_.end(), c.data, c.data + c.size);
    }
    buf_ = cur_ = storage_.data();
    end_ = buf_ + storage_.size();
    bufStart_ = pos;
}

BinReader::BinReader(const fs::path& path) : name_(pathText(path)) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) throw FileError("Не удалось открыть файл " + name_ + ": " + errnoText(errno));
    std::error_code ec;
    auto sz = fs::file_size(path, ec);
    if (ec) {
        std::fclose(file_);
        file_ = nullptr;
        throw FileError("Не удалось прочитать файл " + name_ + ": " + ReasonText(ec));
    }
    size_ = sz;
    buf_ = cur_ = end_ = nullptr;
    startAhead(0);
}

BinReader::BinReader(const void* data, size_t size, std::string name) : name_(std::move(name)), size_(size) {
    buf_ = cur_ = static_cast<const uint8_t*>(data);
    end_ = buf_ + size;
}

BinReader::~BinReader() {
    ahead_.reset();  // the reading thread stops before the file closes
    if (file_) std::fclose(file_);
}

void BinReader::fail(const std::string& what, uint64_t at) const {
    throw FileError("Файл " + name_ + " повреждён: " + what + " (смещение " + std::to_string(at) + ")");
}

void BinReader::require(uint64_t n, const char* what) const {
    if (n > remaining()) fail(what, offset());
}

void BinReader::refill(size_t n) {
    const uint64_t pos = offset();
    if (n > size_ - std::min(pos, size_)) fail("неожиданный конец файла", pos);
    if (!file_) fail("неожиданный конец файла", pos);  // memory source: cannot happen after the check
    if (ahead_) return refillAhead(n);
    const size_t keep = size_t(end_ - cur_);
    const size_t want = std::max(n, kChunk);
    if (storage_.size() < want) {
        std::vector<uint8_t> bigger(want);
        if (keep) std::memcpy(bigger.data(), cur_, keep);
        storage_.swap(bigger);
    } else if (keep) {
        std::memmove(storage_.data(), cur_, keep);
    }
    // The stream position always equals the end of the buffered data.
    const uint64_t fileLeft = size_ - (pos + keep);
    const size_t toRead = size_t(std::min<uint64_t>(storage_.size() - keep, fileLeft));
    size_t got = toRead ? std::fread(storage_.data() + keep, 1, toRead, file_) : 0;
    if (got < toRead && std::ferror(file_))
        throw FileError("Ошибка чтения файла " + name_ + " (смещение " + std::to_string(pos + keep + got) + ")");
    buf_ = storage_.data();
    cur_ = buf_;
    end_ = buf_ + keep + got;
    bufStart_ = pos;
    if (size_t(end_ - cur_) < n) fail("неожиданный конец файла", pos);
}

void BinReader::skip(uint64_t n) {
    if (n > remaining()) fail("неожиданный конец файла", offset());
    seek(offset() + n);
}

void BinReader::seek(uint64_t off) {
    if (off > size_) fail("переход за конец файла", off);
    if (off >= bufStart_ && off <= bufStart_ + uint64_t(end_ - buf_)) {
        cur_ = buf_ + (off - bufStart_);
        return;
    }
    // Outside the buffer: only possible for files.
    if (ahead_) {
        startAhead(off);
    } else if (std::fseek(file_, long(off), SEEK_SET) != 0) {
        throw FileError("Ошибка чтения файла " + name_ + " (смещение " + std::to_string(off) + ")");
    }
    bufStart_ = off;
    buf_ = cur_ = end_ = storage_.data();
}

std::string BinReader::shortString() {
    const uint64_t at = offset();
    uint8_t len = u8();
    if (len > remaining()) fail("строка длиной " + std::to_string(len) + " выходит за конец файла", at);
    const uint8_t* p = need(len);
    return std::string(reinterpret_cast<const char*>(p), len);
}

std::string BinReader::countedString() {
    const uint64_t at = offset();
    int32_t n = i32();
    if (n < 1 || n > 256) fail("недопустимая длина строки " + std::to_string(n), at);
    if (uint64_t(n) > remaining()) fail("строка выходит за конец файла", at);
    const uint8_t* p = need(size_t(n));
    uint8_t len = p[0];
    // The length byte never reaches past the counted field.
    if (len > n - 1) fail("длина строки " + std::to_string(len) + " больше поля " + std::to_string(n - 1), at + 4);
    return std::string(reinterpret_cast<const char*>(p + 1), len);
}

std::string BinReader::countedString(size_t max, const std::string& what) {
    const uint64_t at = offset();
    if (remaining() < 4) fail("запись обрезана: " + what, at);
    const int32_t n = i32();
    if (n < 1 || uint64_t(n) > max + 1) fail("недопустимая длина поля " + what + " " + std::to_string(n), at);
    if (uint64_t(n) > remaining()) fail("запись обрезана: " + what, at);
    const uint8_t* p = need(size_t(n));
    if (p[0] > n - 1) fail("длина " + what + " больше поля", at + 4);
    return std::string(reinterpret_cast<const char*>(p + 1), p[0]);
}

std::string BinReader::fixedString(size_t n) {
    if (n > remaining()) fail("неожиданный конец файла", offset());
    const uint8_t* p = need(n);
    return std::string(reinterpret_cast<const char*>(p), n);
}

void BinWriter::shortString(std::string_view s) {
    const size_t len = std::min<size_t>(s.size(), 255);
    u8(uint8_t(len));
    bytes(s.data(), len);
}

void BinWriter::countedString(std::string_view s) {
    const size_t len = std::min<size_t>(s.size(), 255);
    i32(int32_t(len + 1));
    u8(uint8_t(len));
    bytes(s.data(), len);
}

void BinWriter::fixedString(std::string_view s, size_t n) {
    const size_t len = std::min(s.size(), n);
    bytes(s.data(), len);
    buf_.insert(buf_.end(), n - len, 0);
}

AtomicFile::AtomicFile(fs::path target) : target_(std::move(target)) {
    static std::mt19937_64 rng{std::random_device{}()};
    const fs::path dir = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 20 && !file_; ++attempt) {
        temp_ = dir / ("." + target_.filename().string() + ".tmp" + std::to_string(rng() % 1000000));
        file_ = std::fopen(temp_.c_str(), "wbx");
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_) failErrno("Не удалось создать файл ");
}

AtomicFile::~AtomicFile() {
    if (file_) std::fclose(file_);
    if (!committed_ && !temp_.empty()) {
        std::error_code ec;
        fs::remove(temp_, ec);
    }
}

void AtomicFile::failErrno(const char* what) {
    const int e = errno;
    throw FileError(std::string(what) + pathText(target_) + ": " + errnoText(e));
}

void AtomicFile::write(const void* data, size_t n) {
    if (!file_) throw FileError("Файл " + pathText(target_) + " уже закрыт");
    if (n && std::fwrite(data, 1, n, file_) != n) failErrno("Ошибка записи в файл ");
}

void AtomicFile::finish() {
    if (finished_) return;
    if (!file_) throw FileError("Файл " + pathText(target_) + " уже закрыт");
    if (std::fflush(file_) != 0) failErrno("Ошибка записи в файл ");
    // The data reach the disk before the new file takes the old one's name,
    // so that a power loss leaves the old file or the whole new one.
    if (::fsync(::fileno(file_)) != 0 && errno != EINVAL) failErrno("Ошибка записи в файл ");
    const int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) failErrno("Ошибка записи в файл ");
    finished_ = true;
}

void AtomicFile::commit() {
    if (committed_) throw FileError("Файл " + pathText(target_) + " уже закрыт");
    finish();
    std::error_code ec;
    // Keep the permissions of the file being replaced.
    auto st = fs::status(target_, ec);
    if (!ec && fs::exists(st)) fs::permissions(temp_, st.permissions(), ec);
    ec.clear();
    fs::rename(temp_, target_, ec);
    if (ec) throw FileError("Не удалось заменить файл " + pathText(target_) + ": " + ReasonText(ec));
    committed_ = true;
    // And the folder's entry for the new name.
    const fs::path dir = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

AtomicFile& FileBatch::add(fs::path target) {
    files_.push_back(std::make_unique<AtomicFile>(std::move(target)));
    return *files_.back();
}

void FileBatch::commit() {
    for (auto& f : files_) f->finish();
    for (auto& f : files_) f->commit();
}

void writeFileAtomically(const fs::path& target, const std::vector<uint8_t>& data, FileBatch* batch) {
    if (batch) {
        AtomicFile& f = batch->add(target);
        f.write(data);
        f.finish();
        return;
    }
    AtomicFile f(target);
    f.write(data);
    f.commit();
}

std::vector<uint8_t> readWholeFile(const fs::path& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw FileError("Не удалось открыть файл " + pathText(path) + ": " + errnoText(errno));
    std::vector<uint8_t> out;
    std::error_code ec;
    auto sz = fs::file_size(path, ec);
    if (!ec) out.reserve(sz);
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.insert(out.end(), chunk, chunk + got);
    const bool bad = std::ferror(f);
    std::fclose(f);
    if (bad) throw FileError("Ошибка чтения файла " + pathText(path));
    return out;
}

namespace {
// A file name without regard to letter case.  Names that are not UTF-8
// (Windows-1251 bytes, say) are compared byte by byte, each byte folded as
// Latin-1, which also folds the Cyrillic letters of Windows-1251.
QString caseKey(const std::string& name) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString q = utf8(QByteArray::fromStdString(name));
    if (!utf8.hasError()) return QLatin1Char('u') + q.toCaseFolded();
    return QLatin1Char('b') + QString::fromLatin1(name.data(), qsizetype(name.size())).toLower();
}
}  // namespace

fs::path resolvePathCase(const fs::path& p) {
    std::error_code ec;
    if (fs::exists(p, ec)) return p;
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    if (!fs::is_directory(dir, ec)) {
        if (!p.has_parent_path() || dir == p) return p;
        fs::path resolved = resolvePathCase(dir);
        if (!fs::is_directory(resolved, ec)) return p;
        dir = resolved;
    }
    const QString want = caseKey(p.filename().string());
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (caseKey(it->path().filename().string()) == want) return it->path();
    }
    return p.has_parent_path() ? dir / p.filename() : p;
}

bool SafeStem(std::string_view stem) {
    for (unsigned char c : stem)
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return false;
    return stem.find("..") == std::string_view::npos;
}

bool fileExistsCI(const fs::path& p) {
    std::error_code ec;
    return fs::exists(resolvePathCase(p), ec);
}

fs::path withExtension(fs::path p, const std::string& ext) {
    p.replace_extension(ext);
    return p;
}

}  // namespace dm
