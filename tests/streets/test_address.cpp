// The address index: keys, query readings, ranking, house numbers, the
// index following changes, and the nearest address; every expectation
// worked by hand from the transliteration table and the ranking rules.

#include "mapdata/Cp1251.h"
#include "streets/AddressIndex.h"

#include <gtest/gtest.h>

#include <random>

using namespace dm;

namespace {

StreetRef street(const char* oldU, const char* newU, std::vector<TXY> axis = {}, std::vector<const char*> houses = {}) {
    auto s = std::make_shared<Trues>();
    s->OldName = utf8ToCp1251(oldU);
    s->NewName = utf8ToCp1251(newU);
    s->Axis = std::move(axis);
    double y = 0;
    for (const char* h : houses) {
        TDom d;
        d.setNomer(utf8ToCp1251(h));
        d.X = 1000;
        d.Y = y += 10;
        s->Houses.push_back(d);
    }
    return s;
}

// The hits as "text|exact house" lines.
std::vector<std::string> lines(const std::vector<AddressHit>& hits) {
    std::vector<std::string> out;
    for (const AddressHit& h : hits) out.push_back(AddressText(h) + (h.fuzzy ? " ~" : "") + (h.exactHouse ? " =" : ""));
    return out;
}

}  // namespace

TEST(AddressKeys, KindsPunctuationCaseAndLatinLettersAreOneKey) {
    for (const char* s : {"ул. Навои", "Навои, улица", "НАВОИ", "улица Навои", "Navoi", "navoi ul."})
        EXPECT_EQ(AddressKey(s), "navoi") << s;
    for (const char* s : {"проспект Мустакиллик", "пр-т Мустакиллик", "пр. Мустакиллик", "Mustakillik prospekt"})
        EXPECT_EQ(AddressKey(s), "mustakillik") << s;
    for (const char* s : {"пер. Тома", "Тома переулок", "тупик Тома", "Тома проезд", "пл. Тома", "площадь Тома",
                          "б-р Тома", "бульвар Тома", "ш. Тома", "шоссе Тома", "м-в Тома", "массив Тома"})
        EXPECT_EQ(AddressKey(s), "toma") << s;
    // One key for the Cyrillic and each Latin spelling of a letter.
    const std::pair<const char*, const char*> same[] = {
        {"Шайхантаурская", "Shaykhantaurskaya"}, {"Шайхантаурская", "shayxantaurskaya"},
        {"Ёшлик", "Yoshlik"},                   {"Ёшлик", "Ешлик"},
        {"Ўзбекистон", "O'zbekiston"},         {"Ғафур Ғулом", "G‘afur G'ulom"},
        {"Қорақамиш", "Qoraqamish"},           {"Ҳамза", "Hamza"},
        {"Цех", "Tsekh"},                      {"Щорса", "Shchorsa"},
        {"Жуковский", "Zhukovskiy"},           {"Жуковский", "Jukovskiy"},
        {"Чехова", "Chekhova"},                {"Юнусабад", "Yunusabad"},
        {"Мирзо-Улугбек", "Mirzo Ulugbek"}};
    for (const auto& [a, b] : same) EXPECT_EQ(AddressKey(a), AddressKey(b)) << a << " / " << b;
    EXPECT_EQ(AddressKey("Шайхантаурская"), "shayxantaurskaya");
    EXPECT_EQ(AddressKey("Ёшлик"), "eshlik");
    EXPECT_EQ(AddressKey("Ўзбекистон"), "ozbekiston");
    EXPECT_EQ(AddressKey("Мирзо-Улугбек, массив"), "mirzo ulugbek");
    EXPECT_EQ(AddressKey("Объездная"), "obezdnaya");
    EXPECT_EQ(AddressKey("ул."), "");
    // House numbers.
    for (const char* h : {"12а", "12 А", "12a", "12A", "12 a"}) EXPECT_EQ(HouseKey(h), "12a") << h;
    EXPECT_EQ(HouseKey("12/1"), "12/1");
    for (const char* h : {"12 корп. 2", "12корп2", "12 корпус 2", "12к2", "12 к. 2"}) EXPECT_EQ(HouseKey(h), "12k2") << h;
    // The register's own bytes give the same keys without Unicode.
    EXPECT_EQ(AddressKeyCp1251(utf8ToCp1251("Шайхантаурская, улица")), "shayxantaurskaya");
    EXPECT_EQ(AddressKeyCp1251(utf8ToCp1251("пр-т Мирзо-Улугбека")), "mirzo ulugbeka");
    EXPECT_EQ(AddressKeyCp1251(utf8ToCp1251("ЁЛОЧНАЯ, б-р")), "elochnaya");
    EXPECT_EQ(HouseKeyCp1251(utf8ToCp1251("12 КОРП. 2")), "12k2");
    EXPECT_EQ(HouseKeyCp1251(utf8ToCp1251("12 А")), "12a");
    for (const char* n : {"Навои, улица", "пр. Навои", "Ёшлик-2, м-в", "Ўрта (Сой) 1-й проезд", "O'zbekiston", "Abay ko'chasi",
                          "Кичик халқа", "«Дружба», пл.", "8 Марта", "Ибн-Сины, пр-д", "ТУПИК Ғ", "Ангрен ш."})
        EXPECT_EQ(AddressKeyCp1251(utf8ToCp1251(n)), AddressKey(cp1251ToUtf8(utf8ToCp1251(n)))) << n;
}

