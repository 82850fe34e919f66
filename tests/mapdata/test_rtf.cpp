#include "mapdata/Cp1251.h"
#include "mapdata/Rtf.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace dm;

namespace {
std::string readData(const std::string& name) {
    std::ifstream f(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
std::vector<std::string> cp(std::initializer_list<const char*> utf8) {
    std::vector<std::string> out;
    for (const char* u : utf8) out.push_back(utf8ToCp1251(u));
    return out;
}
}  // namespace

TEST(Rtf, ReadsWhatLibreOfficeWrites) {
    // Plain text saved as RTF by LibreOffice Writer: \uN with '?' fallbacks,
    // font and colour tables, style sheet, ignorable destinations.
    const auto lines = ReadListText(readData("libreoffice_plain.rtf"));
    EXPECT_EQ(lines, cp({"Здания...;0;0;1;1;8;0;", "...жилые;1010;1981530;1;1;1;9881838;",
                         "...нежилые;1020;5263440;1;1;1;13158600;", "Дороги...;0;0;1;1;8;0;",
                         "...улицы;3060;5942984;3;1;8;0;",
                         "Ёлки «зелёные» — №5 {скобки} \\слэш\\;2402;30720;1;1;8;0;"}));
}

TEST(Rtf, ReadsStyledTextFromAWordProcessor) {
    const auto lines = ReadListText(readData("libreoffice_styled.rtf"));
    EXPECT_EQ(lines, cp({"Дороги...;0;0;1;1;8;0;", "...магистральные улицы;3050;28892;6;1;8;0;",
                         "Река «Дарья»;3200;13131816;1;1;1;16435350;", "Caf? ?;1;0;1;1;8;0;"}))
        << "(characters outside Windows-1251 become '?')";
}

TEST(Rtf, RichEditStyleDocument) {
    const std::string doc =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049{\\fonttbl{\\f0\\fnil\\fcharset204 MS Sans Serif;}"
        "{\\f1\\fnil\\fcharset0 Arial;}}\r\n{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "\\viewkind4\\uc1\\pard\\cf1\\f0\\fs16 \\'c4\\'ee\\'f0\\'ee\\'e3\\'e8...;0;\\par\r\n"
        "{\\*\\bkmkstart x}\\cf0 ...\\'e0\\'f1\\'f4\\b\\'e0\\b0\\'eb\\'fc\\'f2;3060;\\par\r\n"
        "\\f1 caf\\'e9\\tab x\\par\r\n}\r\n";
    std::vector<std::string> lines;
    ASSERT_TRUE(ParseRtf(doc, lines));
    // \'e9 under the charset-0 font is a Windows-1252 byte: 'é' has no
    // Windows-1251 form and becomes '?'.
    EXPECT_EQ(lines, cp({"Дороги...;0;", "...асфальт;3060;", "caf?\tx"}));
}

TEST(Rtf, UnicodeEscapesWithFallbacks) {
    std::vector<std::string> lines;
    ASSERT_TRUE(ParseRtf("{\\rtf1\\uc2 \\u1044\\'3f\\'3fa\\u-1000 xyb\\uc0\\u1040 c}", lines));
    // \uc2 skips two fallback characters; a negative \u is taken modulo 65536
    // (U+FC18, not in Windows-1251, gives '?').
    EXPECT_EQ(lines, std::vector<std::string>{utf8ToCp1251("Дa?bАc")});
    // A control word counts as one fallback character; a group end stops skipping.
    ASSERT_TRUE(ParseRtf("{\\rtf1 \\u1044\\b x{\\u1045}y}", lines));
    EXPECT_EQ(lines, std::vector<std::string>{utf8ToCp1251("ДxЕy")});
}

TEST(Rtf, BrokenRtfIsReadAsPlainText) {
    for (const std::string& bad : {std::string("{\\rtf1 abc\\par def"), std::string("{\\rtf1 \\'zz}"),
                                  std::string("{\\rtf1 {a}"), std::string("{\\rtf1\\")}) {
        std::vector<std::string> lines;
        EXPECT_FALSE(ParseRtf(bad, lines)) << bad;
        EXPECT_EQ(ReadListText(bad), SplitPlainLines(bad)) << bad;
    }
    // Deeply nested groups and long numbers do not break the reader.
    std::string deep = "{\\rtf1 ";
    for (int i = 0; i < 10000; ++i) deep += "{";
    deep += "x\\fs99999999999999999999 ";
    for (int i = 0; i < 10000; ++i) deep += "}";
    deep += "}";
    std::vector<std::string> lines;
    ASSERT_TRUE(ParseRtf(deep, lines));
    EXPECT_EQ(lines, std::vector<std::string>{"x"});
}

TEST(Rtf, PlainTextLines) {
    EXPECT_EQ(SplitPlainLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitPlainLines("a\r\n\r\nb\r\n"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitPlainLines("").empty());
    EXPECT_EQ(ReadListText("\xC0;1;\r\n"), std::vector<std::string>{"\xC0;1;"});
}

TEST(Rtf, WriterRoundTripsEveryByte) {
    std::vector<std::string> lines = {"", "{braces} and \\backslash\\", "tab\there"};
    std::string high;
    for (int c = 1; c < 256; ++c)
        if (c != '\r' && c != '\n') high.push_back(char(c));
    lines.push_back(high);
    lines.push_back("last");
    const std::string doc = WriteRtf(lines);
    EXPECT_NE(doc.find("\\fcharset204"), std::string::npos);
    EXPECT_NE(doc.find("\\ansicpg1251"), std::string::npos);
    std::vector<std::string> back;
    ASSERT_TRUE(ParseRtf(doc, back));
    EXPECT_EQ(back, lines);
}
