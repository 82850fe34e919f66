#pragma once
// The objects of the open map together with the current object, the screen
// vertices of the current object and the orientation record.  One instance
// is owned by the main window; tests and the command-line tool make their own.

#include "MapFiles.h"
#include "MapObjects.h"
#include "ObjectIndex.h"

#include <vector>

namespace dm {

struct MapDoc {
    MapDoc() { Index.attach(&ObjList); }
    MapDoc(const MapDoc&) = delete;
    MapDoc& operator=(const MapDoc&) = delete;
    TObjList ObjList;
    // Where the objects lie; it follows ObjList (a cache: queries of a
    // constant map may bring it up to date).
    mutable ObjectIndex Index;
    std::vector<TGn> EditPoints;
    TObj* CurObj = nullptr;
    OrientationRecord Orientation;
    bool MapModified = false;
    // Keeps CurObj and EditPoints over a scope that may change them.
    struct Keep {
        explicit Keep(MapDoc& d) : doc(d), cur(d.CurObj), points(d.EditPoints) {}
        ~Keep() {
            doc.CurObj = cur;
            doc.EditPoints = points;
        }
        MapDoc& doc;
        TObj* cur;
        std::vector<TGn> points;
    };
    bool OrientationModified = false;

    // Removes an object by identity and frees it; EditPoints is cleared and
    // CurObj forgotten if it was that object.
    bool removeObject(const TObj* o);
    // Drops every object (opening another map).
    void clearObjects();

    // Hands out the next node number of the orientation record.
    int32_t takeNextNode();

    // Divides `o` at vertex k: `o` keeps vertices 0..k and ends in a fresh
    // node; a new object with vertices k..last, starting at that node and
    // ending at the old end node, is appended and returned.  Null (nothing
    // changed) when k is not a vertex of `o`.
    TObj* divideObject(TObj& o, int k);
};

}  // namespace dm
