#pragma once
// The map objects of a printed PDF page, written by the program itself.
//
// Qt's PDF engine writes a city's page content (over a hundred megabytes of
// path text) token by token and then deflates it on one core, which costs
// several times the drawing.  While the objects are drawn on a
// PdfMapContent device, a paint engine of our own writes the same content
// operators the PDF engine would write for them (the same numbers, state
// changes and hatch patterns), and a second thread deflates it as it grows.
// Qt's painter draws a small placeholder image where the map goes; once Qt
// has written the file, appendTo() adds an update to it: the page's content
// becomes Qt's up to the placeholder, the map, and the rest of Qt's (the
// labels), so the page is drawn exactly as if Qt had written it all.
//
// Anything the engine does not write (text, images, clipping, transparency,
// gradients, patterned pens, grey printing) leaves it unusable: the caller
// then prints the page through Qt alone.

#include <QPaintDevice>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QPainter;
class QPaintEngine;
struct z_stream_s;

namespace dm {

class PdfContentEngine;

class PdfMapContent : public QPaintDevice {
public:
    // Stands in for the device behind `qt` (a PDF printer or writer, painted
    // in colour): the same sizes, resolution and page, the same engine
    // features.
    explicit PdfMapContent(const QPainter& qt);
    ~PdfMapContent() override;
    PdfMapContent(const PdfMapContent&) = delete;
    PdfMapContent& operator=(const PdfMapContent&) = delete;

    // True while everything drawn could be written; false for a device
    // that is not a colour PDF.
    bool usable() const;
    // Why not, for the log and the tests.
    std::string whyNot() const;

    // Draws the placeholder on Qt's painter (identity transform, nothing
    // visible: one transparent pixel).
    static void drawPlaceholder(QPainter& qt);

    // The end of drawing: the rest of the content is deflated.
    void finish();
    // The job was stopped: what waits to be deflated is dropped.
    void abandon();
    // A piece could not be deflated (memory ran out, zlib refused): the
    // page cannot be made, by this device or otherwise.
    bool broken() const;
    // Told on the deflating thread before each piece of the content starts
    // (its zlib stream's allocator can be set there).
    void setDeflateHook(std::function<void(z_stream_s&)> hook);

    // Adds the map content to the PDF that Qt wrote at `pdf` (an update at
    // its end).  False, with the reason, when the file is not one page with
    // one placeholder on the expected page matrix; the file is then left as
    // it was, or cut back to its old length when the writing failed.
    bool appendTo(const std::filesystem::path& pdf, std::string& why);

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric m) const override;

private:
    std::unique_ptr<PdfContentEngine> engine_;
    int metrics_[16] = {};
    std::string pageMatrix_;  // the page's matrix as Qt writes it
};

// Writes a number as Qt's PDF engine does: whole numbers plainly, others
// with nine digits in all, cut (not rounded), and a space after.
void AppendPdfReal(std::string& out, double v);

}  // namespace dm
