// Small text helpers shared by every subsystem: the cooperative's field
// splitting, replacements, trimming and case-insensitive comparison.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace belvanto {

// Semicolon splitting: `leading` fields, each the text before the first ";" of
// what is left of the line (the line then loses everything up to and including
// that ";"), then the rest of the line, further ";" included, as field number
// `leading`. Returns leading + 1 fields. A missing ";" gives an empty field and
// leaves the rest whole, so a short line fills only the last field.
std::vector<std::string> splitFields(std::string_view line, int leading, char separator = ';');

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);
// Removes blanks, tabs, CR and LF at both ends.
std::string trim(std::string_view text);
bool startsWith(std::string_view text, std::string_view prefix);

// Case-insensitive comparison of UTF-8 texts as Windows compares file names:
// ASCII letters and the Latin letters up to U+017F fold to one case.
std::string foldCase(std::string_view utf8);
bool equalsNoCase(std::string_view a, std::string_view b);
// Less-than in case-insensitive order; ties broken by the exact bytes so the
// order is total.
bool lessNoCase(std::string_view a, std::string_view b);

// Number of Unicode characters of a UTF-8 text.
std::size_t utf8Length(std::string_view utf8);
// Up to `anzahl` characters (not bytes) of a UTF-8 text from character
// position `start` (counted from 0); what lies beyond the end is missing.
std::string zeichenAusschnitt(std::string_view utf8, std::size_t start, std::size_t anzahl);

// The name as Windows can take it, for archive entries opened there: in each
// "/"-separated part the characters < > : " \ | ? * and controls become "_",
// as do trailing dots and blanks, and a reserved device name (CON, PRN, AUX,
// NUL, COM1 to COM9, LPT1 to LPT9, with or without extension) gets a "_" in
// front. Any other name comes back unchanged.
std::string windowsName(std::string_view name);

// The text with every character that could hide or disguise what it holds
// written as "\xNN" per byte: control characters (C0, DEL, C1), the
// characters that turn the direction of text, and bytes that are no UTF-8.
std::string sichtbar(std::string_view text);

// The host without the brackets an IPv6 address may be written with.
std::string_view ohneKlammern(std::string_view host);
// "host:port" as URLs write it: an IPv6 address in brackets, whether or not
// it came with them, any other host as it is.
std::string hostMitPort(std::string_view host, int port);

}  // namespace belvanto
