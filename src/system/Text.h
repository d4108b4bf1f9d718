#pragma once
// Text routines over UTF-8 strings. Positions are 1-based where a routine keeps a position,
// so that callers read like the algorithms they implement.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// The text of S between the first StartMarker and the next EndMarker; empty when either is
// missing. An empty EndMarker takes the rest of S.
std::string TextBetween(std::string_view S, std::string_view StartMarker, std::string_view EndMarker);

// Every occurrence of Pattern replaced, scanning left to right; the inserted text is not
// scanned again. An empty Pattern leaves S unchanged.
std::string ReplaceAll(std::string_view S, std::string_view Pattern, std::string_view Replacement);

// Next token of S from Position (1-based, advanced by the call) up to a character of
// Separators. Returns false when S is exhausted; with AllowTrailingEmpty a separator at the
// very end yields one final empty token.
bool NextToken(std::string_view S, std::string_view Separators, bool AllowTrailingEmpty,
               std::size_t& Position, std::string& Token);

// Cuts S at every separator character. Fields keeps its size (its highest index is
// Fields.size() - 1); surplus fields are counted but dropped, missing ones are set empty.
// A separator at the very end does not start another field. Returns the number of fields.
int SplitFields(std::string_view S, std::string_view Separators, std::vector<std::string>& Fields);

// Value as a set of Size bytes (1, 2 or 4); other sizes raise "Invalid size of set".
std::uint32_t IntToSet(std::uint32_t Value, int Size);

// Value in decimal (Base 10) or upper-case hexadecimal (Base 16), with leading zeros up to
// MinDigits digits. Used instead of the C library's formatted output, whose static copy in the
// Windows programs costs more than all of their number formatting.
std::string PaddedNumber(std::uint32_t Value, int MinDigits = 1, unsigned Base = 10);

// Upper case of ASCII letters only; other bytes (UTF-8 sequences included) are kept.
std::string UpperAscii(std::string_view S);

}  // namespace setup
