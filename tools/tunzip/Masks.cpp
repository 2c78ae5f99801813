#include "Masks.h"

#include <algorithm>
#include <cstdint>

#include "Names.h"

namespace tunzip {

namespace {

// Simple one-to-one case pairs of the alphabets names are commonly written
// in; whatever has no pair here is its own case.
char32_t Lower(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
  // Latin Extended-A: pairs side by side (the dotted and dotless i excepted).
  const bool evenUpper =
      (c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
  const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if ((evenUpper && c % 2 == 0) || (oddUpper && c % 2 == 1)) return c + 1;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 0x20;  // Greek
  if (c == 0x3C2) return 0x3C3;                                 // final sigma
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;                // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  return c;
}

char32_t Upper(char32_t c) {
  if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  const bool oddLower =
      (c >= 0x101 && c <= 0x12F) || (c >= 0x133 && c <= 0x137) || (c >= 0x14B && c <= 0x177);
  const bool evenLower = (c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E);
  if ((oddLower && c % 2 == 1) || (evenLower && c % 2 == 0)) return c - 1;
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

// One step of a mask: every kind but kStar stands for exactly one character,
// which is what lets the matcher below backtrack to the last star only.
struct Token {
  enum Kind { kLiteral, kAny, kSet, kStar };
  explicit Token(Kind k, char32_t c = 0) : kind(k), literal(c) {}
  Kind kind;
  char32_t literal;
  std::vector<std::pair<char32_t, char32_t>> ranges;  // kSet
  bool negated = false;                               // kSet
};

// Parses a mask; false for one whose set lacks its closing `]`.
bool Tokenize(const std::u32string& mask, std::vector<Token>& tokens) {
  size_t i = 0;
  // The next character, after a `\` that quotes it.
  auto take = [&] {
    if (mask[i] == U'\\' && i + 1 < mask.size()) ++i;
    return mask[i++];
  };
  while (i < mask.size()) {
    const char32_t c = mask[i];
    if (c == U'*') {
      ++i;
      if (tokens.empty() || tokens.back().kind != Token::kStar) tokens.emplace_back(Token::kStar);
    } else if (c == U'?') {
      ++i;
      tokens.emplace_back(Token::kAny);
    } else if (c == U'[') {
      Token set(Token::kSet);
      ++i;
      if (i < mask.size() && (mask[i] == U'!' || mask[i] == U'^')) {
        set.negated = true;
        ++i;
      }
      // As in UnZip, `]` closes the set even first in it: "[]" is empty.
      bool closed = false;
      while (i < mask.size()) {
        if (mask[i] == U']') {
          ++i;
          closed = true;
          break;
        }
        const char32_t low = take();
        char32_t high = low;
        if (i + 1 < mask.size() && mask[i] == U'-') {
          ++i;
          high = take();
        }
        set.ranges.emplace_back(low, high);
      }
      if (!closed) return false;
      tokens.push_back(std::move(set));
    } else {
      tokens.emplace_back(Token::kLiteral, take());
    }
  }
  return true;
}

bool InSet(const Token& set, char32_t c, bool caseBlind) {
  auto in = [&](char32_t x) {
    return std::any_of(set.ranges.begin(), set.ranges.end(),
                       [x](const auto& r) { return r.first <= x && x <= r.second; });
  };
  const bool found = in(c) || (caseBlind && (in(Lower(c)) || in(Upper(c))));
  return found != set.negated;
}

bool MatchesOne(const Token& token, char32_t c, bool caseBlind) {
  switch (token.kind) {
    case Token::kAny:
      return true;
    case Token::kSet:
      return InSet(token, c, caseBlind);
    case Token::kLiteral:
      return token.literal == c || (caseBlind && Lower(token.literal) == Lower(c));
    case Token::kStar:
      break;
  }
  return false;
}

}  // namespace

bool MaskMatches(std::string_view mask, std::string_view name, bool caseBlind) {
  std::vector<Token> tokens;
  if (!Tokenize(Characters(mask), tokens)) return false;
  const std::u32string text = Characters(name);
  // Greedy with one way back: when a step fails, the last star takes one more
  // character. Each other token takes exactly one, so this finds a match
  // whenever there is one, in time proportional to mask times name.
  size_t t = 0, n = 0;
  size_t starToken = SIZE_MAX, starText = 0;
  while (n < text.size()) {
    if (t < tokens.size() && tokens[t].kind == Token::kStar) {
      starToken = t++;
      starText = n;
    } else if (t < tokens.size() && MatchesOne(tokens[t], text[n], caseBlind)) {
      ++t;
      ++n;
    } else if (starToken != SIZE_MAX) {
      t = starToken + 1;
      n = ++starText;
    } else {
      return false;
    }
  }
  while (t < tokens.size() && tokens[t].kind == Token::kStar) ++t;
  return t == tokens.size();
}

MemberChoice::MemberChoice(std::vector<std::string> masks, std::vector<std::string> excludes,
                           bool caseBlind)
    : masks_(std::move(masks)),
      excludes_(std::move(excludes)),
      maskUsed_(masks_.size(), false),
      excludeUsed_(excludes_.size(), false),
      caseBlind_(caseBlind) {}

bool MemberChoice::Chooses(std::string_view name) {
  bool chosen = masks_.empty();
  for (size_t k = 0; k < masks_.size(); ++k) {
    if (MaskMatches(masks_[k], name, caseBlind_)) {
      maskUsed_[k] = true;
      chosen = true;
    }
  }
  // Like UnZip, an exclusion counts as used only on a member a mask chose.
  if (!chosen) return false;
  for (size_t k = 0; k < excludes_.size(); ++k) {
    if (MaskMatches(excludes_[k], name, caseBlind_)) {
      excludeUsed_[k] = true;
      chosen = false;
    }
  }
  return chosen;
}

std::vector<std::string> MemberChoice::UnmatchedMasks() const {
  std::vector<std::string> unmatched;
  for (size_t k = 0; k < masks_.size(); ++k)
    if (!maskUsed_[k]) unmatched.push_back(masks_[k]);
  return unmatched;
}

std::vector<std::string> MemberChoice::UnmatchedExcludes() const {
  std::vector<std::string> unmatched;
  for (size_t k = 0; k < excludes_.size(); ++k)
    if (!excludeUsed_[k]) unmatched.push_back(excludes_[k]);
  return unmatched;
}

}  // namespace tunzip
