#pragma once
// The printed map: the whole map width across the page, the header
// "Д А Р В Е Н Т", every object on the print path (symbol factor 4) and,
// when asked, the labels.

#include "Render.h"

#include "mapdata/MapDoc.h"

#include <filesystem>
#include <functional>
#include <vector>

class QPainter;
class QPrinter;
struct z_stream_s;

namespace dm {

class PdfMapContent;

constexpr double kPrintSymbolFactor = 4;

struct PrintJob {
    // Pixels of the page across (the printer's horizontal resolution) and
    // down (0: not known, the map then fills the page's width).
    int deviceWidth = 0;
    int deviceHeight = 0;
    // The codes of the layer display while it is on (each object drawn once
    // per occurrence of its code); null: every object.
    const std::vector<int>* layerFilter = nullptr;
    // Draws the labels with the print factors (rows, columns per map unit).
    std::function<void(QPainter&, double psx, double psy)> drawLabels;
    // Asked now and then; true stops the job (Esc while printing).
    std::function<bool()> aborted;
    // Told on the thread that deflates the map's PDF content before each
    // piece (see PdfMapContent::setDeflateHook).
    std::function<void(z_stream_s&)> deflateHook;
};

// Draws the page; the context's view gives the map extent, the screen
// state is not touched.  Returns false when the job was stopped.  With
// `content`, the map objects go into it (the painter gets its placeholder);
// they stop there once it cannot write one of them.
bool PrintMap(QPainter& p, MapDoc& doc, const RenderContext& screen, const PrintJob& job,
              PdfMapContent* content = nullptr);

enum class PrintResult { Printed, Stopped, NotStarted, NotFinished };

// Prints the page on the printer from its beginning to its end.  When the
// printer writes the PDF file `pdfFile` (empty: anything else), the map
// objects are written by the program (PdfMapContent) and added to the file
// after Qt has written it; should that not work out, the page is printed
// once more through Qt alone.  A stopped job is aborted on the printer.
PrintResult PrintPage(QPrinter& printer, const std::filesystem::path& pdfFile, MapDoc& doc, const RenderContext& screen,
                      const PrintJob& job);

// The part of the painter's coordinates that can show on the sheet (the
// whole paper of a printer, margins included); empty when unknown (a
// transformed painter).
QRect SheetRect(const QPainter& p);

// Where the map starts on the page: below the header (at 50, of the given
// height) and a quarter of its height more.
int MapTopOnPage(int headerHeight);

// The print factor: page pixels per map unit across the map width.
double PrintFactor(int deviceWidth, const MapView& view);
// The factor that puts the whole map on the page: the map's width across
// the page and its height below `mapTop`, whichever fits less (the width
// alone when the page's height is not known).
double PrintFactorOnPage(int deviceWidth, int deviceHeight, int mapTop, const MapView& view);

// A PDF printed into a file: the job writes a temporary file beside the
// target, which replaces the target only when it is complete, so that a
// full disk or a size limit leaves the old file as it was.
class PdfTarget {
public:
    // FileError when the target's folder is missing or the target is a folder.
    explicit PdfTarget(std::filesystem::path target);
    ~PdfTarget();  // removes the temporary file unless committed
    PdfTarget(const PdfTarget&) = delete;
    PdfTarget& operator=(const PdfTarget&) = delete;
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temp() const { return temp_; }
    // The job ended well and the file is a whole PDF (its last line is the
    // "%%EOF" marker): it goes to disk and takes the target's name.
    // Otherwise FileError naming the target; the old file stays.
    void commit();

private:
    std::filesystem::path target_, temp_;
    bool committed_ = false;
};

}  // namespace dm
