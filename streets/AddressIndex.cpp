#include "AddressIndex.h"

#include "mapdata/Cp1251.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace dm {

namespace {

// The letters of Russian and Uzbek Cyrillic in Latin (lower case).
const char* latinOf(char16_t c) {
    switch (c) {
        case u'а': return "a";
        case u'б': return "b";
        case u'в': return "v";
        case u'г': return "g";
        case u'д': return "d";
        case u'е': return "e";
        case u'ё': return "e";
        case u'ж': return "j";
        case u'з': return "z";
        case u'и': return "i";
        case u'й': return "y";
        case u'к': return "k";
        case u'л': return "l";
        case u'м': return "m";
        case u'н': return "n";
        case u'о': return "o";
        case u'п': return "p";
        case u'р': return "r";
        case u'с': return "s";
        case u'т': return "t";
        case u'у': return "u";
        case u'ф': return "f";
        case u'х': return "x";
        case u'ц': return "c";
        case u'ч': return "ch";
        case u'ш': return "sh";
        case u'щ': return "sh";
        case u'ъ': return "";
        case u'ы': return "y";
        case u'ь': return "";
        case u'э': return "e";
        case u'ю': return "yu";
        case u'я': return "ya";
        case u'ў': return "o";
        case u'қ': return "q";
        case u'ғ': return "g";
        case u'ҳ': return "h";
        default: return nullptr;
    }
}

// The Latin spellings of one letter made one.
std::string oneSpelling(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto at = [&](const char* p) { return s.compare(i, std::strlen(p), p) == 0; };
        if (at("shch")) {
            out += "sh";
            i += 4;
        } else if (at("zh")) {
            out += 'j';
            i += 2;
        } else if (at("kh")) {
            out += 'x';
            i += 2;
        } else if (at("ts")) {
            out += 'c';
            i += 2;
        } else if (at("yo")) {
            out += 'e';
            i += 2;
        } else {
            out += s[i++];
        }
    }
    return out;
}

bool isApostrophe(QChar c) {
    const char16_t u = c.unicode();
    return u == u'\'' || u == u'\u2019' || u == u'\u2018' || u == u'\u02BB' || u == u'\u02BC' || u == u'`';
}

// Lower case, "ё" as "е", apostrophes dropped.
QString folded(std::string_view utf8) {
    QString s = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toLower();
    QString out;
    out.reserve(s.size());
    for (QChar c : s) {
        if (isApostrophe(c)) continue;
        out += c == QChar(u'ё') ? QChar(u'е') : c;
    }
    return out;
}

// A word in Latin, its spellings made one.
std::string latinWord(const QString& w) {
    std::string s;
    for (QChar c : w) {
        if (const char* l = latinOf(c.unicode())) s += l;
        else if (c.unicode() < 128) s += char(c.unicode());
        else s += QString(c).toUtf8().toStdString();
    }
    return oneSpelling(s);
}

bool isKindWord(const QString& w) {
    static const QSet<QString> words{
        QStringLiteral("улица"),   QStringLiteral("ул"),       QStringLiteral("проспект"), QStringLiteral("пр"),
        QStringLiteral("переулок"), QStringLiteral("пер"),     QStringLiteral("проезд"),   QStringLiteral("тупик"),
        QStringLiteral("площадь"), QStringLiteral("пл"),       QStringLiteral("бульвар"),  QStringLiteral("шоссе"),
        QStringLiteral("ш"),       QStringLiteral("массив"),   QStringLiteral("ulitsa"),   QStringLiteral("ulica"),
        QStringLiteral("ul"),      QStringLiteral("prospekt"), QStringLiteral("pr"),       QStringLiteral("pereulok"),
        QStringLiteral("per"),     QStringLiteral("proezd"),   QStringLiteral("tupik"),    QStringLiteral("ploshchad"),
        QStringLiteral("ploshad"), QStringLiteral("pl"),       QStringLiteral("bulvar"),   QStringLiteral("shosse"),
        QStringLiteral("sh"),      QStringLiteral("massiv")};
    return words.contains(w);
}

// The hyphenated abbreviations of kinds: "пр-т", "б-р", "м-в", "пр-д".
bool isHyphenedKind(const QString& a, const QString& b) {
    return (a == QStringLiteral("пр") && (b == QStringLiteral("т") || b == QStringLiteral("д"))) ||
           (a == QStringLiteral("б") && b == QStringLiteral("р")) || (a == QStringLiteral("м") && b == QStringLiteral("в"));
}

// The words of a folded text (letters and digits), the kind words and
// their hyphenated abbreviations left out.
QStringList streetWords(const QString& text) {
    QStringList words;
    std::vector<bool> afterHyphen;
    QString cur;
    bool hyphen = false;  // the word under way follows a hyphen
    auto end = [&](QChar sep) {
        if (!cur.isEmpty()) {
            words << cur;
            afterHyphen.push_back(hyphen);
            cur.clear();
            hyphen = sep == QLatin1Char('-');
        } else {
            hyphen = false;
        }
    };
    for (QChar c : text) {
        if (c.isLetterOrNumber()) cur += c;
        else end(c);
    }
    end(QChar());
    QStringList out;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (i + 1 < words.size() && afterHyphen[size_t(i + 1)] && isHyphenedKind(words[i], words[i + 1])) {
            ++i;
            continue;
        }
        if (!isKindWord(words[i])) out << words[i];
    }
    return out;
}

