#pragma once
// The vector object model: vertices, objects and the ordered object list
// (which is also the drawing order), and the open map's object state.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dm {

// One vertex in map coordinates: X northing (up), Y easting (right); for
// geographic maps latitude and longitude in radians.
struct TXY {
    double X = 0;
    double Y = 0;
    bool operator==(const TXY&) const = default;
};

// Coordinates that are not numbers or infinite come only from damaged
// files.  Such records are kept as read (they save back unchanged) but are
// neither drawn nor found on the map.
inline bool FinitePoint(double x, double y) { return std::isfinite(x) && std::isfinite(y); }
inline bool AllFinite(std::span<const TXY> pts) {
    for (const TXY& p : pts)
        if (!FinitePoint(p.X, p.Y)) return false;
    return true;
}

// The vertices of an object: a vector of TXY in 16 bytes.  The vertices
// read from a map file lie in a shared block beside their object (see
// Blocks.h); they are changed there in place, and moved to memory of their
// own as soon as they grow.
class PointList {
public:
    using value_type = TXY;
    using size_type = size_t;
    using iterator = TXY*;
    using const_iterator = const TXY*;
    using reference = TXY&;
    using const_reference = const TXY&;

    PointList() = default;
    PointList(std::initializer_list<TXY> l) { assign(l.begin(), l.end()); }
    PointList(const std::vector<TXY>& v) { assign(v.begin(), v.end()); }
    template <typename It> PointList(It first, It last) { assign(first, last); }
    PointList(const PointList& o) { assign(o.begin(), o.end()); }
    PointList(PointList&& o) noexcept : data_(o.data_), size_(o.size_), cap_(o.cap_) {
        o.data_ = nullptr;
        o.size_ = o.cap_ = 0;
    }
    PointList& operator=(const PointList& o) {
        if (this != &o) assign(o.begin(), o.end());
        return *this;
    }
    PointList& operator=(PointList&& o) noexcept {
        if (this != &o) {
            PointList(std::move(o)).swap(*this);
        }
        return *this;
    }
    PointList& operator=(const std::vector<TXY>& v) {
        assign(v.begin(), v.end());
        return *this;
    }
    PointList& operator=(std::initializer_list<TXY> l) {
        assign(l.begin(), l.end());
        return *this;
    }
    ~PointList() { freeStorage(); }

    // Vertices of `count` at `piece`, a piece of count * 16 bytes cut by a
    // BlockCutter; the list gives it back.
    static PointList inBlock(TXY* piece, uint32_t count) {
        PointList l;
        l.data_ = piece;
        l.size_ = count;
        l.cap_ = count | kInBlock;
        return l;
    }
    bool isInBlock() const { return (cap_ & kInBlock) != 0; }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    size_t capacity() const { return cap_ & ~kInBlock; }
    TXY* data() { return data_; }
    const TXY* data() const { return data_; }
    TXY& operator[](size_t i) { return data_[i]; }
    const TXY& operator[](size_t i) const { return data_[i]; }
    TXY& front() { return data_[0]; }
    const TXY& front() const { return data_[0]; }
    TXY& back() { return data_[size_ - 1]; }
    const TXY& back() const { return data_[size_ - 1]; }
    TXY* begin() { return data_; }
    TXY* end() { return data_ + size_; }
    const TXY* begin() const { return data_; }
    const TXY* end() const { return data_ + size_; }
    operator std::span<const TXY>() const { return {data_, size_}; }
    std::vector<TXY> vec() const { return {begin(), end()}; }

    void reserve(size_t n) {
        if (n > capacity()) regrow(n);
    }
    void shrink_to_fit() {
        if (!isInBlock() && capacity() > size_) regrow(size_);
    }
    void clear() { size_ = 0; }
    void push_back(const TXY& p) {
        if (size_ < capacity())
            data_[size_++] = p;
        else
            growAndPush(p);
    }
    template <typename... A> TXY& emplace_back(A&&... a) {
        push_back(TXY{std::forward<A>(a)...});
        return back();
    }
    void pop_back() { --size_; }
    void resize(size_t n, const TXY& fill = TXY{});
    template <typename It> void assign(It first, It last) {
        if constexpr (std::contiguous_iterator<It>) {
            assignFrom(std::to_address(first), size_t(last - first));
        } else {
            const std::vector<TXY> items(first, last);
            assignFrom(items.data(), items.size());
        }
    }
    void assign(size_t n, const TXY& p) {
        clear();
        resize(n, p);
    }
    TXY* erase(const TXY* pos) { return eraseAt(size_t(pos - data_), 1); }
    TXY* erase(const TXY* first, const TXY* last) { return eraseAt(size_t(first - data_), size_t(last - first)); }
    TXY* insert(const TXY* pos, const TXY& p) { return insertFrom(size_t(pos - data_), &p, 1); }
    template <typename It> TXY* insert(const TXY* pos, It first, It last) {
        if constexpr (std::contiguous_iterator<It>) {
            return insertFrom(size_t(pos - data_), std::to_address(first), size_t(last - first));
        } else {
            const std::vector<TXY> items(first, last);
            return insertFrom(size_t(pos - data_), items.data(), items.size());
        }
    }
    void swap(PointList& o) noexcept {
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(cap_, o.cap_);
    }

