#include "PieceDeflater.h"

#include <new>
#include <stdexcept>

namespace dm {

PieceDeflater::~PieceDeflater() { stopWorker(); }

void PieceDeflater::push(std::string&& piece) {
    auto job = std::make_unique<Job>();
    job->in = std::move(piece);
    {
        std::unique_lock<std::mutex> lock(m_);
        room_.wait(lock, [&] { return !error_.empty() || jobs_.size() - next_ < maxWaiting_; });
        if (!error_.empty()) return;
        jobs_.push_back(std::move(job));
        if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    }
    cv_.notify_one();
}

PieceDeflater::Job* PieceDeflater::take() {
    Job* job = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (error_.empty() && next_ < jobs_.size()) job = jobs_[next_++].get();
    }
    if (job) room_.notify_all();
    return job;
}

void PieceDeflater::run(Job& job) {
    job.adler = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(job.in.data()), uInt(job.in.size()));
    z_stream z{};
    if (beforePiece) beforePiece(z);
    const int init = deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    if (init != Z_OK) throw std::runtime_error("zlib не начал сжатие (код " + std::to_string(init) + ")");
    struct End {
        z_stream& z;
        ~End() { deflateEnd(&z); }
    } end{z};
    const size_t bound = deflateBound(&z, uLong(job.in.size())) + 64;
    job.out.resize(bound);
    z.next_in = reinterpret_cast<Bytef*>(job.in.data());
    z.avail_in = uInt(job.in.size());
    size_t used = 0;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(job.out.data() + used);
        z.avail_out = uInt(job.out.size() - used);
        const int r = deflate(&z, Z_SYNC_FLUSH);
        if (r != Z_OK && r != Z_BUF_ERROR)
            throw std::runtime_error("zlib не сжал часть страницы (код " + std::to_string(r) + ")");
        used = job.out.size() - z.avail_out;
        if (z.avail_in == 0 && z.avail_out > 0) break;
        // The bound holds for any input; more room is a last resort.
        if (job.out.size() >= 4 * bound) throw std::runtime_error("zlib не сжал часть страницы");
        job.out.resize(job.out.size() * 2);
    }
    job.out.resize(used);
    job.length = job.in.size();
    std::string().swap(job.in);
}

void PieceDeflater::runSafely(Job& job) {
    std::string why;
    try {
        run(job);
        return;
    } catch (const std::bad_alloc&) {
        why = "не хватило памяти для сжатия страницы";
    } catch (const std::exception& e) {
        why = e.what();
    } catch (...) {
        why = "сжатие страницы прервано";
    }
    {
        std::lock_guard<std::mutex> lock(m_);
        if (error_.empty()) error_ = why;
    }
    room_.notify_all();
    cv_.notify_all();
}

void PieceDeflater::work() {
    for (;;) {
        Job* job = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_);
            cv_.wait(lock, [&] { return stop_ || !error_.empty() || next_ < jobs_.size(); });
            if (!error_.empty()) return;
            if (next_ < jobs_.size()) job = jobs_[next_++].get();
            else if (stop_) return;
        }
        room_.notify_all();
        runSafely(*job);
    }
}

std::vector<std::string> PieceDeflater::finish() {
    while (Job* job = take()) runSafely(*job);
    stopWorker();
    std::vector<std::string> out;
    if (failed()) {
        jobs_.clear();
        next_ = 0;
        return out;
    }
    out.emplace_back("\x78\x01", 2);
    uLong adler = adler32(0, nullptr, 0);
    for (auto& job : jobs_) {
        adler = adler32_combine(adler, job->adler, z_off_t(job->length));
        out.push_back(std::move(job->out));
    }
    // An empty last block, then the checksum, high byte first.
    const char tail[6] = {'\x03', '\x00', char(adler >> 24), char(adler >> 16), char(adler >> 8), char(adler)};
    out.emplace_back(tail, 6);
    jobs_.clear();
    next_ = 0;
    return out;
}

void PieceDeflater::abandon() {
    {
        std::lock_guard<std::mutex> lock(m_);
        jobs_.erase(jobs_.begin() + std::ptrdiff_t(next_), jobs_.end());
    }
    room_.notify_all();
    stopWorker();
    jobs_.clear();
    next_ = 0;
}

bool PieceDeflater::failed() const {
    std::lock_guard<std::mutex> lock(m_);
    return !error_.empty();
}

std::string PieceDeflater::error() const {
    std::lock_guard<std::mutex> lock(m_);
    return error_;
}

size_t PieceDeflater::waiting() const {
    std::lock_guard<std::mutex> lock(m_);
    return jobs_.size() - next_;
}

void PieceDeflater::stopWorker() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    if (worker_.joinable()) worker_.join();
    std::lock_guard<std::mutex> lock(m_);
    stop_ = false;
}

}  // namespace dm