// The bytes a key holds, as bits: a-z, the digits, the rest by residue.
uint64_t bytesOf(const std::string& key) {
    uint64_t m = 0;
    for (unsigned char c : key) {
        if (c == ' ') continue;
        const unsigned bit = c >= 'a' && c <= 'z' ? c - 'a' : c >= '0' && c <= '9' ? 26 + (c - '0') : 36 + c % 28;
        m |= uint64_t(1) << bit;
    }
    return m;
}

std::vector<std::string> splitKey(const std::string& key) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i <= key.size()) {
        const size_t j = std::min(key.find(' ', i), key.size());
        if (j > i) out.push_back(key.substr(i, j - i));
        i = j + 1;
    }
    return out;
}

// At most one letter wrong, missing or extra.
bool oneOff(const std::string& a, const std::string& b) {
    if (a == b) return true;
    const size_t n = a.size(), m = b.size();
    if (n + 1 < m || m + 1 < n) return false;
    size_t i = 0;
    while (i < n && i < m && a[i] == b[i]) ++i;
    if (n == m) return a.compare(i + 1, std::string::npos, b, i + 1, std::string::npos) == 0;
    if (n > m) return a.compare(i + 1, std::string::npos, b, i, std::string::npos) == 0;
    return a.compare(i, std::string::npos, b, i + 1, std::string::npos) == 0;
}

long leadingNumber(const std::string& key) {
    long n = -1;
    for (char c : key) {
        if (c < '0' || c > '9') break;
        if (n > 100000000) return n;
        n = (n < 0 ? 0 : n * 10) + (c - '0');
    }
    return n;
}

bool isHouseWord(const QString& w) {
    static const QStringList words{QStringLiteral("корп"), QStringLiteral("корп."), QStringLiteral("корпус"),
                                   QStringLiteral("к"), QStringLiteral("к.")};
    return words.contains(w.toLower());
}

bool startsWithDigit(const QString& w) { return !w.isEmpty() && w[0].isDigit(); }
bool singleLetter(const QString& w) { return w.size() == 1 && w[0].isLetter(); }

// The name without its kind, and the kind's short form ("ул."), UTF-8.
std::pair<std::string, std::string> nameAndKind(const std::string& cp1251) {
    static const std::vector<std::pair<QString, QString>> shortForms{
        {QStringLiteral("улица"), QStringLiteral("ул.")},     {QStringLiteral("проспект"), QStringLiteral("пр-т")},
        {QStringLiteral("переулок"), QStringLiteral("пер.")}, {QStringLiteral("проезд"), QStringLiteral("пр-д")},
        {QStringLiteral("тупик"), QStringLiteral("туп.")},    {QStringLiteral("площадь"), QStringLiteral("пл.")},
        {QStringLiteral("бульвар"), QStringLiteral("б-р")},   {QStringLiteral("шоссе"), QStringLiteral("ш.")},
        {QStringLiteral("массив"), QStringLiteral("м-в")}};
    auto shortOf = [](const QString& w) -> QString {
        const QString l = w.toLower();
        for (const auto& [full, abbreviated] : shortForms)
            if (l == full || l == abbreviated || l + QLatin1Char('.') == abbreviated) return abbreviated;
        return {};
    };
    const QString name = QString::fromStdString(cp1251ToUtf8(cp1251)).trimmed();
    // "Навои, улица": the kind after the last comma.
    const qsizetype comma = name.lastIndexOf(QLatin1Char(','));
    if (comma >= 0) {
        const QString kind = shortOf(name.mid(comma + 1).trimmed());
        if (!kind.isEmpty()) return {name.left(comma).trimmed().toStdString(), kind.toStdString()};
    }
    // "улица Навои", "Навои улица".
    const QStringList words = name.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() >= 2) {
        if (const QString k = shortOf(words.first()); !k.isEmpty())
            return {words.mid(1).join(QLatin1Char(' ')).toStdString(), k.toStdString()};
        if (const QString k = shortOf(words.last()); !k.isEmpty())
            return {words.mid(0, words.size() - 1).join(QLatin1Char(' ')).toStdString(), k.toStdString()};
    }
    return {name.toStdString(), std::string()};
}

