#include "MapDoc.h"

namespace dm {

bool MapEvent::drops(const TObj* o) const {
    if (everything()) return true;
    for (const TObj* g : gone)
        if (g == o) return true;
    return false;
}

int MapEvents::subscribe(Handler h) {
    handlers_.push_back(std::make_shared<Entry>(Entry{next_, std::move(h)}));
    return next_++;
}

void MapEvents::unsubscribe(int key) {
    std::erase_if(handlers_, [key](const auto& p) {
        if (p->key != key) return false;
        p->live = false;
        return true;
    });
}

void MapEvents::notify(const MapEvent& e) const {
    // A handler may subscribe or unsubscribe others: go through a copy, and
    // skip those that went meanwhile (their owners may be gone).
    const auto handlers = handlers_;
    for (const auto& p : handlers)
        if (p->live && p->handler) p->handler(e);
}

bool MapDoc::removeObject(const TObj* o) {
    if (ObjList.indexOf(o) < 0) return false;
    events.notify(MapEvent{MapEvent::Removed, {o}});
    if (CurObj == o) CurObj = nullptr;
    EditPoints.clear();
    return ObjList.remove(o);
}

void MapDoc::clearObjects() {
    CurObj = nullptr;
    EditPoints.clear();
    ObjList.clear();
}

int32_t MapDoc::takeNextNode() {
    const int32_t n = Orientation.NextNode;
    ++Orientation.NextNode;
    OrientationModified = true;
    return n;
}

TObj* MapDoc::divideObject(TObj& o, int k) {
    if (k < 0 || k >= o.PointCount()) return nullptr;
    std::vector<TXY> all = o.Points.vec();
    const int32_t oldEnd = o.EndNode;
    o.Points.assign(all.begin(), all.begin() + k + 1);
    o.EndNode = takeNextNode();
    auto piece = std::make_unique<TObj>();
    piece->StartNode = o.EndNode;
    piece->EndNode = oldEnd;
    piece->Code = o.Code;
    piece->Kind = o.Kind;
    piece->copyStyle(o);
    piece->Shape = 0;
    piece->Points.assign(all.begin() + k, all.end());
    MapModified = true;
    return ObjList.append(std::move(piece));
}

}  // namespace dm
