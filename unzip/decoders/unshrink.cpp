// Decoder of shrunk entries (method 1).
#include "unzip/decoders/unshrink.h"

#include <cstdint>

#include "unzip/decoders/bit_reader.h"

namespace {

constexpr int kInitialCodeSize = 9;
constexpr int kMaxCodeSize = 13;
constexpr uint16_t kControlCode = 256;
constexpr uint16_t kFirstFreeCode = 257;
constexpr uint16_t kCodeCount = 8192;
constexpr uint16_t kFree = TShrinkTables::kShrinkFreeCode;
constexpr uint16_t kMark = 0x8000;
constexpr int kStackSize = 8192;

bool IsFree(const TShrinkTables& t, uint16_t code) {
  return t.Prefix[code] == kFree;
}

uint16_t LowestFreeFrom(const TShrinkTables& t, uint16_t code) {
  while (code < kCodeCount && !IsFree(t, code)) ++code;
  return code;
}

// Frees every leaf (a defined code that is no other code's prefix) below `nextFree`; answers
// the new next free code. Prefixes of free codes and prefixes pointing at free codes take no
// part: a corrupt stream can define a code on top of a freed or never-defined one.
uint16_t PartialClear(TShrinkTables& t, uint16_t nextFree) {
  for (uint16_t code = kFirstFreeCode; code < nextFree; ++code) {
    if (!IsFree(t, code)) t.Prefix[code] |= kMark;
  }
  for (uint16_t code = kFirstFreeCode; code < nextFree; ++code) {
    if (IsFree(t, code)) continue;
    const uint16_t prefix = t.Prefix[code] & ~kMark;
    if (prefix >= kFirstFreeCode && !IsFree(t, prefix)) t.Prefix[prefix] &= ~kMark;
  }
  for (uint16_t code = kFirstFreeCode; code < nextFree; ++code) {
    if (!IsFree(t, code) && (t.Prefix[code] & kMark) != 0) t.Prefix[code] = kFree;
  }
  return LowestFreeFrom(t, kFirstFreeCode);
}

}  // namespace

void Unshrink(TDecoderIO& io, TOlderMethodsMemory& memory) {
  TShrinkTables& t = memory.Tables.emplace<TShrinkTables>();
  for (int code = 0; code < 256; ++code) {
    t.Prefix[code] = 0;
    t.Suffix[code] = static_cast<uint8_t>(code);
  }
  for (int code = 256; code <= kCodeCount; ++code) t.Prefix[code] = kFree;

  TBitReader reader(io);
  int codeSize = kInitialCodeSize;
  uint16_t nextFree = kFirstFreeCode;

  // Codes are at most 13 bits wide, so every code indexes the tables directly.
  auto readCode = [&]() { return static_cast<uint16_t>(reader.ReadBits(codeSize)); };

  uint16_t oldCode = readCode();
  if (reader.InputExhausted) {
    io.FlushOutput();
    return;
  }
  auto lastChar = static_cast<uint8_t>(oldCode);
  io.PutOutput(&lastChar, 1);

  for (;;) {
    uint16_t code = readCode();
    if (reader.InputExhausted) break;
    bool corrupt = false;
    while (code == kControlCode) {
      const uint16_t command = readCode();
      if (reader.InputExhausted) break;
      if (command == 1) {
        if (codeSize == kMaxCodeSize) {
          corrupt = true;
          break;
        }
        ++codeSize;
      } else if (command == 2) {
        nextFree = PartialClear(t, nextFree);
      }
      code = readCode();
      if (reader.InputExhausted) break;
    }
    if (corrupt || reader.InputExhausted) break;

    // Build the string backwards on the stack. A free code stands for the string being defined
    // by this very step: the old string plus its own first character.
    const uint16_t incoming = code;
    int top = kStackSize;
    if (IsFree(t, code)) {
      t.Stack[--top] = lastChar;
      code = oldCode;
    }
    while (code >= kFirstFreeCode && top > 0) {
      if (IsFree(t, code)) {
        t.Stack[--top] = lastChar;
        code = oldCode;
      } else {
        t.Stack[--top] = t.Suffix[code];
        code = t.Prefix[code];
      }
    }
    if (top == 0) break;  // the chain does not end inside the stack
    lastChar = static_cast<uint8_t>(code);
    t.Stack[--top] = lastChar;
    io.PutOutput(t.Stack + top, static_cast<size_t>(kStackSize - top));

    if (nextFree < kCodeCount) {
      t.Prefix[nextFree] = oldCode;
      t.Suffix[nextFree] = lastChar;
      nextFree = LowestFreeFrom(t, static_cast<uint16_t>(nextFree + 1));
    }
    oldCode = incoming;
  }
  io.FlushOutput();
}
