#pragma once
// The semantic list: one classifier entry per line, seven fields each
// followed by ';' (name; code; pen colour; pen width; pen style digit; brush
// style digit; brush colour;), Windows-1251, in the author's order.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace dm {

// One parsed line.
struct TSemantic {
    std::string Name;     // Windows-1251
    int32_t Code = -1;
    int32_t PenColor = 0;
    int32_t PenWidth = 1;
    int PenStyleDigit = 1;
    int BrushStyleDigit = 1;
    int32_t BrushColor = 0;
};

// The chosen semantic: the code (-1 = none) and the style an object takes.
struct TCurrentSemantic {
    int32_t Code = -1;
    int32_t PenColor = 0;
    int32_t PenWidth = 1;
    uint8_t PenStyle = 0;
    uint8_t BrushStyle = 0;
    int32_t BrushColor = 0;
};

// The active semantic list: the whole lines in file order and, at the same
// index, the names shown by the chooser.
struct ActiveSemanticList {
    std::vector<std::string> Lines;
    std::vector<std::string> Names;
};

// Pen style digit 1..6 -> pen style value 0..5; brush style digit 1..8 ->
// brush style value (8 = hollow -> 1).  -1 for a digit outside the table.
int PenStyleFromDigit(int digit);
int BrushStyleFromDigit(int digit);
int PenStyleToDigit(int value);
int BrushStyleToDigit(int value);

// Text of field `index` (0-based) of a line: the text before the index-th ';'.
std::string SemanticField(const std::string& line, int index);

// Parses fields 2..7 of a line; an error text when a field is not a number
// or a style digit is outside its table.
std::optional<TSemantic> ParseSemanticLine(const std::string& line, std::string* error = nullptr);

// Reads the semantic list file (RTF or plain text).  Throws FileError.
ActiveSemanticList LoadSemantics(const std::filesystem::path& path);
ActiveSemanticList SemanticsFromLines(std::vector<std::string> lines);

// The chooser's click: sets `current` from line `index` (-1: nothing
// selected).  Returns an empty string, or the message to show ("Семантика не
// выбрана", or what is wrong with the line); `current` is then unchanged.
std::string KodSem(const ActiveSemanticList& list, int index, TCurrentSemantic& current);

// The name under which a code is shown, with its group heading as prefix;
// nullopt when no line has the code.  Windows-1251.
std::optional<std::string> SemanticDisplayName(const ActiveSemanticList& list, int code);
// The code field (at most four characters) of the first line with the code.
std::string SemanticCodeText(const ActiveSemanticList& list, int code);

}  // namespace dm
