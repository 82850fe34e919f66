#pragma once
// A zlib stream deflated in pieces on a second thread while its content
// grows: each piece is a raw deflate ending on a byte boundary (sync
// flush), the pieces one after another make one stream, and the checksum
// of the whole is combined from theirs.
//
// At most `maxWaiting` pieces wait for the worker: push() waits while it is
// behind, so the content never piles up in memory.  A piece that cannot be
// deflated (zlib refuses, memory runs out) fails the whole stream; the
// thread never ends the program.

#include <zlib.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dm {

class PieceDeflater {
public:
    explicit PieceDeflater(size_t maxWaiting = 4) : maxWaiting_(maxWaiting ? maxWaiting : 1) {}
    ~PieceDeflater();
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    // Told on the deflating thread with each piece's stream before zlib
    // starts it (its allocator can be set here).
    std::function<void(z_stream&)> beforePiece;

    // Adds a piece, waiting while `maxWaiting` pieces wait.  After a
    // failure the piece is dropped.
    void push(std::string&& piece);
    // Deflates what is left (this thread helps), then returns the pieces of
    // the stream in order: header, the deflated pieces, the end.  Empty when
    // a piece failed (error() says why).
    std::vector<std::string> finish();
    // The job was stopped: what waits is dropped, the worker ends.
    void abandon();

    bool failed() const;
    std::string error() const;
    // Pieces pushed and not yet taken by a thread.
    size_t waiting() const;

private:
    struct Job {
        std::string in, out;
        size_t length = 0;  // of `in`, which goes once deflated
        uLong adler = 0;
    };
    Job* take();
    void run(Job& job);
    // run() with any failure noted instead of thrown.
    void runSafely(Job& job);
    void work();
    void stopWorker();

    const size_t maxWaiting_;
    mutable std::mutex m_;
    std::condition_variable cv_;     // the worker: a piece or the end
    std::condition_variable room_;   // push(): room in the queue
    std::deque<std::unique_ptr<Job>> jobs_;
    size_t next_ = 0;
    bool stop_ = false;
    std::string error_;  // the first failure
    std::thread worker_;
};

}  // namespace dm
