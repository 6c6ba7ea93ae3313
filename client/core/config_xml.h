#pragma once

#include <string>

class TiXmlDocument;
class TiXmlNode;

// What the configuration documents share: values cross the key-path engine
// in the ANSI code page, numbers are read and written the same way in every
// locale (the client switches the process to the user's locale, which may
// write "0,3"), and documents are saved in one piece.
namespace config_xml {

// The value at a key path of `doc`, or `default_value`.
std::wstring Get(const TiXmlNode* doc, const std::wstring& key, const std::wstring& default_value);
// Sets the value at a key path, creating what is missing. Nothing is saved.
void Set(TiXmlNode* doc, const std::wstring& key, const std::wstring& value);

// Leading blanks, an optional sign, then digits; 0 when there are none.
// Out-of-range values are clamped.
int ParseInt(const std::wstring& text);
// A decimal number with "." as its point; 0 when there is none.
double ParseDouble(const std::wstring& text);
// printf("%0.1f") with "." as the point.
std::wstring FormatOneDecimal(double value);

// Parses ANSI text as it stands (no encoding conversion); false on a
// parse error or for a text nested deeper than kMaxXmlDepth.
bool ParseLegacy(TiXmlDocument* doc, const std::string& text);
// Makes the document start with <?xml version="1.0" encoding="gb2312"
// standalone="yes" ?>, replacing a declaration already first. An empty
// document is left alone.
void EnsureDeclaration(TiXmlDocument* doc);
// Writes the document through a temporary file and a rename, so that a
// crash never leaves half a file and a read-only file is replaced too.
bool Save(const TiXmlDocument& doc, const std::wstring& path);

}  // namespace config_xml