TEST(AddressKeys, TheNumberAtTheEndOrAtTheStart) {
    auto readings = [](const char* q) {
        std::vector<std::string> out;
        for (const AddressQuery& r : ReadAddressQuery(q)) out.push_back(r.street + "|" + r.house);
        return out;
    };
    EXPECT_EQ(readings("ул. Навои, 12а"), (std::vector<std::string>{"ул. Навои|12а", "ул. Навои 12а|"}));
    EXPECT_EQ(readings("Навои 12 А"), (std::vector<std::string>{"Навои|12 А", "Навои 12 А|"}));
    EXPECT_EQ(readings("Навои 12 корп. 2"), (std::vector<std::string>{"Навои|12 корп. 2", "Навои 12 корп. 2|"}));
    EXPECT_EQ(readings("12а Навои"), (std::vector<std::string>{"Навои|12а", "12а Навои|"}));
    EXPECT_EQ(readings("8 Марта 12"), (std::vector<std::string>{"8 Марта|12", "Марта 12|8", "8 Марта 12|"}));
    EXPECT_EQ(readings("Навои"), (std::vector<std::string>{"Навои|"}));
}

TEST(AddressIndexTest, RankedByHowTheNameMatchesThenNewBeforeOldThenTheRegistersOrder) {
    // 0 holds the query as a part; 1 renamed to it; 2 renamed from it; 3
    // begins with it; 4 one letter off; 5 the same name, later in the register.
    AddressIndex idx;
    idx.build({street("Алишера Навои, проспект", ""), street("Ленина, улица", "Навои, улица"),
               street("Навои, переулок", "Бобура, переулок"), street("Навоийская, улица", ""),
               street("Навой, тупик", ""), street("Навои, проезд", "")});
    EXPECT_EQ(lines(idx.find("Навои")),
              (std::vector<std::string>{"Навои ул. (быв. Ленина)", "Навои пр-д", "Бобура пер. (быв. Навои)",
                                        "Навоийская ул.", "Алишера Навои пр-т", "Навой туп. ~"}));
    EXPECT_EQ(lines(idx.find("Навои", 2)), (std::vector<std::string>{"Навои ул. (быв. Ленина)", "Навои пр-д"}));
    // The old name alone finds the renamed street.
    EXPECT_EQ(lines(idx.find("ленина")), (std::vector<std::string>{"Навои ул. (быв. Ленина)"}));
    EXPECT_EQ(lines(idx.find("Бобур")), (std::vector<std::string>{"Бобура пер. (быв. Навои)"}));
    EXPECT_TRUE(idx.find("Пушкина").empty());
    EXPECT_TRUE(idx.find("").empty());
    EXPECT_TRUE(idx.find("ул.").empty());
}

