// Whole-name wildcard matching of archive entry names: "?", "*", character sets written between
// "<" and ">" (so "[" and "]" stay ordinary file-name characters), negated sets, restricted stars.
#pragma once

#include <string_view>

// The outcome of MatchPattern. Only mrMatch is a match.
enum TMatchResult : int {
  mrMatch = 1,           // the name matches
  mrPatternEnded = 2,    // the pattern ended before the name
  mrNameEnded = 3,       // the name ended before the pattern, or the set after a star refused
  mrSetRefused = 4,      // a character set refused the character
  mrLiteralDiffers = 5,  // a literal pattern character differed
  mrMalformed = 6,       // the pattern is malformed
};

// Matches the whole of `name` against the whole of `pattern`, both lower-cased first with
// AnsiLowerCase, character by character: a character is one whole UTF-8 sequence, and each byte
// that is not part of a valid sequence is a character of its own. Returns a TMatchResult.
//
//   ?        one character            *        any run of characters, also none
//   <...>    one character of the set: single characters and ranges "a-z" by code point (a range
//            written high to low matches nothing; stray bytes rank after every code point, in
//            byte order); "<!...>" or "<^...>" negates the set
//   *<...>   a star whose every character must be accepted by the set
//
// A set that is unclosed, empty, holds only the negation sign or ends in a range without a last
// character makes the pattern malformed. When the name runs out while pattern remains, only a
// remaining pattern of exactly "*" matches, so "a*" matches "a" and "a**" does not.
int MatchPattern(std::string_view pattern, std::string_view name);

// MatchPattern(pattern, name) == mrMatch.
bool IsMatch(std::string_view pattern, std::string_view name);
