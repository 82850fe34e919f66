#pragma once
// Windows-1251 <-> Unicode at the user-interface edge.  The conversion is
// lossless: every byte 0x00..0xFF decodes to its own code point and encodes
// back to the same byte (the one byte Windows-1251 leaves undefined, 0x98,
// maps to U+0098).  Characters outside Windows-1251 encode as '?'.

#include <QString>
#include <string>
#include <string_view>

namespace dm {

char16_t cp1251ToUnicode(unsigned char b);
// Returns -1 when the character has no Windows-1251 byte.
int unicodeToCp1251(char16_t c);

QString fromCp1251(std::string_view bytes);
std::string toCp1251(const QString& text);

// UTF-8 helpers for the command-line tool.
std::string cp1251ToUtf8(std::string_view bytes);
std::string utf8ToCp1251(std::string_view utf8);

}  // namespace dm