// A street that has the house asked for comes before one that only offers
// its nearest numbers, whatever else; a kind typed puts the streets of
// that kind first.  Each case: the register, the query, the candidates.
TEST(AddressIndexTest, TheHouseAskedForThenTheKindTyped) {
    struct Case {
        const char* query;
        std::vector<std::string> want;
    };
    AddressIndex idx;
    // Gagarin (formerly Karl Marx) with 12а and 22, before Sadovaya
    // (formerly Karl Marx too) with 3; Bobur pr-t (formerly ul. Lenina)
    // before Amir Temur ul. (formerly pr-t Lenina), each with house 1.
    idx.build({street("Карла Маркса, улица", "Гагарина, улица", {}, {"12а", "22"}),
               street("Карла Маркса, улица", "Садовая, улица", {}, {"3"}),
               street("Ленина, улица", "Бобура, проспект", {}, {"1"}),
               street("Ленина, проспект", "Амира Темура, улица", {}, {"1"}),
               street("8 Марта, улица", "", {}, {"1"}), street("Марта 3-я, улица", "", {}, {"8"}),
               street("Навои, улица", "", {}, {"5"}), street("Навоийская, улица", "", {}, {"7"}),
               street("Навой, тупик", "", {}, {"7"})});
    const Case cases[] = {
        {"Карла Маркса 3", {"Садовая ул., 3 (быв. Карла Маркса) =", "Гагарина ул., 12а (быв. Карла Маркса)",
                            "Гагарина ул., 22 (быв. Карла Маркса)"}},
        // The reading "Марта 3", house 8, has the house; "8 Марта", house 3, does not.
        {"8 Марта 3", {"Марта 3-я ул., 8 ="}},
        // Only the beginning or one letter off, with the house, before the very name.
        {"Навои 7", {"Навоийская ул., 7 =", "Навой туп., 7 ~ =", "Навои ул., 5"}},
        {"Гагарина 3", {"Гагарина ул., 12а (быв. Карла Маркса)", "Гагарина ул., 22 (быв. Карла Маркса)"}},  // nearest numbers
        {"пр-т Ленина 1", {"Амира Темура ул., 1 (быв. Ленина) =", "Бобура пр-т, 1 (быв. Ленина) ="}},
        {"проспект Ленина", {"Амира Темура ул. (быв. Ленина)", "Бобура пр-т (быв. Ленина)"}},
        {"ул. Ленина 1", {"Бобура пр-т, 1 (быв. Ленина) =", "Амира Темура ул., 1 (быв. Ленина) ="}},
        {"Ленина 1", {"Бобура пр-т, 1 (быв. Ленина) =", "Амира Темура ул., 1 (быв. Ленина) ="}},
        // A candidate's own text typed back: the same candidate first.
        {"Амира Темура ул., 1 (быв. Ленина)", {"Амира Темура ул., 1 (быв. Ленина) ="}},
        {"Садовая ул., 3 (быв. Карла Маркса) — Юнусабад", {"Садовая ул., 3 (быв. Карла Маркса) ="}},
        {"Марта 3-я ул., 8 — Юнусабад", {"Марта 3-я ул., 8 ="}},
    };
    for (const Case& c : cases) EXPECT_EQ(lines(idx.find(c.query)), c.want) << c.query;
    EXPECT_EQ(AddressKind("Навои, проезд"), "пр-д");
    EXPECT_EQ(AddressKind("б-р Навои"), "б-р");
    EXPECT_EQ(AddressKind("Мирзо-Улугбек"), "");
    // "ё" (0xB8 in the register's bytes) is read as "е".
    AddressIndex yo;
    yo.build({street("Федоровская, улица", ""), street("Фёдорова, улица", "", {}, {"5"})});
    ASSERT_EQ(yo.find("Фёдорова 5").size(), 1u);
    EXPECT_EQ(yo.find("Фёдорова 5")[0].street, yo.find("Федорова 5")[0].street);
    EXPECT_EQ(cp1251ToUtf8(yo.find("федорова 5")[0].street->OldName), "Фёдорова, улица");
}

