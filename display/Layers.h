#pragma once
// Layers: named sets of semantic codes kept in the start folder.  The layer
// list "Sloys.rtf" holds one layer name a line; each layer's codes file is
// named by the first five characters of its name (two layers whose names
// begin alike share it) and holds one code a line.  Both are written as RTF
// and read as RTF or plain Windows-1251 text.

#include <filesystem>
#include <string>
#include <vector>

namespace dm {

// Layer names (Windows-1251) of StartDir/Sloys.rtf; none when it is missing.
std::vector<std::string> LoadLayerList(const std::filesystem::path& startDir);
void SaveLayerList(const std::filesystem::path& startDir, const std::vector<std::string>& names);

// StartDir / (the first five characters of the name) + ".rtf", found
// whatever the letter case, or under the Windows-1251 bytes of its name (a
// file copied from Windows).  A name whose first five characters hold a path
// separator, "..", a drive or a control character would name a file outside
// the start folder: FileError naming the layer.
std::filesystem::path LayerCodesPath(const std::filesystem::path& startDir, const std::string& name);
// Another layer of the list that shares the codes file of `name` (the same
// first five characters, another name); none when there is none.
const std::string* LayerSharingCodes(const std::vector<std::string>& list, const std::string& name);

// The codes of a codes file in order; a line that is not an integer throws
// FileError naming the file and the line.
std::vector<int> ReadLayerCodes(const std::filesystem::path& path);
void WriteLayerCodes(const std::filesystem::path& path, const std::vector<int>& codes);

// The filter of the checked layers: their codes in the order of the layers
// and of each codes file, duplicates kept; a missing codes file gives none.
std::vector<int> BuildLayerFilter(const std::filesystem::path& startDir, const std::vector<std::string>& checked);

// "Добавить" of the layer forming dialog: appends the name to the list,
// writes the list and the layer's codes.
void AddLayer(const std::filesystem::path& startDir, std::vector<std::string>& list, const std::string& name,
              const std::vector<int>& codes);
// "Удалить": the layer whose line equals `name` goes from the list with its
// codes file (a name that cannot have one only leaves the list); false when
// no line equals it.
bool RemoveLayer(const std::filesystem::path& startDir, std::vector<std::string>& list, const std::string& name);

}  // namespace dm
