// The object index against a scan of the list, through long random
// sequences of the list's changes.
#include "mapdata/MapDoc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <set>

using namespace dm;

namespace {

std::unique_ptr<TObj> randomObject(std::mt19937& rng) {
    std::uniform_real_distribution<double> pos(0, 1000), len(0, 40);
    auto o = std::make_unique<TObj>();
    o->Kind = KindLine;
    const int n = int(rng() % 4);  // some without vertices
    const double x = pos(rng), y = pos(rng);
    for (int i = 0; i < n; ++i) o->Points.push_back({x + len(rng), y + len(rng)});
    if (rng() % 50 == 0) o->Points.push_back({x + 900, y - 800});  // spread over many cells
    if (rng() % 40 == 0) o->Shape = ShapeCircle;
    if (rng() % 40 == 0) o->PenWidth = 60;
    return o;
}

// The objects whose vertex extent meets the box, in list order; with
// `withFar` also the far-reaching ones.
std::vector<TObj*> scan(const TObjList& list, double x0, double x1, double y0, double y1, bool withFar) {
    std::vector<TObj*> out;
    for (const auto& o : list) {
        const ObjectIndex::Box b = ObjectIndex::extentOf(*o);
        if (!b.valid()) continue;
        if ((b.xmin <= x1 && b.xmax >= x0 && b.ymin <= y1 && b.ymax >= y0) || (withFar && ObjectIndex::farReaching(*o)))
            out.push_back(o.get());
    }
    return out;
}

}  // namespace

TEST(ObjectIndex, FollowsThousandsOfRandomChangesWithoutRebuilding) {
    std::mt19937 rng(12345);
    MapDoc doc;
    for (int i = 0; i < 3000; ++i) doc.ObjList.append(randomObject(rng));
    std::vector<TObj*> got;
    doc.Index.query(0, 10, 0, 10, got);
    ASSERT_EQ(doc.Index.builds(), 1u);
    std::uniform_real_distribution<double> pos(-100, 1100), size(0, 300);
    int rebuildsExpected = 1;
    for (int step = 0; step < 4000; ++step) {
        TObjList& list = doc.ObjList;
        const size_t n = list.size();
        const int op = int(rng() % 100);
        if (op < 20 || n < 10) {
            list.append(randomObject(rng));
        } else if (op < 35) {
            list.insertAt(rng() % (n + 1), randomObject(rng));
        } else if (op < 50) {
            list.remove(list[rng() % n]);
        } else if (op < 65) {
            list.move(rng() % n, rng() % n);
        } else if (op < 90) {
            TObj* o = list[rng() % n];
            auto fresh = randomObject(rng);
            o->Points = fresh->Points;
            o->Shape = fresh->Shape;
            o->PenWidth = fresh->PenWidth;
            list.changed(o);
        } else if (op < 96) {
            // A draw-order change of the whole list.
            std::vector<size_t> order(n);
            std::iota(order.begin(), order.end(), 0);
            std::stable_partition(order.begin(), order.end(), [&](size_t i) { return list[i]->Points.size() == 2; });
            list.reorder(order);
        } else if (op < 98) {
            // Insertions at one place until the keys there run out.
            const size_t at = rng() % n;
            for (int k = 0; k < 25; ++k) list.insertAt(at + 1, randomObject(rng));
        } else {
            // A change the list is not told of object by object.
            list[rng() % n]->Points.push_back({pos(rng), pos(rng)});
            list.touch();
            ++rebuildsExpected;
        }
        const double x0 = pos(rng), y0 = pos(rng), w = size(rng), h = size(rng);
        const bool far = rng() % 2;
        doc.Index.query(x0, x0 + w, y0, y0 + h, got, far);
        ASSERT_EQ(got, scan(list, x0, x0 + w, y0, y0 + h, far)) << "step " << step << " op " << op;
        if (step % 3 == 0) {
            // Far-reaching objects answered as a filter keeps them, those of
            // them meeting the box included: only the circles with three
            // vertices or more.
            auto keep = [](const TObj& o) { return o.Shape == ShapeCircle && o.Points.size() >= 3; };
            std::vector<TObj*> expected;
            for (TObj* o : scan(list, x0, x0 + w, y0, y0 + h, true))
                if (!ObjectIndex::farReaching(*o) ? true : keep(*o)) expected.push_back(o);
            // ... and the objects that are not far-reaching only when they meet the box.
            std::vector<TObj*> meeting = scan(list, x0, x0 + w, y0, y0 + h, false);
            std::erase_if(expected, [&](TObj* o) {
                return !ObjectIndex::farReaching(*o) && std::find(meeting.begin(), meeting.end(), o) == meeting.end();
            });
            int asked = 0;
            doc.Index.query(x0, x0 + w, y0, y0 + h, got, [&](const TObj& o) {
                ++asked;
                return keep(o);
            });
            ASSERT_EQ(got, expected) << "step " << step << " op " << op;
            ASSERT_EQ(asked, std::count_if(list.begin(), list.end(), [](const auto& o) {
                          return ObjectIndex::farReaching(*o) && ObjectIndex::extentOf(*o).valid();
                      })) << "step " << step;
        }
        if (step % 97 == 0) {
            // Keys grow along the list.
            for (size_t i = 1; i < list.size(); ++i) ASSERT_LT(doc.Index.key(list[i - 1]), doc.Index.key(list[i])) << i;
        }
    }
    EXPECT_EQ(doc.Index.builds(), uint64_t(rebuildsExpected));
    // A box over everything answers the whole list.
    doc.Index.query(-1e9, 1e9, -1e9, 1e9, got);
    EXPECT_EQ(got, scan(doc.ObjList, -1e9, 1e9, -1e9, 1e9, false));
}

