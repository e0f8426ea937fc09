// The host's 8-bit texts are Windows-1252; GIFTI files are XML in UTF-8.
#pragma once

#include <string>

namespace meshbridge {

// A host text as text for an XML file in UTF-8: Windows-1252 converted to
// UTF-8 (a text that is valid UTF-8 already stays as it is), and characters
// that XML does not allow (control characters other than tab, line feed and
// carriage return) replaced by "?".
std::string toXmlText(const std::string& hostText);

// A UTF-8 text read from an XML file as a host text: converted to
// Windows-1252 when every character has a place there, else left in UTF-8.
std::string fromXmlText(const std::string& utf8);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(const std::string& text);

}  // namespace meshbridge
