#include "UserTable.h"

#include "mapdata/BinaryIO.h"
#include "mapdata/Cp1251.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace fs = std::filesystem;

namespace dm {

UserTable UserTable::New() {
    UserTable t;
    t.cells = {std::vector<std::string>(5)};
    t.cells[0][0] = utf8ToCp1251("Номер");
    t.widths = {64};
    return t;
}

void UserTable::setRows(int r) {
    for (auto& c : cells) c.resize(size_t(std::max(0, r)));
}

void UserTable::addColumn(const std::string& title, int width) {
    cells.emplace_back(size_t(rows()));
    if (!cells.back().empty()) cells.back()[0] = title;
    widths.push_back(width);
}

void UserTable::removeColumn() {
    if (cells.empty()) return;
    cells.pop_back();
    widths.pop_back();
}

void SaveUserTable(const fs::path& path, const UserTable& t) {
    std::string out;
    auto line = [&out](const std::string& s) { out += s + "\r\n"; };
    line(std::to_string(t.rows()));
    line(std::to_string(t.columns()));
    for (int c = 0; c < t.columns(); ++c) {
        line(std::to_string(t.widths[size_t(c)]));
        for (const std::string& cell : t.cells[size_t(c)]) line(cell);
    }
    writeFileAtomically(path, std::vector<uint8_t>(out.begin(), out.end()));
}

void LoadUserTable(const fs::path& path, UserTable& t) {
    const std::vector<uint8_t> bytes = readWholeFile(resolvePathCase(path));
    std::vector<std::string> lines;
    std::string cur;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char ch = char(bytes[i]);
        if (ch == '\n') {
            if (!cur.empty() && cur.back() == '\r') cur.pop_back();
            lines.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(ch);
        }
    }
    if (!cur.empty()) lines.push_back(cur);
    size_t at = 0;
    auto number = [&](const char* what) {
        if (at >= lines.size())
            throw FileError("Файл " + pathText(path) + " кончился раньше времени (строка " + std::to_string(at + 1) + ")");
        const std::string& s = lines[at];
        char* end = nullptr;
        const long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end != '\0' || v < 0 || v > 1000000)
            throw FileError("Файл " + pathText(path) + ", строка " + std::to_string(at + 1) + ": «" + cp1251ToUtf8(s) +
                            "» — не " + what);
        ++at;
        return int(v);
    };
    // The counts must fit the lines there are (each column: its width and
    // r cells) before anything is made of them: a damaged count must not
    // ask for a table of a million by a million cells.
    auto tooMany = [&](int r, int n) {
        return FileError("Файл " + pathText(path) + " кончился раньше времени: " + std::to_string(r) + " строк и " +
                         std::to_string(n) + " столбцов в нём не помещаются");
    };
    // The last column's cells may be missing at the end of the file (empty
    // lines dropped by an editor): they are empty cells.  Every other line
    // must be there.
    const int r = number("число строк");
    // The row count read stays when the next line fails, unless it is more
    // than the file could hold (then only the column count can vouch for it).
    if (uint64_t(r) <= lines.size()) t.setRows(r);
    const int n = number("число столбцов");
    if (n > 0 && (uint64_t(n) - 1) * (uint64_t(r) + 1) + 1 > lines.size() - at) throw tooMany(r, n);
    t.setRows(r);
    t.cells.resize(size_t(n), std::vector<std::string>(size_t(r)));
    t.widths.resize(size_t(n), 64);
    for (int c = 0; c < n; ++c) {
        t.widths[size_t(c)] = number("ширина столбца");
        for (int row = 0; row < r; ++row) {
            if (at >= lines.size()) {
                if (c == n - 1) {
                    for (; row < r; ++row) t.cells[size_t(c)][size_t(row)].clear();
                    break;
                }
                throw FileError("Файл " + pathText(path) + " кончился раньше времени (строка " + std::to_string(at + 1) + ")");
            }
            t.cells[size_t(c)][size_t(row)] = lines[at++];
        }
    }
}

void PrintUserTable(QPainter& p, int pageWidth, const std::string& title, const UserTable& t,
                    const std::function<void()>& newPage) {
    const int n = t.columns(), R = t.rows();
    int W = 0;
    for (int w : t.widths) W += w;
    // Whole multiples of the widths across the page; columns wider together
    // than the page are scaled down to fit it (not printed over each other).
    const int k = W > 0 ? pageWidth / W : 0;
    const double f = k > 0 ? double(k) : (W > 0 ? double(pageWidth) / W : 0);
    std::vector<int> x(static_cast<size_t>(n));
    for (int c = 0, sum = 0; c < n; ++c) {
        x[size_t(c)] = int(std::lround(f * sum));
        sum += t.widths[size_t(c)];
    }
    const int tableWidth = int(std::lround(f * W));
    auto text = [&p](int px, int py, const std::string& s) {
        p.drawText(QPoint(px, py + p.fontMetrics().ascent()), fromCp1251(s));
    };
    auto hrule = [&](int y) { p.drawLine(0, y, tableWidth, y); };
    auto numbers = [&](int y) {
        for (int c = 0; c < n; ++c) {
            char buf[16];
            std::snprintf(buf, sizeof buf, "%4d", c + 1);
            text(x[size_t(c)] + 5, y, buf);
        }
    };
    // A font whose lines fit the row pitch of 80 printer pixels, whatever
    // the printer's resolution.
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    int px = 60;
    font.setPixelSize(px);
    while (px > 4 && QFontMetrics(font, p.device()).height() > 76) font.setPixelSize(--px);
    p.setFont(font);
    p.setPen(Qt::black);
    text(850, 25, title);
    hrule(160);
    for (int c = 0; c < n; ++c) text(x[size_t(c)] + 20, 180, R > 0 ? t.cells[size_t(c)][0] : std::string());
    hrule(280);
    numbers(300);
    hrule(380);
    for (int c = 0; c < n; ++c) p.drawLine(x[size_t(c)], 160, x[size_t(c)], R * 80 + 400);
    int i = 0;
    for (int r = 1; r < R; ++r) {
        ++i;
        int y = i * 80 + 380 + (r == R - 1 ? 20 : 0);
        if (i == 101) {
            if (newPage) newPage();
            i = 0;
            hrule(260);
            numbers(280);
            hrule(360);
            for (int c = 0; c < n; ++c) p.drawLine(x[size_t(c)], 260, x[size_t(c)], (R - 100) * 80 + 400);
            y = 380;
        }
        for (int c = 0; c < n; ++c) text(x[size_t(c)] + 13, y, t.cells[size_t(c)][size_t(r)]);
    }
    hrule((i + 1) * 80 + 380 + 2 * k);
}

}  // namespace dm
