#include "ClassifierEditor.h"

#include "Semantics.h"

#include "mapdata/Rtf.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace dm {

std::optional<std::pair<int, int>> GridCellAt(int x, int y) {
    if (x < 21 || x > 169 || y < 11 || y > 159) return std::nullopt;
    return std::make_pair((x - 20) / 10 + 1, (y - 10) / 10 + 1);
}

TZnak ComposeZnak(const ZnakGrid& grid, int32_t code, int32_t color) {
    TZnak z;
    z.Code = code;
    z.Color = color;
    int n = 0;
    for (int c = 1; c <= 15; ++c)
        for (int r = 1; r <= 15; ++r)
            if (grid.at(c, r)) {
                z.Col[size_t(n)] = c - 5;
                z.Row[size_t(n)] = r - 5;
                ++n;
            }
    z.Count = uint8_t(n);
    return z;
}

ZnakGrid GridOfZnak(const TZnak& z) {
    ZnakGrid g;
    for (int j = 0; j < std::min<int>(z.Count, kZnakMaxPixels); ++j) {
        const int c = z.Col[size_t(j)] + 5, r = z.Row[size_t(j)] + 5;
        if (c >= 1 && c <= 15 && r >= 1 && r <= 15) g.set(c, r, true);
    }
    return g;
}

std::string SemanticLine(const std::string& name, const std::string& code, int32_t penColor, int penWidth,
                         int penStyleDigit, int brushStyleDigit, int32_t brushColor) {
    return name + ";" + code + ";" + std::to_string(penColor) + ";" + std::to_string(penWidth) + ";" +
           std::to_string(penStyleDigit) + ";" + std::to_string(brushStyleDigit) + ";" + std::to_string(brushColor) +
           ";";
}

std::vector<std::string> LinesWithCode(const std::vector<std::string>& lines, int code) {
    std::vector<std::string> out;
    for (const auto& l : lines) {
        const std::string f = SemanticField(l, 1);
        char* end = nullptr;
        const long v = std::strtol(f.c_str(), &end, 10);
        if (!f.empty() && end && *end == '\0' && v == code) out.push_back(l);
    }
    return out;
}

bool ClassifierEditorModel::StoreZnak() {
    const fs::path file = EditorSymbolFile.empty() ? fs::path() : resolvePathCase(EditorSymbolFile);
    std::error_code ec;
    std::vector<TZnak> records;
    const bool haveFile = !file.empty() && fs::is_regular_file(file, ec);
    if (haveFile) records = ReadZnakFile(file);
    const size_t indexed = std::min(records.size(), kZnakIndexCap);
    long same = -1;
    for (size_t i = 0; i < indexed; ++i)
        if (records[i].Code == CurrentZnak.Code) {
            same = long(i);
            break;
        }
    // A symbol written past the indexed records could never be found by
    // its code: refused, nothing changes.
    if (haveFile && same < 0 && records.size() >= kZnakIndexCap) {
        if (tell)
            tell("В файле " + pathText(file) + " уже " + std::to_string(records.size()) +
                 " знаков: знак сверх " + std::to_string(kZnakIndexCap) + " не будет найден по коду. Знак не записан.");
        return false;
    }
    const auto it = std::find_if(ZnakList.begin(), ZnakList.end(), [&](const TZnak& z) { return z.Code == CurrentZnak.Code; });
    if (it != ZnakList.end()) {
        ZnakList.erase(it);
        ZnakList.push_back(CurrentZnak);
        if (tell) tell("Заменен в ZnakList");
    } else {
        ZnakList.push_back(CurrentZnak);
    }
    if (!haveFile) return true;
    if (same >= 0) {
        if (ask && !ask("Знак с таким кодом уже есть.Заменить?")) return false;
        records[size_t(same)] = CurrentZnak;
        ZnakIndexPos = int(same);
    } else {
        // Written as record n: the records from the cap on stay after it.
        records.insert(records.begin() + long(indexed), CurrentZnak);
    }
    WriteZnakFile(file, records);
    return true;
}

void ClassifierEditorModel::Load(const fs::path& smn) {
    const std::vector<std::string> lines = ReadListFile(resolvePathCase(smn));
    std::vector<TZnak> list;
    fs::path ris = withExtension(smn, ".ris");
    std::error_code ec;
    // The symbols are replaced only by a symbol file that is there.
    const bool haveRis = fs::is_regular_file(resolvePathCase(ris), ec);
    if (haveRis) list = ReadZnakFile(resolvePathCase(ris));
    Lines = lines;
    EditorSymbolFile = ris;
    if (haveRis) ZnakList = std::move(list);
    ZnakIndexPos = 0;
}

fs::path ClassifierEditorModel::Save(const fs::path& name) {
    const fs::path smn = withExtension(name, ".smn");
    WriteListFile(smn, Lines);
    EditorSymbolFile = withExtension(name, ".ris");
    std::error_code ec;
    if (!fs::exists(resolvePathCase(EditorSymbolFile), ec)) WriteZnakFile(EditorSymbolFile, ZnakList);
    return smn;
}

void ClassifierEditorModel::New() {
    EditorSymbolFile.clear();
    ZnakList.clear();
    Lines.clear();
    ZnakIndexPos = 0;
}

const TZnak* ClassifierEditorModel::Step(int step) {
    // The position moves first; past either end nothing is shown.
    ZnakIndexPos += step;
    const int pos = ZnakIndexPos;
    if (step > 0 && pos >= int(ZnakList.size())) {
        if (tell) tell("Последний рисунок.");
        return nullptr;
    }
    if (step < 0 && pos < 0) {
        if (tell) tell("Первый рисунок.");
        return nullptr;
    }
    if (pos < 0 || pos >= int(ZnakList.size())) return nullptr;
    CurrentZnak = ZnakList[size_t(pos)];
    return &ZnakList[size_t(pos)];
}

const TZnak* ClassifierEditorModel::Show(int code) {
    const TZnak* found = nullptr;
    for (size_t i = 0; i < ZnakList.size(); ++i)
        if (ZnakList[i].Code == code) {
            ZnakIndexPos = int(i);
            found = &ZnakList[i];
        }
    if (found) CurrentZnak = *found;
    return found;
}

}  // namespace dm
