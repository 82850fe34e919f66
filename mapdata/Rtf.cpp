#include "Rtf.h"

#include "BinaryIO.h"
#include "Cp1251.h"

#include <QStringDecoder>

#include <cctype>
#include <map>

namespace dm {

namespace {

// Destinations whose text is not part of the document body.
bool isSkippedDestination(std::string_view w) {
    static const char* const kSkip[] = {
        "fonttbl", "colortbl", "stylesheet", "info", "pict", "header", "headerl", "headerr", "headerf", "footer",
        "footerl", "footerr", "footerf", "listtable", "listoverridetable", "revtbl", "rsidtbl", "fldinst",
        "object", "nonshppict", "shp", "shpinst", "xmlnstbl", "themedata", "colorschememapping", "datastore",
        "latentstyles", "generator", "pgdsctbl", "filetbl", "footnote", "annotation", "atnid", "atnauthor",
        "mmathPr", "objdata", "bkmkstart", "bkmkend", "author", "operator", "title", "subject", "keywords",
        "comment", "doccomm", "company", "listtext", "pntext", "pntxta", "pntxtb", "userprops", "docvar",
        "template", "falt", "panose", "fname", "private", "wgrffmtfilter", "ftnsep", "ftnsepc", "aftnsep",
        "aftnsepc", "passwordhash"};
    for (const char* s : kSkip)
        if (w == s) return true;
    return false;
}

int codepageOfCharset(int charset, int ansiCp) {
    switch (charset) {
        case 0: return 1252;
        case 1: return ansiCp;  // DEFAULT_CHARSET
        case 204: return 1251;
        case 238: return 1250;
        case 161: return 1253;
        case 162: return 1254;
        case 177: return 1255;
        case 178: return 1256;
        case 186: return 1257;
        case 163: return 1258;
        case 222: return 874;
        default: return ansiCp;
    }
}

class RtfParser {
public:
    explicit RtfParser(std::string_view d) : d_(d) {}

    bool run(std::vector<std::string>& out) {
        size_t i = 0;
        while (i < d_.size() && (std::isspace(static_cast<unsigned char>(d_[i])) || d_[i] == '\0')) ++i;
        if (d_.substr(i, 5) != "{\\rtf") return false;
        while (i < d_.size()) {
            const char c = d_[i];
            if (c == '{') {
                stack_.push_back(st_);
                st_.destStart = true;
                ++i;
            } else if (c == '}') {
                if (stack_.empty()) return false;
                st_ = stack_.back();
                stack_.pop_back();
                skipChars_ = 0;
                ++i;
                if (stack_.empty()) {
                    finish(out);
                    return true;
                }
            } else if (c == '\\') {
                i = control(i + 1);
                if (i == std::string::npos) return false;
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                st_.destStart = false;
                if (skipChars_ > 0) {
                    --skipChars_;
                } else if (st_.fontTable && c == ';') {
                    // end of a font entry
                } else {
                    byte(static_cast<unsigned char>(c));
                }
                ++i;
            }
        }
        return false;  // the document's group never closed
    }

private:
    struct State {
        bool skip = false;
        bool fontTable = false;
        bool destStart = true;  // no text or word seen yet in this group
        int codepage = 1251;
        int uc = 1;
    };

    size_t control(size_t i) {
        if (i >= d_.size()) return std::string::npos;
        const char c = d_[i];
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            // control symbol
            st_.destStart = false;
            switch (c) {
                case '\'': {
                    if (i + 2 >= d_.size()) return std::string::npos;
                    const int hi = hex(d_[i + 1]), lo = hex(d_[i + 2]);
                    if (hi < 0 || lo < 0) return std::string::npos;
                    if (skipChars_ > 0) --skipChars_;
                    else byte(static_cast<unsigned char>(hi * 16 + lo));
                    return i + 3;
                }
                case '\\': case '{': case '}':
                    literal(static_cast<unsigned char>(c));
                    return i + 1;
                case '~': literal(0xA0); return i + 1;
                case '_': literal('-'); return i + 1;
                case '-': return i + 1;
                case '*': st_.skip = true; return i + 1;
                case '\r': case '\n': paragraph(); return i + 1;
                default: return i + 1;  // \| \: and others carry no text
            }
        }
        size_t j = i;
        while (j < d_.size() && std::isalpha(static_cast<unsigned char>(d_[j]))) ++j;
        const std::string_view word = d_.substr(i, j - i);
        bool hasNum = false;
        long num = 0;
        bool neg = false;
        if (j < d_.size() && d_[j] == '-') {
            neg = true;
            ++j;
        }
        size_t digits = 0;
        while (j < d_.size() && std::isdigit(static_cast<unsigned char>(d_[j])) && digits < 10) {
            num = num * 10 + (d_[j] - '0');
            ++j;
            ++digits;
            hasNum = true;
        }
        while (j < d_.size() && std::isdigit(static_cast<unsigned char>(d_[j]))) ++j;  // absurdly long numbers
        if (neg) num = -num;
        if (j < d_.size() && d_[j] == ' ') ++j;
        word_(word, hasNum, num);
        return j;
    }

