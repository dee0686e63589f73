// Decoder of shrunk entries (method 1).
#include "unzip/decoders/unshrink.h"

#include <cstdint>
#include <cstring>

#include "unzip/decoders/bit_reader.h"

namespace {

constexpr int kInitialCodeSize = 9;
constexpr int kMaxCodeSize = 13;
constexpr uint16_t kControlCode = 256;
constexpr uint16_t kFirstFreeCode = 257;
constexpr uint16_t kCodeCount = 8192;
constexpr uint16_t kFree = TShrinkTables::kShrinkFreeCode;
constexpr int kStackSize = 8192;
static_assert(kStackSize <= sizeof(TShrinkTables::Pending),
              "a whole string fits the pending output");

// What the decoder waits for from the next code.
enum class TShrinkState {
  kFirstCode,  // the first code of the data: a byte, which defines nothing
  kCode,       // a code whose string follows (and defines the next free code), or the control code
  kCommand,    // the command after the control code: 1 grows the code size, 2 clears partially
};

bool IsFree(const TShrinkTables& t, uint16_t code) {
  return t.Prefix[code] == kFree;
}

uint16_t LowestFreeFrom(const TShrinkTables& t, uint16_t code) {
  while (code < kCodeCount && !IsFree(t, code)) ++code;
  return code;
}

// Frees every leaf (a defined code that is no other code's prefix) below `nextFree`; answers
// the new next free code. Prefixes of free codes take no part, and a code that extends a free
// one leaves it free: a corrupt stream can define a code on top of a freed or never-defined one.
// Two straight passes, as the clearing comes every few thousand codes.
uint16_t PartialClear(TShrinkTables& t, uint16_t nextFree) {
  std::memset(t.IsPrefix, 0, sizeof t.IsPrefix);
  for (uint16_t code = kFirstFreeCode; code < nextFree; ++code) {
    const uint16_t prefix = t.Prefix[code];  // a code read from the data: below kCodeCount
    if (prefix != kFree) t.IsPrefix[prefix] = 1;
  }
  for (uint16_t code = kFirstFreeCode; code < nextFree; ++code) {
    if (t.IsPrefix[code] == 0) t.Prefix[code] = kFree;
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
  // The strings are a few bytes each: they are gathered in Pending and handed over in pieces.
  size_t pending = 0;
  auto emit = [&](const uint8_t* data, size_t n) {
    if (pending + n > sizeof t.Pending) {
      io.PutOutput(t.Pending, pending);
      pending = 0;
    }
    std::memcpy(t.Pending + pending, data, n);  // n is at most kStackSize
    pending += n;
  };
  int codeSize = kInitialCodeSize;
  uint16_t nextFree = kFirstFreeCode;

  // Shrink, in brief. The data is a row of codes, each read least significant bit first, 9 bits
  // wide at the start and at most 13. Codes 0 to 255 stand for their byte; codes from 257 up for
  // strings the decoder defines as it goes: after each code but the first, the lowest free code
  // gets the string of the code before plus the first byte of this code's string. A code may
  // name the very string this step defines (the string before plus its own first byte). Once
  // all 8192 codes are taken, nothing more is defined until a clearing frees some.
  // Code 256 is the control code: the code after it (of the same width) is a command,
  //   1  the code size grows by one bit (it never grows on its own when the table fills);
  //   2  partial clearing: every defined code that is no other code's prefix (a leaf of the
  //      string tree) becomes free; the code size stays.
  // Other commands do nothing. The data ends with the input; there is no end code.
  TShrinkState state = TShrinkState::kFirstCode;
  uint16_t oldCode = 0;
  uint8_t lastChar = 0;
  for (;;) {
    // Codes are at most 13 bits wide, so every code indexes the tables directly.
    uint16_t code = static_cast<uint16_t>(reader.ReadBits(codeSize));
    if (reader.InputExhausted) break;

    if (state == TShrinkState::kFirstCode) {
      oldCode = code;
      lastChar = static_cast<uint8_t>(code);
      emit(&lastChar, 1);
      state = TShrinkState::kCode;
      continue;
    }
    if (state == TShrinkState::kCommand) {
      if (code == 1) {
        if (codeSize == kMaxCodeSize) break;  // corrupt: no code is wider than 13 bits
        ++codeSize;
      } else if (code == 2) {
        nextFree = PartialClear(t, nextFree);
      }
      state = TShrinkState::kCode;
      continue;
    }
    if (code == kControlCode) {
      state = TShrinkState::kCommand;
      continue;
    }

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
    emit(t.Stack + top, static_cast<size_t>(kStackSize - top));

    if (nextFree < kCodeCount) {
      t.Prefix[nextFree] = oldCode;
      t.Suffix[nextFree] = lastChar;
      nextFree = LowestFreeFrom(t, static_cast<uint16_t>(nextFree + 1));
    }
    oldCode = incoming;
  }
  io.PutOutput(t.Pending, pending);
  io.FlushOutput();
}
