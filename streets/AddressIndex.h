#pragma once
// The address search over the street register: a street part and a house
// number as operators type them ("Навои 12а", "ул. Навои, 12а", "12а Навои",
// "Navoiy 12a"), under the old or the new name, and the nearest address to
// a map point ("Что здесь?").
//
// Names are compared as keys: lower case, "ё" as "е", the street kind words
// and their abbreviations and all punctuation left out, and every letter
// written in Latin by one table for Russian and Uzbek Cyrillic:
//
//   а a  б b  в v  г g  д d  е e  ё e  ж j  з z  и i  й y  к k  л l  м m
//   н n  о o  п p  р r  с s  т t  у u  ф f  х x  ц c  ч ch ш sh щ sh ъ -
//   ы y  ь -  э e  ю yu я ya ў o  қ q  ғ g  ҳ h
//
// after which the Latin spellings that stand for one letter are made one:
// "shch" and "sh" as "sh", "zh" as "j", "kh" as "x", "ts" as "c", "yo" as
// "e"; apostrophes (o', g') are dropped.  So "Шайхантаурская", "shayxantaurskaya"
// and "Shaykhantaurskaya" are one key.
//
// The index follows the register: `build` takes it whole, `changed`,
// `added` and `removed` take one street (its names, axis and houses
// derived again), so a change shows in the next search without a rebuild.

#include "Streets.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dm {

// The key of a street name or of a query's street part (UTF-8 in).
std::string AddressKey(std::string_view utf8);
// The kind of street a text names ("пр-т Ленина", "Ленина, проспект"), as
// its short form ("ул.", "пр-т", "пер.", "пр-д", "туп.", "пл.", "б-р",
// "ш.", "м-в"); empty when it names none.
std::string AddressKind(std::string_view utf8);
// A house number as operators read it: "12а", "12 А" and "12a" are one,
// "12/1" and "12 корп. 2" ("12к2") stay apart.
std::string HouseKey(std::string_view utf8);
// The same keys from the register's own Windows-1251 bytes, without the
// way through Unicode (the index derives thousands of them).
std::string AddressKeyCp1251(std::string_view cp1251);
std::string HouseKeyCp1251(std::string_view cp1251);

// A query split into its street part and its house number (empty when
// none): the number stands at the end ("Навои 12а") or at the start
// ("12а Навои").  A text whose digits may belong to the name ("8 Марта")
// gives more than one reading; the index takes the one that matches best.
struct AddressQuery {
    std::string street;  // UTF-8, as typed
    std::string house;   // UTF-8, as typed
};
std::vector<AddressQuery> ReadAddressQuery(std::string_view utf8);

struct AddressHit {
    StreetRef street;
    int house = -1;           // index in the street's houses; -1: the street itself
    bool exactHouse = false;  // the house asked for (false: a nearest number, or none asked)
    bool fuzzy = false;       // a word matched with one letter wrong, missing or extra
    int matchClass = 0;       // 0 the whole name, 1 its beginning, 2 a part
    bool oldName = false;     // matched by the old name of a renamed street
    double X = 0, Y = 0;      // the house, or the middle of the axis
};

// "Навои ул., 12а (быв. Ленина)" (UTF-8).
std::string AddressText(const AddressHit& h);
// What tells each candidate from the others that would read alike (the
// same AddressText): the district its place lies in (`districtAt`, UTF-8,
// empty outside every district) when that differs among them, else where
// its street's axis starts ("ось от 1050, 280", metres); empty for a
// candidate that reads like no other.
std::vector<std::string> AddressDistinctions(const std::vector<AddressHit>& hits,
                                             const std::function<std::string(double x, double y)>& districtAt);
// AddressText, with " — " and the distinction when there is one.
std::vector<std::string> AddressTexts(const std::vector<AddressHit>& hits,
                                      const std::function<std::string(double x, double y)>& districtAt);
// "ул. Навои (быв. Ленина), 12а" (UTF-8), as "Что здесь?" says it.
std::string AddressSpoken(const Trues& s, int house);
// The point in the middle of the axis by length (the baseline's middle
// without an axis).
TXY AxisMiddle(const Trues& s);

struct AddressNear {
    StreetRef street;
    int house = -1;       // the nearest house within the reach, or -1
    double distance = 0;  // metres to the house, or to the street's axis
    double X = 0, Y = 0;  // the house, or the nearest point of the axis
};

class AddressIndex {
public:
    void build(const std::vector<StreetRef>& streets);
    void clear();
    // One street changed (names, axis or houses), came in at the end of the
    // register, or went out.
    void changed(const StreetRef& s);
    void added(const StreetRef& s);
    void removed(const StreetRef& s);
    // The street moved to the end of the register (a moved axis point).
    void movedToEnd(const StreetRef& s);
    size_t size() const { return entries_.size(); }
    // Goes up with every change of the index: candidates found before are
    // stale (their streets, house positions and places).
    uint64_t revision() const { return revision_; }

    // The candidates in rank order: exact word matches before one letter
    // off, the whole name before its beginning before a part, the new name
    // before the old, then the register's order; for each street the houses
    // of the number asked for (with none, the nearest numbers on it).
    std::vector<AddressHit> find(std::string_view queryUtf8, size_t limit = 20) const;
    // The nearest house within `reach` metres, else the street whose axis
    // is nearest within `farthest` metres, else the nearest house within
    // that; nothing beyond it.
    std::optional<AddressNear> nearest(double x, double y, double reach = 100, double farthest = 500) const;

private:
    struct House {
        std::array<uint8_t, 6> raw{};  // the number as stored, its key made from it
        std::string key;
        long number = -1;  // its leading digits, -1 without
    };
    struct Entry {
        StreetRef street;
        uint64_t order = 0;
        std::string current, old;  // keys of the name in use and of the former one
        std::vector<std::string> currentWords, oldWords;
        uint64_t currentBytes = 0, oldBytes = 0;  // the bytes each key holds
        std::string rawCurrent, rawOld;  // the names the keys were made from
        std::string currentKind, oldKind;  // their kinds' short forms ("ул."), empty when none
        bool derived = false;
        std::vector<House> houses;
    };
    struct Rank {
        bool fuzzy;
        int cls;
        bool old;
        uint64_t order;
        bool otherKind = false;  // a kind was typed and the name is of another
        bool noHouse = false;    // a house was asked for and the street lacks it
        bool operator<(const Rank& o) const;
    };
    void derive(Entry& e) const;
    struct Query {
        std::string key;
        std::vector<std::string> words;
        uint64_t bytes = 0;
        int longWords = 0;  // words of five letters or more
        std::string kind;   // the kind typed, as a short form ("пр-т"); empty when none
    };
    std::optional<Rank> rank(const Entry& e, const Query& q) const;
    void findIn(const AddressQuery& q, size_t limit, std::vector<std::pair<Rank, AddressHit>>& out) const;

    // Spatial cells of houses and of axis segments, built on demand.
    struct Cell {
        std::vector<std::pair<const Entry*, int>> houses;  // entry, house index
        std::vector<std::pair<const Entry*, int>> segments;  // entry, first vertex
    };
    void buildGrid() const;

    std::vector<Entry> entries_;
    uint64_t revision_ = 0;
    std::unordered_map<const Trues*, size_t> where_;  // an entry's place in entries_
    uint64_t nextOrder_ = 0;
    mutable bool gridValid_ = false;
    mutable std::unordered_map<int64_t, Cell> grid_;
    mutable double cell_ = 200;
    mutable double gridMinX_ = 0, gridMinY_ = 0;
    mutable int gridCols_ = 0, gridRows_ = 0;
};

}  // namespace dm