double segmentDistance(double px, double py, const TXY& a, const TXY& b, double& qx, double& qy) {
    const double dx = b.X - a.X, dy = b.Y - a.Y, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((px - a.X) * dx + (py - a.Y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    qx = a.X + t * dx;
    qy = a.Y + t * dy;
    return std::hypot(px - qx, py - qy);
}

bool finite(const TXY& p) { return std::isfinite(p.X) && std::isfinite(p.Y); }

}  // namespace

std::string AddressKey(std::string_view utf8) {
    std::string key;
    for (const QString& w : streetWords(folded(utf8))) {
        const std::string l = latinWord(w);
        if (l.empty()) continue;
        if (!key.empty()) key += ' ';
        key += l;
    }
    return key;
}

std::string AddressKind(std::string_view utf8) {
    static const std::vector<std::pair<QString, QStringList>> kinds{
        {QStringLiteral("ул."), {QStringLiteral("улица"), QStringLiteral("ул"), QStringLiteral("ulitsa"), QStringLiteral("ulica"), QStringLiteral("ul")}},
        {QStringLiteral("пр-т"), {QStringLiteral("проспект"), QStringLiteral("пр"), QStringLiteral("пр-т"), QStringLiteral("prospekt"), QStringLiteral("pr")}},
        {QStringLiteral("пер."), {QStringLiteral("переулок"), QStringLiteral("пер"), QStringLiteral("pereulok"), QStringLiteral("per")}},
        {QStringLiteral("пр-д"), {QStringLiteral("проезд"), QStringLiteral("пр-д"), QStringLiteral("proezd")}},
        {QStringLiteral("туп."), {QStringLiteral("тупик"), QStringLiteral("туп"), QStringLiteral("tupik")}},
        {QStringLiteral("пл."), {QStringLiteral("площадь"), QStringLiteral("пл"), QStringLiteral("ploshchad"), QStringLiteral("ploshad"), QStringLiteral("pl")}},
        {QStringLiteral("б-р"), {QStringLiteral("бульвар"), QStringLiteral("б-р"), QStringLiteral("bulvar")}},
        {QStringLiteral("ш."), {QStringLiteral("шоссе"), QStringLiteral("ш"), QStringLiteral("shosse"), QStringLiteral("sh")}},
        {QStringLiteral("м-в"), {QStringLiteral("массив"), QStringLiteral("м-в"), QStringLiteral("massiv")}}};
    // Words of letters, a hyphenated abbreviation ("пр-т") kept whole.
    const QString text = folded(utf8);
    QStringList words;
    QString cur;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const QChar c = i < text.size() ? text[i] : QChar();
        const bool inner = c == QLatin1Char('-') && !cur.isEmpty() && i + 1 < text.size() && text[i + 1].isLetter();
        if (c.isLetterOrNumber() || inner) {
            cur += c;
        } else if (!cur.isEmpty()) {
            words << cur;
            cur.clear();
        }
    }
    for (const QString& w : words)
        for (const auto& [shortForm, forms] : kinds)
            if (forms.contains(w)) return shortForm.toStdString();
    return {};
}

std::string HouseKey(std::string_view utf8) {
    QString s = folded(utf8);
    s.replace(QStringLiteral("корпус"), QStringLiteral("к"));
    s.replace(QStringLiteral("корп"), QStringLiteral("к"));
    std::string key;
    for (QChar c : s) {
        if (c.isSpace() || c == QLatin1Char('.') || c == QLatin1Char(',')) continue;
        if (const char* l = latinOf(c.unicode())) key += l;
        else if (c.unicode() < 128) key += char(c.unicode());
        else key += QString(c).toUtf8().toStdString();
    }
    return oneSpelling(key);
}

namespace {

// Windows-1251 bytes that the quick keys below read; a text with another
// byte above 0x7F takes the way through Unicode.
bool quickByte(unsigned char c) { return c < 0x80 || c >= 0xC0 || c == 0xA8 || c == 0xB8 || c == 0xA1 || c == 0xA2; }

unsigned char lowerCp1251(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDF) return c + 32;
    if (c == 0xA8 || c == 0xB8) return 0xE5;  // Ё, ё: е
    if (c == 0xA1) return 0xA2;              // Ў
    return c;
}

// The Latin of a lower-case Windows-1251 letter (а..я, ў); null for others.
const char* latinOfCp1251(unsigned char c) {
    static const char* const table[32] = {"a", "b", "v", "g", "d", "e", "j", "z", "i", "y", "k", "l", "m", "n", "o", "p",
                                          "r", "s", "t", "u", "f", "x", "c", "ch", "sh", "sh", "", "y", "", "e", "yu", "ya"};
    if (c >= 0xE0) return table[c - 0xE0];
    if (c == 0xA2) return "o";
    return nullptr;
}

bool alnumCp1251(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0xE0 || c == 0xA2;
}

const std::vector<std::string>& kindWordsCp1251() {
    static const std::vector<std::string> w = [] {
        std::vector<std::string> out;
        for (const char* k : {"улица", "ул", "проспект", "пр", "переулок", "пер", "проезд", "тупик", "площадь", "пл", "бульвар",
                              "шоссе", "ш", "массив", "ulitsa", "ulica", "ul", "prospekt", "pr", "pereulok", "per",
                              "proezd", "tupik", "ploshchad", "ploshad", "pl", "bulvar", "shosse", "sh", "massiv"})
            out.push_back(utf8ToCp1251(k));
        return out;
    }();
    return w;
}

}  // namespace