    bool operator==(const PointList& o) const { return std::equal(begin(), end(), o.begin(), o.end()); }
    bool operator==(const std::vector<TXY>& v) const { return std::equal(begin(), end(), v.begin(), v.end()); }

private:
    static constexpr uint32_t kInBlock = 0x80000000u;
    static constexpr size_t kMax = 0x7FFFFFFFu;
    void grow(size_t need) { regrow(std::max<size_t>(need, std::min<size_t>(kMax, capacity() * 2))); }
    // Moves the vertices to memory of their own for n (>= size) of them.
    void regrow(size_t n);
    void freeStorage() noexcept;
    void growAndPush(const TXY& p);
    // The sources may lie in this list.
    void assignFrom(const TXY* src, size_t n);
    TXY* insertFrom(size_t at, const TXY* src, size_t n);
    TXY* eraseAt(size_t at, size_t n);

    TXY* data_ = nullptr;
    uint32_t size_ = 0;
    uint32_t cap_ = 0;  // capacity; kInBlock: the vertices lie in a block
};

// One vertex of the current object in pixels of the map image.
struct TGn {
    int32_t PX = 0;  // column
    int32_t PY = 0;  // row
    bool operator==(const TGn&) const = default;
};

// A Pascal-style short string of at most 255 bytes, one pointer wide (an
// empty string allocates nothing): most objects carry no name, and a map
// holds up to millions of objects.
class ShortString {
public:
    ShortString() = default;
    ShortString(std::string_view s) { assign(s.data(), s.size()); }
    ShortString(const char* s) : ShortString(std::string_view(s)) {}
    ShortString(const std::string& s) : ShortString(std::string_view(s)) {}
    ShortString(const ShortString& o) { assign(o.data(), o.size()); }
    ShortString(ShortString&&) noexcept = default;
    ShortString& operator=(const ShortString& o) {
        if (this != &o) assign(o.data(), o.size());
        return *this;
    }
    ShortString& operator=(ShortString&&) noexcept = default;
    ShortString& operator=(std::string_view s) {
        assign(s.data(), s.size());
        return *this;
    }
    ShortString& operator=(const std::string& s) { return *this = std::string_view(s); }
    ShortString& operator=(const char* s) { return *this = std::string_view(s); }

    // Keeps at most the first 255 bytes.
    void assign(const char* p, size_t n) {
        if (n > 255) n = 255;
        if (n == 0) {
            buf_.reset();
            return;
        }
        std::unique_ptr<char[]> b(new char[n + 1]);
        b[0] = char(static_cast<unsigned char>(n));
        std::memcpy(b.get() + 1, p, n);
        buf_ = std::move(b);
    }
    void clear() { buf_.reset(); }
    size_t size() const { return buf_ ? static_cast<unsigned char>(buf_[0]) : 0; }
    bool empty() const { return !buf_; }
    const char* data() const { return buf_ ? buf_.get() + 1 : ""; }
    std::string_view view() const { return {data(), size()}; }
    std::string str() const { return std::string(view()); }
    operator std::string_view() const { return view(); }
    bool operator==(const ShortString& o) const { return view() == o.view(); }
    bool operator==(std::string_view s) const { return view() == s; }
    bool operator==(const std::string& s) const { return view() == s; }
    bool operator==(const char* s) const { return view() == std::string_view(s); }

private:
    std::unique_ptr<char[]> buf_;
};

inline std::ostream& operator<<(std::ostream& os, const ShortString& s) { return os << s.view(); }

// The place of an object in the spatial index of its list.  It belongs to
// the object where it is, not to its content: a copy has none, and an
// assignment of another object's content keeps it.
class IndexSlot {
public:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    IndexSlot() = default;
    IndexSlot(const IndexSlot&) {}
    IndexSlot& operator=(const IndexSlot&) { return *this; }
    uint32_t get() const { return v_; }
    void set(uint32_t v) { v_ = v; }

private:
    uint32_t v_ = kNone;
};

enum ObjKind : uint8_t { KindPoint = 1, KindLine = 2, KindArea = 3 };
enum ObjShape : uint8_t { ShapePlain = 0, ShapeCircle = 1, ShapeArc = 2 };

