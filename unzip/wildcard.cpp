// Wildcard matching of entry names: a plain left-to-right scan up to the first star, then a walk
// of every way through the rest of the pattern at once, so no pattern can make it backtrack
// without end. Both texts are matched character by character, a character being one whole UTF-8
// sequence.
#include "unzip/wildcard.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/utf8_text.h"
#include "unzip/base/ansi_case.h"

namespace {

using TChars = std::u32string;
using TCharsView = std::u32string_view;

// A byte that starts no valid UTF-8 sequence is a character of its own, kept apart from every
// code point, so it only ever matches the same byte.
constexpr char32_t kStrayByteBase = 0x110000;

// The characters of `text`: the code point of every well-formed UTF-8 sequence, and
// kStrayByteBase plus the byte for each byte of anything else.
TChars Characters(std::string_view text) {
  TChars characters;
  characters.reserve(text.size());
  while (!text.empty()) {
    const platform::TUtf8Char c = platform::DecodeUtf8Char(text);
    if (c.Length != 0) {
      characters += c.CodePoint;
      text.remove_prefix(c.Length);
    } else {
      characters += kStrayByteBase + static_cast<uint8_t>(text[0]);
      text.remove_prefix(1);
    }
  }
  return characters;
}

// A set "<...>" as written in the pattern; `items` is the text between the negation sign (if
// any) and ">", already checked by ParseSet.
struct TCharSet {
  TCharsView items;
  bool negated = false;

  bool Accepts(char32_t c) const {
    bool member = false;
    for (size_t i = 0; i < items.size() && !member;) {
      const char32_t low = items[i++];
      char32_t high = low;
      if (i < items.size() && items[i] == '-') {  // ParseSet made sure a last character follows
        high = items[i + 1];
        i += 2;
      }
      member = c >= low && c <= high;  // a range written high to low holds nothing
    }
    return member != negated;
  }
};

// Parses the set whose "<" is at pattern[open]. False when it is malformed: never closed, empty,
// only the negation sign, or a range without a last character. Else *end is the index just past
// the ">".
bool ParseSet(TCharsView pattern, size_t open, TCharSet* set, size_t* end) {
  size_t i = open + 1;
  set->negated = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (set->negated) ++i;
  const size_t first = i;
  while (i < pattern.size() && pattern[i] != '>') {
    ++i;  // a single character, or the first one of a range
    if (i < pattern.size() && pattern[i] == '-') {
      ++i;
      if (i >= pattern.size() || pattern[i] == '>') return false;
      ++i;
    }
  }
  if (i >= pattern.size() || i == first) return false;
  set->items = pattern.substr(first, i - first);
  *end = i + 1;
  return true;
}

struct TToken {
  enum TKind { tkLiteral, tkAny, tkSet, tkStar };
  TKind kind = tkLiteral;
  char32_t literal = 0;
  bool restricted = false;  // a star followed by a set
  TCharSet set;             // tkSet, and a restricted tkStar

