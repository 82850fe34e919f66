#include "Layers.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace fs = std::filesystem;

namespace dm {

std::vector<std::string> LoadLayerList(const fs::path& startDir) {
    const fs::path p = resolvePathCase(startDir / "Sloys.rtf");
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) return {};
    return ReadListFile(p);
}

void SaveLayerList(const fs::path& startDir, const std::vector<std::string>& names) {
    WriteListFile(resolvePathCase(startDir / "Sloys.rtf"), names);
}

fs::path LayerCodesPath(const fs::path& startDir, const std::string& name) {
    // Five characters of Windows-1251 text are five bytes.
    const std::string stem = name.substr(0, 5);
    if (!SafeStem(stem))
        throw FileError("Слой «" + cp1251ToUtf8(name) +
                        "» не может иметь файла кодов: в первых пяти знаках его названия разделитель папок, «..» "
                        "или управляющий знак");
    // The file system names files in UTF-8; a file copied from Windows may
    // keep the Windows-1251 bytes of its name.
    const fs::path utf8 = resolvePathCase(startDir / fs::path(cp1251ToUtf8(stem) + ".rtf"));
    std::error_code ec;
    if (!fs::exists(utf8, ec)) {
        const fs::path bytes = startDir / fs::path(stem + ".rtf");
        if (fs::exists(bytes, ec)) return bytes;
    }
    return utf8;
}

const std::string* LayerSharingCodes(const std::vector<std::string>& list, const std::string& name) {
    for (const std::string& other : list)
        if (other != name && other.substr(0, 5) == name.substr(0, 5)) return &other;
    return nullptr;
}

std::vector<int> ReadLayerCodes(const fs::path& path) {
    const std::vector<std::string> lines = ReadListFile(path);
    std::vector<int> codes;
    codes.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& s = lines[i];
        // An integer, as the platform's conversion takes it: optional blanks
        // around, an optional sign, decimal digits.
        const size_t b = s.find_first_not_of(" \t");
        const size_t e = s.find_last_not_of(" \t");
        const std::string t = b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
        char* end = nullptr;
        errno = 0;
        const long v = t.empty() ? 0 : std::strtol(t.c_str(), &end, 10);
        if (t.empty() || *end != '\0' || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
            throw FileError("Файл " + pathText(path) + ", строка " + std::to_string(i + 1) + ": «" + s +
                            "» не целое число");
        codes.push_back(int(v));
    }
    return codes;
}

void WriteLayerCodes(const fs::path& path, const std::vector<int>& codes) {
    std::vector<std::string> lines;
    lines.reserve(codes.size());
    for (int c : codes) lines.push_back(std::to_string(c));
    WriteListFile(path, lines);
}

std::vector<int> BuildLayerFilter(const fs::path& startDir, const std::vector<std::string>& checked) {
    std::vector<int> filter;
    for (const std::string& name : checked) {
        const fs::path p = LayerCodesPath(startDir, name);
        std::error_code ec;
        if (!fs::is_regular_file(p, ec)) continue;
        const std::vector<int> codes = ReadLayerCodes(p);
        filter.insert(filter.end(), codes.begin(), codes.end());
    }
    return filter;
}

void AddLayer(const fs::path& startDir, std::vector<std::string>& list, const std::string& name,
              const std::vector<int>& codes) {
    const fs::path codesFile = LayerCodesPath(startDir, name);  // an unsafe name is refused first
    std::vector<std::string> next = list;
    next.push_back(name);
    SaveLayerList(startDir, next);
    list = std::move(next);
    WriteLayerCodes(codesFile, codes);
}

bool RemoveLayer(const fs::path& startDir, std::vector<std::string>& list, const std::string& name) {
    const auto it = std::find(list.begin(), list.end(), name);
    if (it == list.end()) return false;
    list.erase(it);
    std::error_code ec;
    // A name that cannot have a codes file never had one here.
    if (SafeStem(name.substr(0, 5))) fs::remove(LayerCodesPath(startDir, name), ec);
    SaveLayerList(startDir, list);
    return true;
}

}  // namespace dm