std::string AddressKeyCp1251(std::string_view cp1251) {
    for (unsigned char c : cp1251)
        if (!quickByte(c)) return AddressKey(cp1251ToUtf8(cp1251));
    // Words of letters and digits, lower case; whether each follows a hyphen.
    std::vector<std::string> words;
    std::vector<bool> afterHyphen;
    std::string cur;
    bool hyphen = false;
    auto end = [&](unsigned char sep) {
        if (!cur.empty()) {
            words.push_back(cur);
            afterHyphen.push_back(hyphen);
            cur.clear();
            hyphen = sep == '-';
        } else {
            hyphen = false;
        }
    };
    for (unsigned char raw : cp1251) {
        if (raw == '\'' || raw == '`') continue;  // apostrophes
        const unsigned char c = lowerCp1251(raw);
        if (alnumCp1251(c)) cur += char(c);
        else end(c);
    }
    end(0);
    static const std::string pr = utf8ToCp1251("пр"), t = utf8ToCp1251("т"), d = utf8ToCp1251("д"),
                             b = utf8ToCp1251("б"), r = utf8ToCp1251("р"), m = utf8ToCp1251("м"), v = utf8ToCp1251("в");
    const std::vector<std::string>& kinds = kindWordsCp1251();
    std::string key;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i + 1 < words.size() && afterHyphen[i + 1]) {
            const std::string& a = words[i];
            const std::string& z = words[i + 1];
            if ((a == pr && (z == t || z == d)) || (a == b && z == r) || (a == m && z == v)) {
                ++i;
                continue;
            }
        }
        if (std::find(kinds.begin(), kinds.end(), words[i]) != kinds.end()) continue;
        std::string latin;
        for (unsigned char c : words[i])
            if (const char* l = latinOfCp1251(c)) latin += l;
            else latin += char(c);
        latin = oneSpelling(latin);
        if (latin.empty()) continue;
        if (!key.empty()) key += ' ';
        key += latin;
    }
    return key;
}

std::string HouseKeyCp1251(std::string_view cp1251) {
    for (unsigned char c : cp1251)
        if (!quickByte(c) || c == '\'' || c == '`') return HouseKey(cp1251ToUtf8(cp1251));
    std::string s;
    for (unsigned char c : cp1251) s += char(lowerCp1251(c));
    static const std::string korpus = utf8ToCp1251("корпус"), korp = utf8ToCp1251("корп"), k = utf8ToCp1251("к");
    for (const std::string* w : {&korpus, &korp})
        for (size_t at = s.find(*w); at != std::string::npos; at = s.find(*w, at + k.size())) s.replace(at, w->size(), k);
    std::string key;
    for (unsigned char c : s) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == '.' || c == ',') continue;
        if (const char* l = latinOfCp1251(c)) key += l;
        else if (c < 0x80) key += char(c);
        else key += cp1251ToUtf8(std::string(1, char(c)));
    }
    return oneSpelling(key);
}

std::vector<AddressQuery> ReadAddressQuery(std::string_view utf8) {
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    // A candidate's own text typed back: its former name ("(быв. Ленина)")
    // and what tells it from a namesake (" — ...") are not part of the query.
    QString text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
    for (const QString& tail : {QStringLiteral(" — "), QStringLiteral("(быв.")}) {
        const qsizetype at = text.indexOf(tail);
        if (at > 0) text.truncate(at);
    }
    const QStringList t = text.split(separators, Qt::SkipEmptyParts);
    std::vector<AddressQuery> out;
    auto join = [&](qsizetype from, qsizetype to) {
        QStringList part;
        for (qsizetype i = from; i < to; ++i) part << t[i];
        return part.join(QLatin1Char(' ')).toStdString();
    };
    const qsizetype n = t.size();
    // The number at the end: its letter and building may follow it.
    qsizetype i = n;
    while (i > 0 && (startsWithDigit(t[i - 1]) || isHouseWord(t[i - 1]) || singleLetter(t[i - 1]))) --i;
    while (i < n && !startsWithDigit(t[i])) ++i;
    if (i > 0 && i < n) out.push_back({join(0, i), join(i, n)});
    // The number at the start.
    if (n >= 2 && startsWithDigit(t[0])) {
        qsizetype j = 1;
        while (j < n - 1 && (singleLetter(t[j]) || isHouseWord(t[j]) || (startsWithDigit(t[j]) && isHouseWord(t[j - 1]))))
            ++j;
        out.push_back({join(j, n), join(0, j)});
    }
    out.push_back({join(0, n), std::string()});
    return out;
}

