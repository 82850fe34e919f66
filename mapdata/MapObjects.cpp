#include "MapObjects.h"

#include "Blocks.h"

#include <new>
#include <stdexcept>

#include <unordered_map>

#include <algorithm>
#include <cstring>

namespace dm {

void PointList::regrow(size_t n) {
    if (n > kMax) throw std::length_error("too many vertices");
    TXY* fresh = n ? static_cast<TXY*>(::operator new(n * sizeof(TXY))) : nullptr;
    if (size_) std::memcpy(static_cast<void*>(fresh), data_, size_t(size_) * sizeof(TXY));
    freeStorage();
    data_ = fresh;
    cap_ = uint32_t(n);
}

void PointList::freeStorage() noexcept {
    if (!data_) return;
    if (isInBlock())
        BlockCutter::release(data_, capacity() * sizeof(TXY));
    else
        ::operator delete(data_);
    data_ = nullptr;
}

void PointList::growAndPush(const TXY& p) {
    const TXY copy = p;  // p may lie in this list
    grow(size_t(size_) + 1);
    data_[size_++] = copy;
}

void PointList::resize(size_t n, const TXY& fill) {
    if (n > capacity()) {
        const TXY copy = fill;  // fill may lie in this list
        grow(n);
        for (size_t i = size_; i < n; ++i) data_[i] = copy;
    } else {
        for (size_t i = size_; i < n; ++i) data_[i] = fill;
    }
    size_ = uint32_t(n);
}

void PointList::assignFrom(const TXY* src, size_t n) {
    if (n > capacity()) {
        // (A part of this list always fits: only other vertices get here.)
        PointList fresh;
        fresh.regrow(n);
        std::memcpy(static_cast<void*>(fresh.data_), src, n * sizeof(TXY));
        fresh.size_ = uint32_t(n);
        fresh.swap(*this);
        return;
    }
    if (n) std::memmove(static_cast<void*>(data_), src, n * sizeof(TXY));
    size_ = uint32_t(n);
}

TXY* PointList::insertFrom(size_t at, const TXY* src, size_t n) {
    if (n == 0) return data_ + at;
    const std::vector<TXY> items(src, src + n);  // the source may be this list
    if (size_t(size_) + n > capacity()) grow(size_t(size_) + n);
    if (size_ > at) std::memmove(static_cast<void*>(data_ + at + n), data_ + at, (size_ - at) * sizeof(TXY));
    std::memcpy(static_cast<void*>(data_ + at), items.data(), n * sizeof(TXY));
    size_ += uint32_t(n);
    return data_ + at;
}

TXY* PointList::eraseAt(size_t at, size_t n) {
    const size_t after = size_ - at - n;
    if (n && after) std::memmove(static_cast<void*>(data_ + at), data_ + at + n, after * sizeof(TXY));
    size_ -= uint32_t(n);
    return data_ + at;
}

void* TObj::operator new(size_t bytes) { return ThreadCutter().cut(bytes); }

void TObj::operator delete(void* p, size_t bytes) noexcept { BlockCutter::release(p, bytes); }

bool sameObject(const TObj& a, const TObj& b) {
    auto sameDouble = [](double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    if (a.Points.size() != b.Points.size()) return false;
    for (size_t i = 0; i < a.Points.size(); ++i)
        if (!sameDouble(a.Points[i].X, b.Points[i].X) || !sameDouble(a.Points[i].Y, b.Points[i].Y)) return false;
    return a.Number == b.Number && a.StartNode == b.StartNode && a.EndNode == b.EndNode && a.Kind == b.Kind &&
           a.Code == b.Code && a.Shape == b.Shape && a.Name == b.Name && a.PenColor == b.PenColor &&
           a.PenStyle == b.PenStyle && a.PenWidth == b.PenWidth && a.BrushStyle == b.BrushStyle &&
           a.BrushColor == b.BrushColor && a.ExtraInt == b.ExtraInt && sameDouble(a.ExtraReal, b.ExtraReal) &&
           sameDouble(a.Elevation, b.Elevation);
}

void ReverseObject(TObj& o) {
    std::reverse(o.Points.begin(), o.Points.end());
    std::swap(o.StartNode, o.EndNode);
}

TObj* TObjList::append(std::unique_ptr<TObj> o) {
    o->Number = int32_t(items_.size());
    return appendAsIs(std::move(o));
}

TObj* TObjList::appendAsIs(std::unique_ptr<TObj> o) {
    ++revision_;
    items_.push_back(std::move(o));
    if (observer_) observer_->objectInserted(*this, items_.size() - 1);
    return items_.back().get();
}

TObj* TObjList::insertAt(size_t index, std::unique_ptr<TObj> o) {
    ++revision_;
    index = std::min(index, items_.size());
    TObj* added = items_.insert(items_.begin() + long(index), std::move(o))->get();
    if (observer_) observer_->objectInserted(*this, index);
    return added;
}

long TObjList::indexOf(const TObj* o) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == o) return long(i);
    return -1;
}

std::unique_ptr<TObj> TObjList::take(const TObj* o) {
    const long i = indexOf(o);
    if (i < 0) return nullptr;
    ++revision_;
    std::unique_ptr<TObj> out = std::move(items_[size_t(i)]);
    items_.erase(items_.begin() + i);
    if (observer_) observer_->objectRemoved(*this, out.get());
    return out;
}

bool TObjList::remove(const TObj* o) { return take(o) != nullptr; }

void TObjList::move(size_t from, size_t to) {
    if (from >= items_.size() || to >= items_.size() || from == to) return;
    ++revision_;
    auto obj = std::move(items_[from]);
    items_.erase(items_.begin() + long(from));
    items_.insert(items_.begin() + long(to), std::move(obj));
    if (observer_) observer_->objectMoved(*this, to);
}

}  // namespace dm

namespace dm {

void TObjList::reorder(const std::vector<size_t>& newOrder) {
    std::vector<std::unique_ptr<TObj>> next;
    next.reserve(items_.size());
    for (size_t i : newOrder) next.push_back(std::move(items_[i]));
    items_.swap(next);
    ++revision_;
    if (observer_) observer_->objectsReordered(*this);
}

void TObjList::keepOnly(const std::vector<TObj*>& order) {
    std::unordered_map<const TObj*, size_t> at;
    at.reserve(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) at.emplace(items_[i].get(), i);
    std::vector<std::unique_ptr<TObj>> kept;
    kept.reserve(order.size());
    for (TObj* o : order) {
        auto it = at.find(o);
        if (it == at.end() || !items_[it->second]) continue;  // not a member, or listed twice
        kept.push_back(std::move(items_[it->second]));
    }
    items_ = std::move(kept);
    ++revision_;
}

}  // namespace dm