// Candidates that read alike are told apart by their district, else by
// where their axis starts.
TEST(AddressIndexTest, NamesakesToldApart) {
    StreetRef a = street("Бобура, улица", "", {{100, 200}, {300, 200}}, {"9/1"});
    StreetRef b = street("Бобура, улица", "", {{4100, 5200}, {4300, 5200}}, {"9/1"});
    b->Houses[0].X = 4000;
    StreetRef c = street("Навои, улица", "", {{0, 0}, {10, 0}}, {"9/1"});
    AddressIndex idx;
    idx.build({a, b, c});
    const std::vector<AddressHit> hits = idx.find("9/1 Бобура");
    ASSERT_EQ(hits.size(), 2u);
    auto district = [](double x, double) { return std::string(x < 2000 ? "Юнусабад" : "Чиланзар"); };
    EXPECT_EQ(AddressTexts(hits, district),
              (std::vector<std::string>{"Бобура ул., 9/1 — Юнусабад", "Бобура ул., 9/1 — Чиланзар"}));
    auto oneDistrict = [](double, double) { return std::string("Юнусабад"); };
    EXPECT_EQ(AddressTexts(hits, oneDistrict),
              (std::vector<std::string>{"Бобура ул., 9/1 — ось от 100, 200", "Бобура ул., 9/1 — ось от 4100, 5200"}));
    std::vector<AddressHit> three = hits;
    three.push_back(idx.find("Навои 9/1")[0]);
    EXPECT_EQ(AddressDistinctions(three, {}), (std::vector<std::string>{"ось от 100, 200", "ось от 4100, 5200", ""}));
}

TEST(AddressIndexTest, OneLetterOffInWordsOfFiveLettersOrMore) {
    AddressIndex idx;
    idx.build({street("Комил, улица", ""), street("Тома, улица", ""), street("Шайхантаурская, улица", "")});
    for (const char* q : {"Камил", "Комилл", "Коми", "Камиль", "Kamil"})  // wrong, extra, the beginning, soft sign, Latin
        EXPECT_EQ(idx.find(q).size(), 1u) << q;
    EXPECT_TRUE(idx.find("Комил")[0].fuzzy == false);
    EXPECT_TRUE(idx.find("Камил")[0].fuzzy);
    for (const char* q : {"Каммил", "Кмл", "Коил", "Тоиа", "Тм"})  // two off, or short words off by one
        EXPECT_TRUE(idx.find(q).empty()) << q;
    EXPECT_EQ(lines(idx.find("Шайхонтаурская")), (std::vector<std::string>{"Шайхантаурская ул. ~"}));
    EXPECT_TRUE(idx.find("Шайхонтоурская").empty());
}