TXY AxisMiddle(const Trues& s) {
    std::vector<TXY> pts;
    for (const TXY& p : s.Axis)
        if (finite(p)) pts.push_back(p);
    if (pts.empty()) return {(s.X1 + s.X2) / 2, (s.Y1 + s.Y2) / 2};
    double total = 0;
    for (size_t i = 1; i < pts.size(); ++i) total += std::hypot(pts[i].X - pts[i - 1].X, pts[i].Y - pts[i - 1].Y);
    double left = total / 2;
    for (size_t i = 1; i < pts.size(); ++i) {
        const double d = std::hypot(pts[i].X - pts[i - 1].X, pts[i].Y - pts[i - 1].Y);
        if (d >= left && d > 0) {
            const double t = left / d;
            return {pts[i - 1].X + t * (pts[i].X - pts[i - 1].X), pts[i - 1].Y + t * (pts[i].Y - pts[i - 1].Y)};
        }
        left -= d;
    }
    return pts.back();
}

namespace {
std::string formerPart(const Trues& s) {
    if (s.NewName.empty() || s.OldName.empty() || s.NewName == s.OldName) return {};
    return " (быв. " + nameAndKind(s.OldName).first + ")";
}
const std::string& currentName(const Trues& s) { return s.NewName.empty() ? s.OldName : s.NewName; }
}  // namespace

std::string AddressText(const AddressHit& h) {
    const Trues& s = *h.street;
    const auto [name, kind] = nameAndKind(currentName(s));
    std::string out = name;
    if (!kind.empty()) out += " " + kind;
    if (h.house >= 0 && size_t(h.house) < s.Houses.size()) out += ", " + cp1251ToUtf8(s.Houses[size_t(h.house)].Nomer());
    return out + formerPart(s);
}

std::vector<std::string> AddressDistinctions(const std::vector<AddressHit>& hits,
                                             const std::function<std::string(double, double)>& districtAt) {
    std::vector<std::string> texts, out(hits.size());
    for (const AddressHit& h : hits) texts.push_back(AddressText(h));
    std::vector<bool> done(hits.size());
    for (size_t i = 0; i < hits.size(); ++i) {
        if (done[i]) continue;
        std::vector<size_t> alike;
        for (size_t j = i; j < hits.size(); ++j)
            if (texts[j] == texts[i]) alike.push_back(j);
        for (size_t j : alike) done[j] = true;
        if (alike.size() < 2) continue;
        // The districts, when every one is known and no two are the same.
        std::vector<std::string> districts;
        for (size_t j : alike) districts.push_back(districtAt ? districtAt(hits[j].X, hits[j].Y) : std::string());
        bool apart = true;
        for (size_t a = 0; a < districts.size() && apart; ++a) {
            apart = !districts[a].empty();
            for (size_t b = 0; b < a && apart; ++b) apart = districts[a] != districts[b];
        }
        if (apart) {
            for (size_t k = 0; k < alike.size(); ++k) out[alike[k]] = districts[k];
            continue;
        }
        std::vector<std::string> starts;
        for (size_t j : alike) {
            const Trues& s = *hits[j].street;
            const TXY start = !s.Axis.empty() && finite(s.Axis[0]) ? s.Axis[0] : TXY{s.X1, s.Y1};
            char buf[96];
            std::snprintf(buf, sizeof buf, "ось от %.0f, %.0f", start.X, start.Y);
            starts.push_back(buf);
        }
        // Houses of one street under one number: nothing of the street tells them apart.
        if (std::all_of(starts.begin(), starts.end(), [&](const std::string& t) { return t == starts[0]; })) continue;
        for (size_t k = 0; k < alike.size(); ++k) out[alike[k]] = starts[k];
    }
    return out;
}

std::vector<std::string> AddressTexts(const std::vector<AddressHit>& hits,
                                      const std::function<std::string(double, double)>& districtAt) {
    const std::vector<std::string> apart = AddressDistinctions(hits, districtAt);
    std::vector<std::string> out;
    for (size_t i = 0; i < hits.size(); ++i) out.push_back(AddressText(hits[i]) + (apart[i].empty() ? "" : " — " + apart[i]));
    return out;
}

std::string AddressSpoken(const Trues& s, int house) {
    const auto [name, kind] = nameAndKind(currentName(s));
    std::string out = kind.empty() ? name : kind + " " + name;
    out += formerPart(s);
    if (house >= 0 && size_t(house) < s.Houses.size()) out += ", " + cp1251ToUtf8(s.Houses[size_t(house)].Nomer());
    return out;
}

// ---- the index ---------------------------------------------------------------------------

bool AddressIndex::Rank::operator<(const Rank& o) const {
    // A street with the house asked for comes first, whatever else.
    if (noHouse != o.noHouse) return !noHouse;
    if (fuzzy != o.fuzzy) return !fuzzy;
    if (cls != o.cls) return cls < o.cls;
    if (otherKind != o.otherKind) return !otherKind;
    if (old != o.old) return !old;
    return order < o.order;
}

