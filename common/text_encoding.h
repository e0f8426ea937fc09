// The host's 8-bit texts are in its code page (on Windows the system's ANSI
// code page, such as 1252 in Western Europe and 1251 in Russia); GIFTI files
// are XML in UTF-8.
#pragma once

#include <string>

namespace meshbridge {

// The code page of the host's texts: MESHBRIDGE_CODE_PAGE when it is set (the
// stand-in's --code-page sets it), else the system's ANSI code page on
// Windows, else 1252. Code page 65001 is UTF-8.
int hostCodePage();

// For tests: the code page to use instead (0: as hostCodePage() says).
void setHostCodePageForTests(int codePage);

// A host text as text for an XML file in UTF-8: the host's code page
// converted to UTF-8 (a text that is valid UTF-8 already stays as it is), and
// characters that XML does not allow (control characters other than tab, line
// feed and carriage return) replaced by "?".
std::string toXmlText(const std::string& hostText);

// A UTF-8 text read from an XML file as a host text: converted to the host's
// code page when every character has a place there, else left in UTF-8.
std::string fromXmlText(const std::string& utf8);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(const std::string& text);

}  // namespace meshbridge
