// Text from the plug-in arrives as P-strings in Mac OS Roman; the terminal,
// JSON and file names want UTF-8.
#ifndef PLMHOST_MACROMAN_H
#define PLMHOST_MACROMAN_H

#include <string>

#include "text/PString.h"

// UTF-8 text of a P-string.  Control characters become '?', so a plug-in's
// text cannot drive the terminal.
std::string PStringToUtf8(ConstPStrPtr theString);
std::string MacRomanToUtf8(const std::string& theText);
// Mac OS Roman text of UTF-8; characters it cannot hold, and malformed
// sequences, become '?'.
std::string Utf8ToMacRoman(const std::string& theText);

// A four-character code as text; bytes outside printable ASCII appear as
// \xNN escapes.
std::string FourCharText(uint32_t theCode);

#endif
