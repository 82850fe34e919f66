#pragma once
// The user table: a free grid of text cells with named columns of given
// widths, kept in a text file (Windows-1251, one value a line: the row
// count, the column count, then column by column its width and its cells,
// title first), and printed as a ruled table.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QPainter;

namespace dm {

struct UserTable {
    // cells[c][r]: column c, row r; row 0 holds the column titles.
    std::vector<std::vector<std::string>> cells;
    std::vector<int> widths;

    // A new table: one column "Номер" of width 64, five rows.
    static UserTable New();
    int rows() const { return cells.empty() ? 0 : int(cells[0].size()); }
    int columns() const { return int(cells.size()); }
    void setRows(int r);
    void addColumn(const std::string& title, int width);
    void removeColumn();
};

// The file's lines (Windows-1251, CR LF); reading takes CR LF or LF.  A
// count or width that is not an integer throws FileError naming the file
// and the line; what was read before is kept in `t`.
void SaveUserTable(const std::filesystem::path& path, const UserTable& t);
void LoadUserTable(const std::filesystem::path& path, UserTable& t);

// Prints the table on pages `pageWidth` printer pixels wide: the title,
// the column titles and numbers between rules, 100 data rows on the first
// page and 101 on each further one; `newPage` starts the next page.
// Texts are Windows-1251.
void PrintUserTable(QPainter& p, int pageWidth, const std::string& title, const UserTable& t,
                    const std::function<void()>& newPage);

}  // namespace dm
