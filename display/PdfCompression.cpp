#include "PdfCompression.h"

#include <dlfcn.h>
#include <zlib.h>

namespace {
// The level forced on this thread's deflate streams, -2: none.
thread_local int forcedLevel = -2;
bool seen = false;  // our deflateInit_ was called

using InitFn = int (*)(z_streamp, int, const char*, int);
InitFn zlibInit() {
    static const InitFn real = reinterpret_cast<InitFn>(dlsym(RTLD_NEXT, "deflateInit_"));
    return real;
}
}  // namespace

// Stands in front of zlib's deflateInit_ (Qt's PDF engine and anyone else
// in the process); the level is changed only inside a FastPdfCompression.
extern "C" int deflateInit_(z_streamp strm, int level, const char* version, int streamSize) {
    seen = true;
    const InitFn real = zlibInit();
    if (!real) return Z_VERSION_ERROR;
    return real(strm, forcedLevel >= 0 && level == Z_DEFAULT_COMPRESSION ? forcedLevel : level, version, streamSize);
}

namespace dm {

FastPdfCompression::FastPdfCompression() : previous_(forcedLevel) { forcedLevel = Z_BEST_SPEED; }
FastPdfCompression::~FastPdfCompression() { forcedLevel = previous_; }

bool FastPdfCompression::active() {
    if (!seen) {
        // One stream made through whatever deflateInit_ this process uses.
        z_stream z{};
        if (deflateInit(&z, Z_DEFAULT_COMPRESSION) == Z_OK) deflateEnd(&z);
    }
    return seen && zlibInit() != nullptr;
}

}  // namespace dm
