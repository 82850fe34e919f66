#pragma once
// The compression of a printed PDF.  Qt's PDF engine deflates every stream
// at zlib's default level, which on a city map costs several times the
// drawing itself; while a FastPdfCompression lives, the streams this thread
// starts to deflate use the fastest level instead (a somewhat larger file,
// the same content).  Qt asks zlib through deflateInit_, which this program
// defines in front of zlib's own and hands on to it.
namespace dm {

class FastPdfCompression {
public:
    FastPdfCompression();
    ~FastPdfCompression();
    FastPdfCompression(const FastPdfCompression&) = delete;
    FastPdfCompression& operator=(const FastPdfCompression&) = delete;

    // True when the program's deflateInit_ stands in front of zlib's (the
    // level can then be chosen).
    static bool active();

private:
    int previous_;
};

}  // namespace dm