// One map object.  Text fields hold Windows-1251 bytes.  (The members are
// grouped by size to keep the object small; the file order of the fields
// is in MapFiles.cpp.)
struct TObj {
    PointList Points;
    ShortString Name;          // at most 255 bytes
    double ExtraReal = 0;
    double Elevation = 0;
    int32_t Number = 0;
    int32_t StartNode = -1;
    int32_t EndNode = -1;
    int32_t Code = -1;
    int32_t PenColor = 0;      // 0x00BBGGRR
    int32_t PenWidth = 1;
    int32_t BrushColor = 0;
    int32_t ExtraInt = -1;
    uint8_t Kind = 0;
    uint8_t Shape = 0;
    uint8_t PenStyle = 0;      // 0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 clear
    uint8_t BrushStyle = 0;    // 0 solid, 1 clear, 2..7 hatches
    IndexSlot Slot;            // not part of the object's content

    int32_t PointCount() const { return int32_t(Points.size()); }

    // Objects are cut from the calling thread's BlockCutter: a map holds
    // millions of them, made together when it is read and freed together
    // when it is closed.
    static void* operator new(size_t bytes);
    static void operator delete(void* p, size_t bytes) noexcept;

    // Copies the pen and brush values of another object.
    void copyStyle(const TObj& o) {
        PenColor = o.PenColor;
        PenStyle = o.PenStyle;
        PenWidth = o.PenWidth;
        BrushStyle = o.BrushStyle;
        BrushColor = o.BrushColor;
    }
};

bool sameObject(const TObj& a, const TObj& b);  // every field equal

// Reverses the direction of an object: vertices in reverse order, start and
// end node exchanged.
void ReverseObject(TObj& o);

class TObjList;

// Told of the changes of a list that it can follow one by one.
class TObjListObserver {
public:
    virtual ~TObjListObserver() = default;
    // An object was put at `position` (appended or inserted).
    virtual void objectInserted(const TObjList& list, size_t position) = 0;
    // An object left the list (it is still alive).
    virtual void objectRemoved(const TObjList& list, const TObj* o) = 0;
    // The object now at `to` was moved there.
    virtual void objectMoved(const TObjList& list, size_t to) = 0;
    // The vertices or the style of an object changed.
    virtual void objectChanged(const TObjList& list, const TObj* o) = 0;
    // The same objects were put in a new order.
    virtual void objectsReordered(const TObjList& list) = 0;
};

// The objects of the open map, owned; index 0 is drawn first.
class TObjList {
public:
    TObjList() = default;
    // A list taken over keeps no observer of the other one.
    TObjList(TObjList&& o) noexcept : items_(std::move(o.items_)), revision_(o.revision_ + 1) { ++o.revision_; }
    TObjList& operator=(TObjList&& o) noexcept {
        items_ = std::move(o.items_);
        revision_ = std::max(revision_, o.revision_) + 1;
        ++o.revision_;
        return *this;
    }
    TObjList(const TObjList&) = delete;
    TObjList& operator=(const TObjList&) = delete;
    // The observer told of each change it can follow (one at most).
    void setObserver(TObjListObserver* o) { observer_ = o; }
    TObjListObserver* observer() const { return observer_; }
    // The vertices or the style of a member changed.
    void changed(const TObj* o) {
        ++revision_;
        if (observer_) observer_->objectChanged(*this, o);
    }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    TObj* operator[](size_t i) const { return items_[i].get(); }
    TObj* at(size_t i) const { return items_.at(i).get(); }
    TObj* last() const { return items_.empty() ? nullptr : items_.back().get(); }

    // A new object: Number = the count before appending.
    TObj* append(std::unique_ptr<TObj> o);
    // An object read from a file keeps its Number.
    TObj* appendAsIs(std::unique_ptr<TObj> o);
    // Inserts at a position (used to restore an order); Number untouched.
    TObj* insertAt(size_t index, std::unique_ptr<TObj> o);
    // Index of an object by identity, -1 when absent.
    long indexOf(const TObj* o) const;
    // Removes by identity, packs the list and returns the object (null if absent).
    std::unique_ptr<TObj> take(const TObj* o);
    // Removes by identity and frees the object; false if absent.
    bool remove(const TObj* o);
    // Moves the object at `from` so that it ends up at `to`.
    void move(size_t from, size_t to);
    // Puts the objects in a new order (a permutation of the same objects).
    void reorder(const std::vector<size_t>& newOrder);
    // Keeps only the listed objects (members of this list, each once), in
    // the order given; the others are freed.
    void keepOnly(const std::vector<TObj*>& order);
    void clear() {
        items_.clear();
        ++revision_;
    }
    void reserve(size_t n) { items_.reserve(n); }
    void swap(TObjList& other) {
        items_.swap(other.items_);
        ++revision_;
        ++other.revision_;
    }
    // Grows with every change of the list and with every touch() after an
    // object's geometry changed; caches of positions compare it.
    uint64_t revision() const { return revision_; }
    void touch() { ++revision_; }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<TObj>> items_;
    uint64_t revision_ = 0;
    TObjListObserver* observer_ = nullptr;
};

}  // namespace dm
static_assert(sizeof(dm::TObj) <= 80, "keep map objects small");
