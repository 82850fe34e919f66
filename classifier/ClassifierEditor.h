#pragma once
// The classifier editor's own classifier: the semantic text, the symbol
// list and the symbol file beside it, the 15 x 15 grid a symbol is drawn
// on, and the operations of the editor's buttons.

#include "Znak.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dm {

// The drawing grid: 15 x 15 cells, column and row 1..15.
struct ZnakGrid {
    std::array<bool, 225> cells{};
    bool at(int c, int r) const { return cells[size_t((c - 1) * 15 + (r - 1))]; }
    void set(int c, int r, bool on) { cells[size_t((c - 1) * 15 + (r - 1))] = on; }
    void toggle(int c, int r) { set(c, r, !at(c, r)); }
    void clear() { cells.fill(false); }
};

// The cell under a click on the grid's picture (cells of 10 pixels, the
// grid starting at (20, 10)); none on the margins.
std::optional<std::pair<int, int>> GridCellAt(int x, int y);

// The symbol of the set cells, column by column and top to bottom in each,
// stored as column - 5 and row - 5.
TZnak ComposeZnak(const ZnakGrid& grid, int32_t code, int32_t color);
// The grid of a symbol's pixels.
ZnakGrid GridOfZnak(const TZnak& z);

// One line of the semantic list: name;code;pen colour;pen width;pen style
// digit;brush style digit;brush colour;
std::string SemanticLine(const std::string& name, const std::string& code, int32_t penColor, int penWidth,
                         int penStyleDigit, int brushStyleDigit, int32_t brushColor);
// The lines whose code field is `code` (Windows-1251 lines).
std::vector<std::string> LinesWithCode(const std::vector<std::string>& lines, int code);

class ClassifierEditorModel {
public:
    std::vector<std::string> Lines;     // the semantic text
    std::vector<TZnak> ZnakList;
    std::filesystem::path EditorSymbolFile;
    TZnak CurrentZnak;
    int ZnakIndexPos = 0;

    // How the editor asks (Yes = true) and tells.
    std::function<bool(const std::string&)> ask;
    std::function<void(const std::string&)> tell;

    // "Добавить ": the list first, then the symbol file.  Returns false
    // when the operation ended early (No to the question, or refused).
    bool StoreZnak();
    // "Загрузить": the semantic list and the whole symbol file beside it.
    void Load(const std::filesystem::path& smn);
    // "Сохранить": the list as RTF under `name` with ".smn"; the ".ris"
    // beside it is written from the list only when it does not exist yet.
    // Returns the ".smn" written.
    std::filesystem::path Save(const std::filesystem::path& name);
    // "Новый".
    void New();
    // Browsing: the record at the position after moving by `step` (+1,
    // -1); none, with the message, past either end.
    const TZnak* Step(int step);
    // "Показать рисунок": the last record of the code (its position kept).
    const TZnak* Show(int code);
};

}  // namespace dm
