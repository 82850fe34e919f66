#include "AdminLists.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <cstdio>

namespace fs = std::filesystem;

namespace dm {

ListEntry ParseListLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ListEntry e;
    const size_t first = line.find(';');
    if (first == std::string_view::npos) return e;
    e.name = std::string(line.substr(0, first));
    const size_t second = line.find(';', first + 1);
    if (second != std::string_view::npos) e.file = std::string(line.substr(first + 1, second - first - 1));
    return e;
}

std::vector<ListEntry> ReadPlainList(const fs::path& path) {
    const std::vector<uint8_t> bytes = readWholeFile(resolvePathCase(path));
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::vector<ListEntry> out;
    size_t at = 0;
    int line = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        ListEntry e = ParseListLine(text.substr(at, end - at));
        e.line = ++line;
        out.push_back(std::move(e));
        at = end + 1;
    }
    return out;
}

void WritePlainList(const fs::path& path, const std::vector<ListEntry>& entries) {
    std::vector<uint8_t> data;
    for (const ListEntry& e : entries) {
        data.insert(data.end(), e.name.begin(), e.name.end());
        data.push_back(';');
        data.insert(data.end(), e.file.begin(), e.file.end());
        data.push_back(';');
        data.push_back('\r');
        data.push_back('\n');
    }
    writeFileAtomically(path, data);
}

std::string UnsafeStemText(const fs::path& path, const ListEntry& e) {
    return "Файл " + pathText(path) + ", строка " + std::to_string(e.line) + ": недопустимое имя файла тумана \"" +
           VisibleText(e.file) + "\"";
}

std::vector<ListEntry> ReadDistrictList(const fs::path& path, std::vector<std::string>* refused) {
    if (!fileExistsCI(path)) throw FileError("Файл " + pathText(path) + " не существует");
    std::vector<ListEntry> list = ReadPlainList(path);
    std::vector<ListEntry> kept;
    kept.reserve(list.size());
    for (ListEntry& e : list) {
        if (SafeStem(e.file)) {
            kept.push_back(std::move(e));
        } else if (refused) {
            refused->push_back(UnsafeStemText(path, e));
        }
    }
    return kept;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += (out.empty() ? "" : "\n") + l;
    return out;
}

std::string VisibleText(std::string_view cp1251) {
    std::string out;
    for (char ch : cp1251) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += cp1251ToUtf8(std::string(1, ch));
        }
    }
    return out;
}

fs::path StemPath(std::string_view cp1251) { return fs::path(fromCp1251(cp1251).toStdString()); }

fs::path DistrictListPath(const fs::path& startDir, const std::string& region) {
    return startDir / StemPath(region) / StemPath(region + ".ray");
}

}  // namespace dm