TEST(ObjectIndex, CopiesHaveNoPlaceAndAssignmentKeepsIt) {
    MapDoc doc;
    auto a = std::make_unique<TObj>();
    a->Points = {{1, 1}};
    TObj* in = doc.ObjList.append(std::move(a));
    std::vector<TObj*> got;
    doc.Index.query(0, 2, 0, 2, got);
    ASSERT_EQ(got.size(), 1u);
    const uint32_t slot = in->Slot.get();
    TObj copy = *in;
    EXPECT_EQ(copy.Slot.get(), IndexSlot::kNone);
    copy.Points = {{50, 50}};
    *in = copy;  // content restored from a snapshot
    EXPECT_EQ(in->Slot.get(), slot);
    doc.ObjList.changed(in);
    doc.Index.query(49, 51, 49, 51, got);
    EXPECT_EQ(got, std::vector<TObj*>{in});
    doc.Index.query(0, 2, 0, 2, got);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(doc.Index.builds(), 1u);
    EXPECT_TRUE(sameObject(copy, *in));
}

TEST(ObjectIndex, AListTakenOverIsBuiltAnew) {
    MapDoc doc;
    TObjList other;
    auto a = std::make_unique<TObj>();
    a->Points = {{5, 5}};
    other.append(std::move(a));
    std::vector<TObj*> got;
    doc.Index.query(0, 10, 0, 10, got);
    EXPECT_TRUE(got.empty());
    doc.ObjList.swap(other);
    doc.Index.query(0, 10, 0, 10, got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], doc.ObjList[0]);
    // Changes of the other list do not reach the map's index.
    auto b = std::make_unique<TObj>();
    b->Points = {{6, 6}};
    other.append(std::move(b));
    doc.Index.query(0, 10, 0, 10, got);
    EXPECT_EQ(got.size(), 1u);
}

TEST(ObjectIndex, FarOffAndDamagedCoordinates) {
    MapDoc doc;
    auto add = [&](std::vector<TXY> pts) {
        auto o = std::make_unique<TObj>();
        o->Points = std::move(pts);
        return doc.ObjList.append(std::move(o));
    };
    TObj* far = add({{-1e308, -1e308}, {1e308, 1e308}});
    TObj* nan = add({{std::nan(""), 1}, {5, 5}});
    TObj* near = add({{6, 6}});
    std::vector<TObj*> got;
    doc.Index.query(4, 7, 4, 7, got);
    EXPECT_EQ(got, (std::vector<TObj*>{far, nan, near}));
    doc.Index.query(std::nan(""), 1, 2, 3, got);
    EXPECT_EQ(got.size(), 3u);
    doc.Index.query(1e300, 2e300, 1e300, 2e300, got);
    EXPECT_EQ(got, std::vector<TObj*>{far});
}