void AddressIndex::derive(Entry& e) const {
    // Only what differs from the texts the keys were made from is made again.
    const Trues& s = *e.street;
    const std::string& cur = currentName(s);
    const std::string& former = s.NewName.empty() ? std::string() : s.OldName;
    if (!e.derived || cur != e.rawCurrent || former != e.rawOld) {
        e.rawCurrent = cur;
        e.rawOld = former;
        e.current = AddressKeyCp1251(cur);
        e.old = former.empty() ? std::string() : AddressKeyCp1251(former);
        if (e.old == e.current) e.old.clear();
        e.currentKind = nameAndKind(cur).second;
        e.oldKind = former.empty() ? std::string() : nameAndKind(former).second;
        e.currentWords = splitKey(e.current);
        e.oldWords = splitKey(e.old);
        e.currentBytes = bytesOf(e.current);
        e.oldBytes = bytesOf(e.old);
    }
    const size_t had = e.derived ? e.houses.size() : 0;
    e.houses.resize(s.Houses.size());
    for (size_t k = 0; k < s.Houses.size(); ++k) {
        House& h = e.houses[k];
        if (k < had && h.raw == s.Houses[k].NomerField) continue;
        h.raw = s.Houses[k].NomerField;
        h.key = HouseKeyCp1251(s.Houses[k].Nomer());
        h.number = leadingNumber(h.key);
    }
    e.derived = true;
}

void AddressIndex::clear() {
    ++revision_;
    entries_.clear();
    where_.clear();
    nextOrder_ = 0;
    gridValid_ = false;
    grid_.clear();
}

void AddressIndex::build(const std::vector<StreetRef>& streets) {
    ++revision_;
    clear();
    entries_.reserve(streets.size());
    where_.reserve(streets.size());
    for (const StreetRef& s : streets) added(s);
}

void AddressIndex::added(const StreetRef& s) {
    ++revision_;
    if (!s) return;
    const auto [at, fresh] = where_.try_emplace(s.get(), entries_.size());
    if (fresh) entries_.emplace_back();
    Entry& e = entries_[at->second];
    e.street = s;
    e.order = nextOrder_++;
    derive(e);
    gridValid_ = false;
}

void AddressIndex::changed(const StreetRef& s) {
    ++revision_;
    if (!s) return;
    const auto it = where_.find(s.get());
    if (it == where_.end()) return added(s);
    derive(entries_[it->second]);
    gridValid_ = false;
}

void AddressIndex::removed(const StreetRef& s) {
    ++revision_;
    if (!s) return;
    const auto it = where_.find(s.get());
    if (it == where_.end()) return;
    // The last entry takes the place of the one that goes.
    const size_t k = it->second;
    where_.erase(it);
    if (k + 1 != entries_.size()) {
        entries_[k] = std::move(entries_.back());
        where_[entries_[k].street.get()] = k;
    }
    entries_.pop_back();
    gridValid_ = false;
}

void AddressIndex::movedToEnd(const StreetRef& s) {
    ++revision_;
    const auto it = where_.find(s.get());
    if (it == where_.end()) return added(s);
    entries_[it->second].order = nextOrder_++;
    derive(entries_[it->second]);
    gridValid_ = false;
}

std::optional<AddressIndex::Rank> AddressIndex::rank(const Entry& e, const Query& q) const {
    std::optional<Rank> best;
    auto offer = [&](const Rank& r) {
        if (!best || r < *best) best = r;
    };
    const std::string& key = q.key;
    for (const bool old : {false, true}) {
        const std::string& name = old ? e.old : e.current;
        if (name.empty()) continue;
        const bool otherKind = !q.kind.empty() && (old ? e.oldKind : e.currentKind) != q.kind;
        // A byte of the text that the name lacks: no exact match; with
        // more such bytes than words that may be one letter off, none at all.
        const uint64_t lacking = q.bytes & ~(old ? e.oldBytes : e.currentBytes);
        if (lacking == 0) {
            if (name == key) offer({false, 0, old, e.order, otherKind});
            else if (name.compare(0, key.size(), key) == 0) offer({false, 1, old, e.order, otherKind});
            else if (name.find(key) != std::string::npos) offer({false, 2, old, e.order, otherKind});
        }
        if ((best && !best->fuzzy) || std::popcount(lacking) > q.longWords) continue;
        // Each word asked for: one of the name's words, one letter off
        // when it has five letters or more, or the beginning of one when
        // it is the last word typed.
        const std::vector<std::string>& words = q.words;
        const std::vector<std::string>& nameWords = old ? e.oldWords : e.currentWords;
        bool all = true, exactOrder = words.size() == nameWords.size();
        for (size_t i = 0; i < words.size() && all; ++i) {
            const std::string& w = words[i];
            bool found = false;
            for (size_t j = 0; j < nameWords.size() && !found; ++j) {
                const std::string& n = nameWords[j];
                if (n == w || (w.size() >= 5 && oneOff(w, n)) ||
                    (i + 1 == words.size() && n.compare(0, w.size(), w) == 0)) {
                    found = true;
                    exactOrder = exactOrder && i == j;
                }
            }
            all = found;
        }
        if (all) offer({true, exactOrder ? 0 : 2, old, e.order, otherKind});
    }
    return best;
}