    void word_(std::string_view w, bool hasNum, long n) {
        const bool first = st_.destStart;
        st_.destStart = false;
        if (first && isSkippedDestination(w)) {
            if (w == "fonttbl") st_.fontTable = true;
            else st_.skip = true;
            return;
        }
        if (st_.fontTable) {
            if (w == "f" && hasNum) curFont_ = int(n);
            else if (w == "fcharset" && hasNum) fontCharset_[curFont_] = int(n);
            else if (w == "cpg" && hasNum) fontCpg_[curFont_] = int(n);
            return;
        }
        if (w == "ansicpg" && hasNum) {
            ansiCp_ = int(n);
            st_.codepage = ansiCp_;
            return;
        }
        if (w == "f" && hasNum) {
            auto cp = fontCpg_.find(int(n));
            if (cp != fontCpg_.end()) st_.codepage = cp->second;
            else {
                auto cs = fontCharset_.find(int(n));
                st_.codepage = cs != fontCharset_.end() ? codepageOfCharset(cs->second, ansiCp_) : ansiCp_;
            }
            return;
        }
        if (w == "uc" && hasNum) {
            st_.uc = int(std::max(0L, n));
            return;
        }
        if (skipChars_ > 0) {
            // any control word counts as one fallback character
            --skipChars_;
            return;
        }
        if (w == "u" && hasNum) {
            long cp = n < 0 ? n + 65536 : n;
            unicode(char16_t(cp & 0xFFFF));
            skipChars_ = st_.uc;
            return;
        }
        if (w == "par" || w == "line" || w == "sect" || w == "row") paragraph();
        else if (w == "tab" || w == "cell") literal('\t');
        else if (w == "emdash") literal(0x97);
        else if (w == "endash") literal(0x96);
        else if (w == "lquote") literal(0x91);
        else if (w == "rquote") literal(0x92);
        else if (w == "ldblquote") literal(0x93);
        else if (w == "rdblquote") literal(0x94);
        else if (w == "bullet") literal(0x95);
    }

    static int hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // A character already in Windows-1251.
    void literal(unsigned char b) {
        if (skipChars_ > 0) {
            --skipChars_;
            return;
        }
        if (!st_.skip && !st_.fontTable) cur_.push_back(char(b));
    }

    // A byte in the current group's code page.
    void byte(unsigned char b) {
        if (st_.skip || st_.fontTable) return;
        if (b < 0x80 || st_.codepage == 1251) {
            cur_.push_back(char(b));
            return;
        }
        const std::string name = "windows-" + std::to_string(st_.codepage);
        QStringDecoder dec(name.c_str());
        if (!dec.isValid()) {
            cur_.push_back(char(b));
            return;
        }
        const char raw = char(b);
        const QString s = dec.decode(QByteArrayView(&raw, 1));
        cur_ += toCp1251(s);
    }

    void unicode(char16_t c) {
        if (st_.skip || st_.fontTable) return;
        const int b = unicodeToCp1251(c);
        cur_.push_back(b < 0 ? '?' : char(b));
    }

    void paragraph() {
        if (st_.skip || st_.fontTable) return;
        paras_.push_back(cur_);
        cur_.clear();
    }

    void finish(std::vector<std::string>& out) {
        if (!cur_.empty()) paras_.push_back(cur_);
        out = std::move(paras_);
    }

    std::string_view d_;
    State st_;
    std::vector<State> stack_;
    std::string cur_;
    std::vector<std::string> paras_;
    std::map<int, int> fontCharset_, fontCpg_;
    int curFont_ = 0;
    int ansiCp_ = 1251;
    int skipChars_ = 0;
};

}  // namespace

bool ParseRtf(std::string_view data, std::vector<std::string>& out) {
    RtfParser p(data);
    return p.run(out);
}

std::vector<std::string> SplitPlainLines(std::string_view data) {
    std::vector<std::string> out;
    std::string cur;
    bool pending = false;
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            out.push_back(cur);
            cur.clear();
            pending = false;
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
        } else {
            cur.push_back(c);
            pending = true;
        }
    }
    if (pending) out.push_back(cur);
    return out;
}

std::vector<std::string> ReadListText(std::string_view data) {
    std::vector<std::string> out;
    if (ParseRtf(data, out)) return out;
    return SplitPlainLines(data);
}

std::string WriteRtf(const std::vector<std::string>& lines) {
    std::string s =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 Arial;}}\r\n"
        "\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    static const char* hexd = "0123456789abcdef";
    for (const auto& line : lines) {
        for (unsigned char c : line) {
            if (c == '\\' || c == '{' || c == '}') {
                s.push_back('\\');
                s.push_back(char(c));
            } else if (c == '\t') {
                s += "\\tab ";
            } else if (c >= 0x80 || c < 0x20) {
                s += "\\'";
                s.push_back(hexd[c >> 4]);
                s.push_back(hexd[c & 15]);
            } else {
                s.push_back(char(c));
            }
        }
        s += "\\par\r\n";
    }
    s += "}\r\n";
    return s;
}

std::vector<std::string> ReadListFile(const std::filesystem::path& path) {
    const auto bytes = readWholeFile(resolvePathCase(path));
    return ReadListText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void WriteListFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
    const std::string s = WriteRtf(lines);
    writeFileAtomically(path, std::vector<uint8_t>(s.begin(), s.end()));
}

}  // namespace dm