TEST(AddressIndexTest, HouseNumbersAsOperatorsReadThem) {
    AddressIndex idx;
    StreetRef navoi = street("Ленина, улица", "Навои, улица", {{0, 0}, {0, 300}, {400, 300}},
                             {"12а", "14", "8", "12/1", "3", "12к2"});
    StreetRef empty = street("Навои, проезд", "", {{0, 1000}, {100, 1000}});
    idx.build({navoi, empty});
    for (const char* q : {"Навои 12а", "ул. Навои, 12а", "12а Навои", "навоий 12 А", "Navoiy 12a", "Ленина 12а"}) {
        const std::vector<AddressHit> hits = idx.find(q);
        ASSERT_FALSE(hits.empty()) << q;
        EXPECT_EQ(hits[0].street, navoi) << q;
        EXPECT_EQ(hits[0].house, 0) << q;
        EXPECT_TRUE(hits[0].exactHouse) << q;
        EXPECT_EQ(hits[0].X, 1000);
        EXPECT_EQ(hits[0].Y, 10);
    }
    EXPECT_EQ(lines(idx.find("Навои 12а")),
              (std::vector<std::string>{"Навои ул., 12а (быв. Ленина) =", "Навои пр-д"}));
    EXPECT_EQ(lines(idx.find("Навои 12/1")), (std::vector<std::string>{"Навои ул., 12/1 (быв. Ленина) =", "Навои пр-д"}));
    EXPECT_EQ(lines(idx.find("Навои 12 корп. 2")),
              (std::vector<std::string>{"Навои ул., 12к2 (быв. Ленина) =", "Навои пр-д"}));
    // No 13: the nearest numbers on that street (12 and 14; the twelves first).
    EXPECT_EQ(lines(idx.find("Навои ул. 13")),
              (std::vector<std::string>{"Навои ул., 12а (быв. Ленина)", "Навои ул., 12/1 (быв. Ленина)",
                                        "Навои ул., 12к2 (быв. Ленина)", "Навои пр-д"}));
    EXPECT_EQ(lines(idx.find("Навои 5")).front(), "Навои ул., 3 (быв. Ленина)");
    // No number: the middle of the axis by length (700 m long: 350 m on).
    const std::vector<AddressHit> whole = idx.find("Навои ул.");
    ASSERT_EQ(whole.size(), 2u);
    EXPECT_EQ(whole[0].house, -1);
    EXPECT_DOUBLE_EQ(whole[0].X, 50);
    EXPECT_DOUBLE_EQ(whole[0].Y, 300);
    EXPECT_DOUBLE_EQ(whole[1].X, 50);
    EXPECT_DOUBLE_EQ(whole[1].Y, 1000);
}

TEST(AddressIndexTest, FollowsChangesAsARebuildWould) {
    // 2,000 random changes of a register of 60 streets, the index told of
    // each; after every 50 the answers equal those of an index built anew.
    std::mt19937 rnd(7);
    const char* names[] = {"Навои", "Ленина", "Бобура", "Абая", "Комил", "Чорсу", "Юнусабад", "Тома"};
    const char* kinds[] = {", улица", ", переулок", ", тупик", ""};
    auto name = [&] { return std::string(names[rnd() % 8]) + (rnd() % 3 ? "" : " " + std::to_string(rnd() % 5)) + kinds[rnd() % 4]; };
    std::vector<StreetRef> reg;
    for (int i = 0; i < 60; ++i) reg.push_back(street(name().c_str(), rnd() % 2 ? name().c_str() : ""));
    AddressIndex idx;
    idx.build(reg);
    const char* queries[] = {"Навои", "Навои 12", "ленина 3а", "Абая 1", "Комл", "Бобура 2 7", "Тома", "Чорсу 8"};
    for (int step = 1; step <= 2000; ++step) {
        const size_t k = rnd() % reg.size();
        switch (rnd() % 6) {
            case 0:
                reg[k]->NewName = utf8ToCp1251(name());
                idx.changed(reg[k]);
                break;
            case 1: {
                TDom h;
                h.setNomer(std::to_string(rnd() % 20) + (rnd() % 2 ? "" : "\xE0"));
                reg[k]->Houses.push_back(h);
                idx.changed(reg[k]);
                break;
            }
            case 2:
                if (!reg[k]->Houses.empty()) reg[k]->Houses.erase(reg[k]->Houses.begin());
                idx.changed(reg[k]);
                break;
            case 3: {
                StreetRef s = reg[k];
                reg.erase(reg.begin() + long(k));
                reg.push_back(s);
                idx.movedToEnd(s);
                break;
            }
            case 4:
                if (reg.size() > 20) {
                    idx.removed(reg[k]);
                    reg.erase(reg.begin() + long(k));
                }
                break;
            default:
                reg.push_back(street(name().c_str(), ""));
                idx.added(reg.back());
                break;
        }
        if (step % 50) continue;
        AddressIndex fresh;
        fresh.build(reg);
        ASSERT_EQ(idx.size(), reg.size());
        for (const char* q : queries) {
            const auto a = idx.find(q, 100), b = fresh.find(q, 100);
            ASSERT_EQ(a.size(), b.size()) << q << " at " << step;
            for (size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(a[i].street, b[i].street) << q << " at " << step;
                EXPECT_EQ(a[i].house, b[i].house) << q << " at " << step;
            }
        }
    }
}