  // For a star: whether it may take `c`.
  bool Accepts(char32_t c) const {
    switch (kind) {
      case tkLiteral:
        return c == literal;
      case tkAny:
        return true;
      case tkSet:
        return set.Accepts(c);
      case tkStar:
        return !restricted || set.Accepts(c);
    }
    return false;
  }
};

// Matches `pattern`, which starts with a star, against a non-empty `name`.
//
// A star tries the rest of the pattern after every take of its own, shortest first. Done one try
// at a time, that costs exponential time on a pattern with many stars; and the usual shortcut of
// returning only to the latest star is wrong once a star is restricted (in "*x*<a>" against
// "xbxa" the first star, not the restricted one, has to take "xb"). So every way through the
// pattern is followed at once, one name character per step: entered[i] says that the pattern from
// token i on is tried against the rest of the name, taking[i] that star i is still taking.
// The cost is at most (name length + 1) x token count.
//
// A failure here is always mrNameEnded: a star keeps growing its take until the name ends or,
// when restricted, until its set refuses a character, and both end the match with that result.
// The rest of the pattern is read in full before the first try, so a malformed set in it gives
// mrMalformed whatever the name (mrNameEnded when the set restricts a star).
int MatchFromStar(TCharsView pattern, TCharsView name) {
  std::vector<TToken> tokens;
  for (size_t i = 0; i < pattern.size();) {
    TToken token;
    switch (pattern[i]) {
      case '*':
        token.kind = TToken::tkStar;
        ++i;
        if (i < pattern.size() && pattern[i] == '<') {
          token.restricted = true;
          if (!ParseSet(pattern, i, &token.set, &i)) return mrNameEnded;
        }
        break;
      case '?':
        token.kind = TToken::tkAny;
        ++i;
        break;
      case '<':
        token.kind = TToken::tkSet;
        if (!ParseSet(pattern, i, &token.set, &i)) return mrMalformed;
        break;
      default:
        token.literal = pattern[i];
        ++i;
        break;
    }
    tokens.push_back(token);
  }

  const size_t count = tokens.size();
  std::vector<char> entered(count + 1, 0), taking(count, 0);
  std::vector<char> nextEntered(count + 1), nextTaking(count);
  entered[0] = 1;
  for (size_t pos = 0;; ++pos) {
    const bool atEnd = pos == name.size();
    // Tokens are visited in order, so a star that lets go at once hands over to a star right
    // behind it in the same pass. A star reached only when the name is used up takes nothing:
    // that case is the "remaining pattern is exactly one star" rule below.
    for (size_t i = 0; i < count; ++i) {
      if (tokens[i].kind != TToken::tkStar) continue;
      if (entered[i] && !atEnd) taking[i] = 1;
      if (taking[i]) entered[i + 1] = 1;
    }
    if (atEnd) {
      const TToken& last = tokens[count - 1];
      const bool lastIsPlainStar = last.kind == TToken::tkStar && !last.restricted;
      return entered[count] || (lastIsPlainStar && entered[count - 1]) ? mrMatch : mrNameEnded;
    }
    const char32_t c = name[pos];
    std::fill(nextEntered.begin(), nextEntered.end(), 0);
    std::fill(nextTaking.begin(), nextTaking.end(), 0);
    bool alive = false;
    for (size_t i = 0; i < count; ++i) {
      if (!tokens[i].Accepts(c)) continue;
      if (tokens[i].kind == TToken::tkStar) {
        if (taking[i]) {
          nextTaking[i] = 1;
          alive = true;
        }
      } else if (entered[i]) {
        nextEntered[i + 1] = 1;
        alive = true;
      }
    }
    if (!alive) return mrNameEnded;
    entered.swap(nextEntered);
    taking.swap(nextTaking);
  }
}

int MatchLowered(TCharsView pattern, TCharsView name) {
  // Up to the first star nothing can be taken back, so the first failure is the result.
  size_t p = 0;
  size_t n = 0;
  for (;;) {
    if (p == pattern.size()) return n == name.size() ? mrMatch : mrPatternEnded;
    if (n == name.size()) return pattern.substr(p) == U"*" ? mrMatch : mrNameEnded;
    switch (pattern[p]) {
      case '*':
        return MatchFromStar(pattern.substr(p), name.substr(n));
      case '?':
        ++p;
        break;
      case '<': {
        TCharSet set;
        if (!ParseSet(pattern, p, &set, &p)) return mrMalformed;
        if (!set.Accepts(name[n])) return mrSetRefused;
        break;
      }
      default:
        if (pattern[p] != name[n]) return mrLiteralDiffers;
        ++p;
        break;
    }
    ++n;
  }
}

}  // namespace

int MatchPattern(std::string_view pattern, std::string_view name) {
  return MatchLowered(Characters(AnsiLowerCase(pattern)), Characters(AnsiLowerCase(name)));
}

bool IsMatch(std::string_view pattern, std::string_view name) {
  return MatchPattern(pattern, name) == mrMatch;
}
