#pragma once
// Making a smaller map out of the open one: every object cut to a
// free-hand lasso, or to a district outline.  Both work on pixels of the
// current view and keep the map coordinates of the vertices they keep.
#include "display/MapView.h"
#include "mapdata/MapFiles.h"
#include "mapdata/MapObjects.h"
#include "names/Names.h"

#include <QPoint>
#include <functional>
#include <vector>

namespace dm {

// The progress of a cut: rnd(k / (count - 1) x 100) for the k-th object,
// reported at every new multiple of 10.
class CutProgress {
public:
    CutProgress(const ProgressFn& fn, size_t count);
    void step(size_t k);

private:
    const ProgressFn& fn_;
    double d_;
    int last_ = -1;
};

// Cuts every object of `objects` to the lasso (pixels, not closed: the edge
// from its last point to its first is not a cutting edge).  Each object's
// vertices are replaced by those inside, with a vertex where the outline
// leaves or enters the lasso; `drawCut` gets the new outline in pixels.
// Objects that keep a vertex are appended to `collection`, in order.
void CutMapToLasso(TObjList& objects, const std::vector<QPoint>& lasso, const MapView& view,
                   std::vector<TObj*>& collection, const ProgressFn& progress = {},
                   const std::function<void(const std::vector<QPoint>&)>& drawCut = {});

// Cuts every object to the boundary polygon (pixels), finding each crossing
// by halving the segment.  Codes 3110, 3130 and 3160 are passed over (left
// unchanged, not in the result).  The inside runs stay in order, one vertex
// for each crossing; a cut area is closed again.  Each object that keeps a
// vertex is given to `drawObject` and appended to `collection`.
void CutMapToBoundary(TObjList& objects, const std::vector<QPoint>& boundary, const MapView& view,
                      std::vector<TObj*>& collection, const ProgressFn& progress = {},
                      const std::function<void(TObj&)>& drawObject = {});

// The labels whose first point lies inside the polygon, in order.
std::vector<NameRef> LabelsInside(const std::vector<NameRef>& labels, const std::vector<QPoint>& poly,
                                  const MapView& view);

// The district map of "Создать карту": `objects` (the region map) is cut in
// place to the boundary's outline in the view; the result is the boundary
// itself followed by the cut objects, and the labels whose first point lies
// inside.
struct DistrictCut {
    std::vector<TObj*> objects;
    std::vector<NameRef> labels;
};
DistrictCut CutRegionToBoundary(TObjList& objects, TObj& boundary, const MapView& view,
                                const std::vector<NameRef>& labels, const ProgressFn& progress = {},
                                const std::function<void(TObj&)>& drawObject = {});

// Writes a cut map: the objects that have vertices to `binPath`, the
// orientation record to the ".or" and, when there are labels, the labels
// to the ".nam" with the same stem (without labels an old ".nam" of that
// stem is removed).  All files are written to temporary files first and
// replace the old ones only when every one was written.
void SaveCutMapFiles(const std::filesystem::path& binPath, const std::vector<TObj*>& objects,
                     const OrientationRecord& orientation, const std::vector<NameRef>& labels);

}  // namespace dm
