// Draws a fuzzed object file with a fuzzed symbol file and names file into
// a small picture.  The input: three 16-bit lengths, then the orientation
// record, the symbol file and the names file; the rest is the object file.
#include "FuzzCommon.h"
#include "classifier/Znak.h"
#include "display/Render.h"
#include "display/Redraw.h"
#include "mapdata/MapFiles.h"
#include "names/Names.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

using namespace dm;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    size_t len[3];
    for (int i = 0; i < 3; ++i) len[i] = size_t(data[2 * i] | (data[2 * i + 1] << 8));
    size_t at = 6;
    if (len[0] + len[1] + len[2] > size - at) return 0;
    const uint8_t* orient = data + at;
    const uint8_t* ris = orient + len[0];
    const uint8_t* nam = ris + len[1];
    const uint8_t* bin = nam + len[2];
    const size_t binSize = size - at - len[0] - len[1] - len[2];
    MapDoc doc;
    std::vector<NameRef> names;
    ZnakSet znaks;
    try {
        BinReader o(orient, len[0], "fuzz.or");
        doc.Orientation = DecodeOrientation(o);
    } catch (const FileError&) {
        return 0;
    }
    try {
        znaks.LoadZnakIndex(fuzz::writeInput("fuzz.ris", ris, len[1]));
    } catch (const FileError&) {
    }
    try {
        BinReader n(nam, len[2], "fuzz.nam");
        LoadNames(n, names);
    } catch (const FileError&) {
    }
    try {
        BinReader b(bin, binSize, "fuzz.bin");
        LoadObjects(b, doc.ObjList);
    } catch (const FileError&) {
    }
    RenderContext ctx;
    ctx.znaks = &znaks;
    ctx.view.setExtent(doc.Orientation);
    if (!ctx.view.FitScaleToScreen(160)) return 0;
    const QSize s = ctx.view.imageSize();
    if (s.width() < 1 || s.height() < 1 || double(s.width()) * s.height() > 160.0 * 160.0 * 4) return 0;
    QImage image(s, QImage::Format_RGB32);
    RedrawMap(image, doc, ctx);
    // The print path too, at a factor of 3.
    RenderContext print = ctx;
    print.view.SymbolFactor = 3;
    print.PrintScaleX = print.PrintScaleY = ctx.view.Scale * 3;
    QImage printed(s * 3, QImage::Format_RGB32);
    RedrawMap(printed, doc, print);
    QPainter p(&image);
    NameState state;
    state.MapNames = names;
    DrawAllNames(p, state, ctx.view, true);
    for (const auto& n : names) DrawNameScaled(p, *n, ctx.view, 3, 3, false);
    return 0;
}
