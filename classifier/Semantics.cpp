#include "Semantics.h"

#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <charconv>

namespace dm {

int PenStyleFromDigit(int d) { return d >= 1 && d <= 6 ? d - 1 : -1; }

int BrushStyleFromDigit(int d) {
    static const int v[] = {-1, 0, 2, 3, 4, 5, 6, 7, 1};
    return d >= 1 && d <= 8 ? v[d] : -1;
}

int PenStyleToDigit(int v) { return v >= 0 && v <= 5 ? v + 1 : 1; }

int BrushStyleToDigit(int v) {
    static const int d[] = {1, 8, 2, 3, 4, 5, 6, 7};
    return v >= 0 && v <= 7 ? d[v] : 1;
}

std::string SemanticField(const std::string& line, int index) {
    size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const size_t p = line.find(';', start);
        if (p == std::string::npos) return {};
        start = p + 1;
    }
    const size_t end = line.find(';', start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

namespace {
bool toInt(std::string s, int32_t& v) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(s.begin());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    if (!s.empty() && s.front() == '+') s.erase(s.begin());
    if (s.empty()) return false;
    long long x = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
    if (ec != std::errc() || p != s.data() + s.size() || x < INT32_MIN || x > INT32_MAX) return false;
    v = int32_t(x);
    return true;
}
}  // namespace

std::optional<TSemantic> ParseSemanticLine(const std::string& line, std::string* error) {
    TSemantic s;
    s.Name = SemanticField(line, 0);
    int32_t v[6];
    static const char* const kWhat[] = {"код", "цвет линии", "толщина линии", "стиль линии", "стиль заливки",
                                        "цвет заливки"};
    for (int i = 0; i < 6; ++i) {
        const std::string f = SemanticField(line, i + 1);
        if (!toInt(f, v[i])) {
            if (error) *error = "Неверное значение поля \"" + utf8ToCp1251(kWhat[i]) + "\": '" + f + "'";
            return std::nullopt;
        }
    }
    if (PenStyleFromDigit(v[3]) < 0 || BrushStyleFromDigit(v[4]) < 0) {
        if (error) *error = utf8ToCp1251("Неверная цифра стиля в строке классификатора");
        return std::nullopt;
    }
    s.Code = v[0];
    s.PenColor = v[1];
    s.PenWidth = v[2];
    s.PenStyleDigit = v[3];
    s.BrushStyleDigit = v[4];
    s.BrushColor = v[5];
    return s;
}

ActiveSemanticList SemanticsFromLines(std::vector<std::string> lines) {
    ActiveSemanticList a;
    a.Lines = std::move(lines);
    a.Names.reserve(a.Lines.size());
    for (const auto& l : a.Lines) {
        const size_t p = l.find(';');
        a.Names.push_back(p == std::string::npos ? std::string() : l.substr(0, p));
    }
    return a;
}

ActiveSemanticList LoadSemantics(const std::filesystem::path& path) { return SemanticsFromLines(ReadListFile(path)); }

std::string KodSem(const ActiveSemanticList& list, int index, TCurrentSemantic& current) {
    if (index < 0 || size_t(index) >= list.Lines.size()) return utf8ToCp1251("Семантика не выбрана");
    std::string err;
    auto s = ParseSemanticLine(list.Lines[size_t(index)], &err);
    if (!s) return err;
    current.Code = s->Code;
    current.PenColor = s->PenColor;
    current.PenWidth = s->PenWidth;
    current.PenStyle = uint8_t(PenStyleFromDigit(s->PenStyleDigit));
    current.BrushStyle = uint8_t(BrushStyleFromDigit(s->BrushStyleDigit));
    current.BrushColor = s->BrushColor;
    return {};
}

std::optional<std::string> SemanticDisplayName(const ActiveSemanticList& list, int code) {
    std::string prefix;
    for (const auto& line : list.Lines) {
        const std::string name = SemanticField(line, 0);
        const std::string codeText = SemanticField(line, 1).substr(0, 4);
        if (name.compare(0, 3, "...") != 0) prefix.clear();
        const size_t dot = line.find('.');
        // 1-based position of the first '.' must be above 3
        if (dot != std::string::npos && dot + 1 > 3 && line.compare(dot, 3, "...") == 0)
            prefix = name.substr(0, name.find('.'));
        int32_t c;
        if (toInt(codeText, c) && c == code) {
            const std::string own = name.substr(0, name.find('.'));
            if (!prefix.empty() && prefix != own) return prefix + name;
            return name;
        }
    }
    return std::nullopt;
}

}  // namespace dm

namespace dm {

std::string SemanticCodeText(const ActiveSemanticList& list, int code) {
    for (const auto& line : list.Lines) {
        const std::string text = SemanticField(line, 1).substr(0, 4);
        int32_t c;
        if (toInt(text, c) && c == code) return text;
    }
    return {};
}

}  // namespace dm
