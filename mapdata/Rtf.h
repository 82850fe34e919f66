#pragma once
// List files edited in a rich-text field (the semantic list, the layer list
// and layer code files): one paragraph per line, Windows-1251.  They are read
// as Rich Text Format or, when the content is not valid RTF, as plain text.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dm {

// Paragraph texts of an RTF document as Windows-1251 bytes; false when the
// data is not a complete RTF document (then nothing is guaranteed in `out`).
bool ParseRtf(std::string_view data, std::vector<std::string>& out);
// Lines of plain text (CR LF, LF or CR); no empty line after a final break.
std::vector<std::string> SplitPlainLines(std::string_view data);
// RTF when it parses as RTF, plain text otherwise.
std::vector<std::string> ReadListText(std::string_view data);
// A minimal RTF document with a Cyrillic charset, one paragraph per line.
std::string WriteRtf(const std::vector<std::string>& lines);

// File forms; reading throws FileError when the file cannot be read,
// writing goes through a temporary file.
std::vector<std::string> ReadListFile(const std::filesystem::path& path);
void WriteListFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

}  // namespace dm