TEST(AddressIndexTest, TheNearestHouseWithinAHundredMetresElseTheNearestAxis) {
    // Navoi runs north along Y = 0 from X = 0 to 1000; Bobur east along
    // X = 2000 from Y = 0 to 1000.  House 12а of Navoi at (500, 20).
    StreetRef navoi = street("Ленина, улица", "Навои, улица", {{0, 0}, {1000, 0}});
    TDom h;
    h.setNomer(utf8ToCp1251("12а"));
    h.X = 500;
    h.Y = 20;
    navoi->Houses.push_back(h);
    StreetRef bobur = street("Бобура, улица", "", {{2000, 0}, {2000, 1000}});
    AddressIndex idx;
    idx.build({navoi, bobur});
    auto near = [&](double x, double y) {
        const auto n = idx.nearest(x, y);
        EXPECT_TRUE(n.has_value());
        return n ? AddressSpoken(*n->street, n->house) + " — " + std::to_string(int(std::lround(n->distance))) : "";
    };
    EXPECT_EQ(near(500, 55), "ул. Навои (быв. Ленина), 12а — 35");   // 35 m from the house
    EXPECT_EQ(near(400, 20), "ул. Навои (быв. Ленина), 12а — 100");  // exactly 100 m
    EXPECT_EQ(near(300, 20), "ул. Навои (быв. Ленина) — 20");        // the axis, 20 m west
    EXPECT_EQ(near(1900, 600), "ул. Бобура — 100");                  // 100 m south of Bobur
    EXPECT_EQ(near(-300, -400), "ул. Навои (быв. Ленина) — 500");    // beyond Navoi's start, at the farthest
    EXPECT_FALSE(idx.nearest(-300, -401));                           // beyond 500 m of every house and axis
    EXPECT_FALSE(idx.nearest(5000, 500));
    const auto n = idx.nearest(1900, 600);
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->X, 2000);
    EXPECT_DOUBLE_EQ(n->Y, 600);
    // A house added moves what is here.
    h.setNomer("7");
    h.X = 1950;
    h.Y = 600;
    bobur->Houses.push_back(h);
    idx.changed(bobur);
    EXPECT_EQ(near(1900, 600), "ул. Бобура, 7 — 50");
    // Bobur gone: Navoi's axis is the nearest (its end, (1000, 0)).
    idx.removed(bobur);
    EXPECT_FALSE(idx.nearest(1900, 600));  // Navoi's axis 1082 m away
    EXPECT_EQ(near(1400, 300), "ул. Навои (быв. Ленина) — 500");
    // No axis within 500 m: a house within it, beyond the 100 m.
    StreetRef lone = street("Тупиковая", "");
    h.setNomer("1");
    h.X = 5000;
    h.Y = 5000;
    lone->Houses.push_back(h);
    idx.added(lone);
    EXPECT_EQ(near(5000, 5300), "Тупиковая, 1 — 300");
    EXPECT_FALSE(idx.nearest(5000, 5501));
    EXPECT_FALSE(AddressIndex().nearest(0, 0));
}
