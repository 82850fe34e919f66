#pragma once
// The map objects of a printed PDF page, written by the program itself.
//
// Qt's PDF engine writes a city's page content (over a hundred megabytes of
// path text) token by token and then deflates it on one core, which costs
// several times the drawing.  While the objects are drawn on a
// PdfMapForm's device, a paint engine of our own writes the same content
// operators the PDF engine would write for them (the same numbers, state
// changes and hatch patterns), and a second thread deflates it as it grows.
// Qt's painter draws a small placeholder image where the map goes; once Qt
// has written the file, appendTo() adds an update to it that replaces the
// placeholder with a form holding the map content.  The page keeps its order
// (header, map, labels) and its picture.
//
// Anything the engine does not write (text, images, clipping, transparency,
// gradients, patterned pens, grey printing) leaves the form unusable: the
// caller then draws the objects through Qt as before.

#include <QPaintDevice>

#include <filesystem>
#include <memory>
#include <string>

class QPainter;
class QPaintEngine;

namespace dm {

class PdfContentEngine;

class PdfMapForm : public QPaintDevice {
public:
    // Stands in for the device behind `qt` (a PDF printer or writer, painted
    // in colour): the same sizes and resolution, the same engine features.
    explicit PdfMapForm(const QPainter& qt);
    ~PdfMapForm() override;
    PdfMapForm(const PdfMapForm&) = delete;
    PdfMapForm& operator=(const PdfMapForm&) = delete;

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

    // Adds the map content to the PDF that Qt wrote at `pdf` (an update at
    // its end).  False, with the reason, when the file is not one whose
    // placeholder can be found; the file is then left as it was, or cut
    // back to its old length when the writing failed.
    bool appendTo(const std::filesystem::path& pdf, std::string& why);

    // The uncompressed content (for tests): everything drawn so far, when
    // kept (keepText set before drawing).
    void keepText(bool keep);
    const std::string& text() const;

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric m) const override;

private:
    std::unique_ptr<PdfContentEngine> engine_;
    int metrics_[16] = {};
};

// Writes a number as Qt's PDF engine does: whole numbers plainly, others
// with nine digits in all, cut (not rounded), and a space after.
void AppendPdfReal(std::string& out, double v);

}  // namespace dm