TEST(ObjectIndex, AdoptsOnlyAnIndexBuiltOverTheListHandedOverAsItIs) {
    // Twenty small objects along a row; an index built over them elsewhere.
    auto fill = [](TObjList& l) {
        for (int i = 0; i < 20; ++i) {
            auto o = std::make_unique<TObj>();
            o->Number = i;
            o->Points = {{double(i), 0}, {double(i) + 0.5, 0.5}};
            l.append(std::move(o));
        }
    };
    auto numbers = [](const std::vector<TObj*>& v) {
        std::vector<int> out;
        for (const TObj* o : v) out.push_back(o->Number);
        return out;
    };
    {
        // The same order: taken over, no build of its own.
        TObjList read;
        fill(read);
        ObjectIndex built;
        built.attach(&read);
        built.ensure();
        MapDoc doc;
        doc.ObjList.append(std::make_unique<TObj>());  // what was open
        const uint64_t before = doc.Index.builds();
        doc.Index.adopt(built, read);
        EXPECT_EQ(doc.ObjList.size(), 20u);
        EXPECT_EQ(read.size(), 1u);
        std::vector<TObj*> got;
        doc.Index.query(2.2, 6.1, -1, 1, got);
        EXPECT_EQ(numbers(got), (std::vector<int>{2, 3, 4, 5, 6}));
        EXPECT_EQ(doc.Index.builds(), before + 1);
        // It follows its new list from there.
        auto extra = std::make_unique<TObj>();
        extra->Number = 99;
        extra->Points = {{4, 0}, {4.5, 0.5}};
        doc.ObjList.append(std::move(extra));
        got.clear();
        doc.Index.query(2.2, 6.1, -1, 1, got);
        EXPECT_EQ(numbers(got), (std::vector<int>{2, 3, 4, 5, 6, 20}));
        EXPECT_EQ(doc.Index.builds(), before + 1);
    }
    {
        // Built over another list than the one handed over: built anew.
        TObjList read, other;
        fill(read);
        fill(other);
        ObjectIndex built;
        built.attach(&other);
        built.ensure();
        MapDoc doc;
        const uint64_t before = doc.Index.builds();
        doc.Index.adopt(built, read);
        std::vector<TObj*> got;
        doc.Index.query(2.2, 6.1, -1, 1, got);
        EXPECT_EQ(got.size(), 5u);
        EXPECT_TRUE(got.empty() || got[0] == doc.ObjList[2]);
        EXPECT_EQ(doc.Index.builds(), before + 1);  // its own build
    }
    {
        // The list went out of that order after the index stopped following
        // it: the index builds anew and answers in the list's order.
        TObjList read;
        fill(read);
        ObjectIndex built;
        built.attach(&read);
        built.ensure();
        read.setObserver(nullptr);  // not told of what follows
        std::vector<size_t> order(20);
        for (size_t i = 0; i < 20; ++i) order[i] = 19 - i;
        read.reorder(order);
        MapDoc doc;
        doc.Index.adopt(built, read);
        std::vector<TObj*> got;
        doc.Index.query(2.2, 6.1, -1, 1, got);
        EXPECT_EQ(numbers(got), (std::vector<int>{6, 5, 4, 3, 2}));
    }
}