void AddressIndex::findIn(const AddressQuery& q, size_t limit, std::vector<std::pair<Rank, AddressHit>>& out) const {
    Query query;
    query.key = AddressKey(q.street);
    if (query.key.empty() || limit == 0) return;
    query.words = splitKey(query.key);
    query.bytes = bytesOf(query.key);
    for (const std::string& w : query.words) query.longWords += w.size() >= 5;
    query.kind = AddressKind(q.street);
    const std::string houseKey = HouseKey(q.house);
    const long houseNumber = leadingNumber(houseKey);
    auto hasHouse = [&](const Entry& e) {
        for (const House& h : e.houses)
            if (h.key == houseKey) return true;
        return false;
    };
    std::vector<std::pair<Rank, const Entry*>> matched;
    for (const Entry& e : entries_)
        if (std::optional<Rank> r = rank(e, query)) {
            r->noHouse = !houseKey.empty() && !hasHouse(e);
            matched.push_back({*r, &e});
        }
    // Every street gives a candidate at least: the first `limit` streets
    // in rank order give all that can be shown.
    auto byRank = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (matched.size() > limit) {
        std::nth_element(matched.begin(), matched.begin() + long(limit), matched.end(), byRank);
        matched.resize(limit);
    }
    std::sort(matched.begin(), matched.end(), byRank);
    for (const auto& m : matched) {
        const Rank& r = m.first;
        const Entry& e = *m.second;
        AddressHit h;
        h.street = e.street;
        h.fuzzy = r.fuzzy;
        h.matchClass = r.cls;
        h.oldName = r.old;
        const Trues& s = *e.street;
        auto withHouse = [&](int k, bool exact) {
            AddressHit x = h;
            x.house = k;
            x.exactHouse = exact;
            const TDom& d = s.Houses[size_t(k)];
            x.X = d.X;
            x.Y = d.Y;
            out.push_back({r, x});
        };
        auto streetItself = [&] {
            const TXY m = AxisMiddle(s);
            h.X = m.X;
            h.Y = m.Y;
            out.push_back({r, h});
        };
        if (houseKey.empty() || e.houses.empty()) {
            streetItself();
            continue;
        }
        bool any = false;
        for (size_t k = 0; k < e.houses.size(); ++k)
            if (e.houses[k].key == houseKey) {
                withHouse(int(k), true);
                any = true;
            }
        if (any) continue;
        // No such house: the nearest numbers on the street.
        std::vector<std::pair<long, size_t>> near;
        if (houseNumber >= 0)
            for (size_t k = 0; k < e.houses.size(); ++k)
                if (e.houses[k].number >= 0) near.push_back({std::labs(e.houses[k].number - houseNumber), k});
        if (near.empty()) {
            streetItself();
            continue;
        }
        std::stable_sort(near.begin(), near.end(), [&](const auto& a, const auto& b) {
            if (a.first != b.first) return a.first < b.first;
            return e.houses[a.second].number < e.houses[b.second].number;
        });
        for (size_t k = 0; k < near.size() && k < 3; ++k) withHouse(int(near[k].second), false);
    }
}

std::vector<AddressHit> AddressIndex::find(std::string_view queryUtf8, size_t limit) const {
    // Each reading of the query; the one whose first candidate ranks best
    // (the earlier reading on a tie).
    std::vector<std::pair<Rank, AddressHit>> best;
    for (const AddressQuery& q : ReadAddressQuery(queryUtf8)) {
        // A whole name matched exactly, with the house asked for: no later
        // reading can come first.
        const auto settled = [](const Rank& r) { return !r.noHouse && !r.fuzzy && r.cls == 0; };
        if (!best.empty() && settled(best.front().first)) break;
        std::vector<std::pair<Rank, AddressHit>> hits;
        findIn(q, limit, hits);
        if (hits.empty()) continue;
        if (best.empty()) {
            best = std::move(hits);
            continue;
        }
        const Rank& a = hits.front().first;
        const Rank& b = best.front().first;
        if (a.noHouse != b.noHouse ? !a.noHouse : a.fuzzy != b.fuzzy ? !a.fuzzy : a.cls < b.cls) best = std::move(hits);
    }
    std::vector<AddressHit> out;
    for (size_t i = 0; i < best.size() && out.size() < limit; ++i) out.push_back(best[i].second);
    return out;
}

// ---- what is here -------------------------------------------------------------------------

