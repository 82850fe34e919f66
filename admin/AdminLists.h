#pragma once
// The plain list files of regions ("Viloyats.txt") and of the districts of a
// region ("<region>.ray"): one entry per line, "name;stem;".  Text stays in
// Windows-1251 bytes.
#include "mapdata/BinaryIO.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dm {

struct ListEntry {
    std::string name;
    std::string file;  // the file or folder stem
    int line = 0;      // 1-based line of the file it was read from (0: not read)
    bool operator==(const ListEntry& o) const { return name == o.name && file == o.file; }
};

// The text before the first ";" is the name and the text between the first
// and the second ";" the file; a line without a second ";" gives an empty
// file, one without any ";" an empty name and an empty file.  A trailing
// carriage return is not part of the line.
ListEntry ParseListLine(std::string_view line);

// Every line of a list file (a missing last line break is fine).  Throws
// FileError when the file cannot be read.
std::vector<ListEntry> ReadPlainList(const std::filesystem::path& path);

// "name;file;" and CR LF for each entry, written through a temporary file.
void WritePlainList(const std::filesystem::path& path, const std::vector<ListEntry>& entries);

// The district list of a region with every stem checked: a line with an
// unsafe stem is left out, and its refusal (naming the list file and the
// line) added to `refused`.  A missing file throws FileError "Файл <path>
// не существует".
std::vector<ListEntry> ReadDistrictList(const std::filesystem::path& path, std::vector<std::string>* refused = nullptr);
// The refusal of an unsafe stem (UTF-8).
std::string UnsafeStemText(const std::filesystem::path& path, const ListEntry& e);
// Lines joined with line breaks.
std::string joinLines(const std::vector<std::string>& lines);
// Windows-1251 text as UTF-8 with its control characters shown as \xNN.
std::string VisibleText(std::string_view cp1251);

// A file or folder name from Windows-1251 list text.
std::filesystem::path StemPath(std::string_view cp1251);

// StartDir/<region>/<region>.ray
std::filesystem::path DistrictListPath(const std::filesystem::path& startDir, const std::string& region);

}  // namespace dm