TEST(ObjectIndex, AnswersInListOrderAndKeepsNotesUntilTheirObjectChanges) {
    // Objects appended, removed and changed (the keys keep following the
    // slots), then moved in the draw order as well: every query answers as
    // the scan of the list, and each far-reaching object's note is handed
    // back as the filter left it until that object is changed.
    std::mt19937 rng(777);
    MapDoc doc;
    for (int i = 0; i < 2000; ++i) doc.ObjList.append(randomObject(rng));
    std::set<const TObj*> noted;
    auto fingerprint = [](const TObj& o, ObjectIndex::FarNote& n) {
        n.v[0] = double(o.Points.size());
        n.v[1] = o.Points.empty() ? 0 : o.Points[0].X;
        n.v[2] = o.PenWidth;
        n.v[3] = o.Shape;
    };
    int asked = 0, filled = 0;
    std::uniform_real_distribution<double> pos(-100, 1100), size(0, 300);
    std::vector<TObj*> got;
    for (int step = 0; step < 3000; ++step) {
        TObjList& list = doc.ObjList;
        const size_t n = list.size();
        const int op = int(rng() % 100);
        if (op < 30) {
            list.append(randomObject(rng));
        } else if (op < 50 && n > 100) {
            TObj* o = list[rng() % n];
            noted.erase(o);
            list.remove(o);
        } else if (op < 80) {
            TObj* o = list[rng() % n];
            auto fresh = randomObject(rng);
            o->Points = fresh->Points;
            o->Shape = fresh->Shape;
            o->PenWidth = fresh->PenWidth;
            noted.erase(o);
            list.changed(o);
        } else if (op < 82 && step > 2000) {
            list.move(rng() % n, rng() % n);
        }
        const double x0 = pos(rng), y0 = pos(rng), w = size(rng), h = size(rng);
        auto keep = [](const TObj& o) { return o.Shape == ShapeCircle && o.Points.size() >= 3; };
        doc.Index.query(x0, x0 + w, y0, y0 + h, got, [&](const TObj& o, ObjectIndex::FarNote& note) {
            ++asked;
            if (note.filled) {
                EXPECT_TRUE(noted.count(&o)) << "a note outlived its object's change, step " << step;
                ObjectIndex::FarNote now;
                fingerprint(o, now);
                EXPECT_TRUE(std::equal(now.v, now.v + 4, note.v)) << "step " << step;
            } else {
                EXPECT_FALSE(noted.count(&o)) << "a note was lost, step " << step;
                fingerprint(o, note);
                note.filled = true;
                noted.insert(&o);
                ++filled;
            }
            return keep(o);
        });
        std::vector<TObj*> expected;
        for (TObj* o : scan(list, x0, x0 + w, y0, y0 + h, true))
            if (ObjectIndex::farReaching(*o) ? keep(*o) : true) expected.push_back(o);
        const std::vector<TObj*> meeting = scan(list, x0, x0 + w, y0, y0 + h, false);
        std::erase_if(expected, [&](TObj* o) {
            return !ObjectIndex::farReaching(*o) && std::find(meeting.begin(), meeting.end(), o) == meeting.end();
        });
        ASSERT_EQ(got, expected) << "step " << step;
        if (step % 500 == 0) {
            // And the plain queries, with and without the far-reaching ones.
            doc.Index.query(x0, x0 + w, y0, y0 + h, got, step % 1000 == 0);
            ASSERT_EQ(got, scan(list, x0, x0 + w, y0, y0 + h, step % 1000 == 0)) << "step " << step;
        }
    }
    EXPECT_EQ(doc.Index.builds(), 1u);
    EXPECT_GT(asked, 100000);
    EXPECT_LT(filled * 20, asked);

    // Many slots: small boxes over a few whole cells find few objects
    // spread far apart in the list (each once, however many cells it
    // covers), between boxes that find thousands.
    MapDoc many;
    std::uniform_real_distribution<double> spot(0, 1000), side(0, 12);
    for (int i = 0; i < 60000; ++i) {
        auto o = std::make_unique<TObj>();
        const double x = spot(rng), y = spot(rng);
        o->Points = {{x, y}, {x + side(rng), y + side(rng)}};
        if (i % 50 == 0) o->Shape = ShapeCircle;
        many.ObjList.append(std::move(o));
    }
    for (int k = 0; k < 400; ++k) {
        const bool big = k % 4 == 3;
        const double w = big ? 300 : 3 + 20 * spot(rng) / 1000, x0 = spot(rng), y0 = spot(rng);
        if (k % 2) {
            many.Index.query(x0, x0 + w, y0, y0 + w, got);
            ASSERT_EQ(got, scan(many.ObjList, x0, x0 + w, y0, y0 + w, false)) << k;
        } else {
            many.Index.query(x0, x0 + w, y0, y0 + w, got,
                             ObjectIndex::NotedFarFilter([](const TObj&, ObjectIndex::FarNote&) { return false; }));
            std::vector<TObj*> expected;
            for (TObj* o : scan(many.ObjList, x0, x0 + w, y0, y0 + w, false))
                if (!ObjectIndex::farReaching(*o)) expected.push_back(o);
            ASSERT_EQ(got, expected) << k;
        }
    }
    EXPECT_EQ(many.Index.builds(), 1u);

    // Objects moved far beyond the grid wait in its border cells: a box
    // over such a whole cell, and not over them, does not answer them.
    MapDoc fresh;
    for (int i = 0; i < 2000; ++i) fresh.ObjList.append(randomObject(rng));
    fresh.Index.query(0, 1, 0, 1, got);
    const std::pair<double, double> away[] = {{5e4, 5e4}, {-5e4, 5e4}, {5e4, -5e4}, {-5e4, -5e4}, {5e4, 500}};
    for (const auto& [x, y] : away) {
        TObj* o = fresh.ObjList[size_t(rng() % 2000)];
        o->Points = {{x, y}, {x + 1, y + 1}};
        fresh.ObjList.changed(o);
    }
    for (const double x0 : {-3e3, 600.0})
        for (const double y0 : {-3e3, 600.0}) {
            fresh.Index.query(x0, x0 + 2400, y0, y0 + 2400, got);
            EXPECT_EQ(got, scan(fresh.ObjList, x0, x0 + 2400, y0, y0 + 2400, false)) << x0 << " " << y0;
        }
}