void AddressIndex::buildGrid() const {
    grid_.clear();
    gridValid_ = true;
    double minX = std::numeric_limits<double>::max(), minY = minX, maxX = -minX, maxY = -minX;
    auto extend = [&](const TXY& p) {
        if (!finite(p)) return;
        minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
        minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
    };
    for (const Entry& e : entries_) {
        for (const TXY& p : e.street->Axis) extend(p);
        for (const TDom& h : e.street->Houses) extend({h.X, h.Y});
    }
    if (minX > maxX) {
        gridCols_ = gridRows_ = 0;
        return;
    }
    // Cells of 200 m, fewer when the extent is very wide.
    cell_ = std::max(200.0, std::max(maxX - minX, maxY - minY) / 4096);
    gridMinX_ = minX;
    gridMinY_ = minY;
    gridRows_ = int((maxX - minX) / cell_) + 1;
    gridCols_ = int((maxY - minY) / cell_) + 1;
    auto cellOf = [&](double x, double y) {
        const int64_t r = std::clamp<int64_t>(int64_t((x - gridMinX_) / cell_), 0, gridRows_ - 1);
        const int64_t c = std::clamp<int64_t>(int64_t((y - gridMinY_) / cell_), 0, gridCols_ - 1);
        return std::pair<int64_t, int64_t>{r, c};
    };
    for (const Entry& e : entries_) {
        const Trues& s = *e.street;
        for (size_t k = 0; k < s.Houses.size(); ++k) {
            const TDom& h = s.Houses[k];
            if (!finite({h.X, h.Y})) continue;
            const auto [r, c] = cellOf(h.X, h.Y);
            grid_[r * gridCols_ + c].houses.push_back({&e, int(k)});
        }
        for (size_t k = 0; k + 1 < s.Axis.size(); ++k) {
            const TXY& a = s.Axis[k];
            const TXY& b = s.Axis[k + 1];
            if (!finite(a) || !finite(b)) continue;
            const auto [r0, c0] = cellOf(std::min(a.X, b.X), std::min(a.Y, b.Y));
            const auto [r1, c1] = cellOf(std::max(a.X, b.X), std::max(a.Y, b.Y));
            for (int64_t r = r0; r <= r1; ++r)
                for (int64_t c = c0; c <= c1; ++c) grid_[r * gridCols_ + c].segments.push_back({&e, int(k)});
        }
    }
}

std::optional<AddressNear> AddressIndex::nearest(double x, double y, double reach, double farthest) const {
    if (!std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
    if (!gridValid_) buildGrid();
    if (gridRows_ == 0) return std::nullopt;
    const int64_t r0 = int64_t(std::floor((x - gridMinX_) / cell_)), c0 = int64_t(std::floor((y - gridMinY_) / cell_));
    // The cells of the grid on the square ring `ring` cells round the point's.
    auto visit = [&](int64_t ring, auto&& each) {
        auto at = [&](int64_t r, int64_t c) {
            const auto it = grid_.find(r * gridCols_ + c);
            if (it != grid_.end()) each(it->second);
        };
        const int64_t rFrom = std::max<int64_t>(0, r0 - ring), rTo = std::min<int64_t>(gridRows_ - 1, r0 + ring);
        const int64_t cFrom = std::max<int64_t>(0, c0 - ring), cTo = std::min<int64_t>(gridCols_ - 1, c0 + ring);
        for (int64_t r = rFrom; r <= rTo; ++r) {
            if (std::llabs(r - r0) == ring) {
                for (int64_t c = cFrom; c <= cTo; ++c) at(r, c);
            } else {
                if (c0 - ring >= 0 && c0 - ring < gridCols_) at(r, c0 - ring);
                if (ring > 0 && c0 + ring >= 0 && c0 + ring < gridCols_) at(r, c0 + ring);
            }
        }
    };
    // The nearest house within `within` metres.
    std::optional<AddressNear> best;
    uint64_t bestOrder = 0;
    auto nearestHouse = [&](double within) {
        const int64_t houseRings = int64_t(std::ceil(within / cell_)) + 1;
        for (int64_t ring = 0; ring <= houseRings; ++ring)
            visit(ring, [&](const Cell& cell) {
                for (const auto& [e, k] : cell.houses) {
                    const TDom& h = e->street->Houses[size_t(k)];
                    const double d = std::hypot(h.X - x, h.Y - y);
                    if (d > within) continue;
                    if (!best || d < best->distance || (d == best->distance && e->order < bestOrder)) {
                        best = AddressNear{e->street, k, d, h.X, h.Y};
                        bestOrder = e->order;
                    }
                }
            });
    };
    nearestHouse(reach);
    if (best) return best;
    // The street whose axis is nearest within the farthest: rings until no
    // nearer can come.
    const int64_t maxRing = std::min<int64_t>(int64_t(std::ceil(std::min(farthest, 1e12) / cell_)) + 1,
                                              std::max<int64_t>({r0, c0, gridRows_ - r0, gridCols_ - c0, 1}) + 1);
    for (int64_t ring = 0; ring <= maxRing; ++ring) {
        visit(ring, [&](const Cell& cell) {
            for (const auto& [e, k] : cell.segments) {
                double qx = 0, qy = 0;
                const double d = segmentDistance(x, y, e->street->Axis[size_t(k)], e->street->Axis[size_t(k) + 1], qx, qy);
                if (d > farthest) continue;
                if (!best || d < best->distance || (d == best->distance && e->order < bestOrder)) {
                    best = AddressNear{e->street, -1, d, qx, qy};
                    bestOrder = e->order;
                }
            }
        });
        // Everything nearer than `ring` cells has been seen.
        if (best && best->distance <= double(ring) * cell_) break;
    }
    // No axis near: a house beyond the reach, within the farthest.
    if (!best) nearestHouse(farthest);
    return best;
}

}  // namespace dm
