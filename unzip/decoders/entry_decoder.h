// The decoding step of one entry: reads its stored bytes in blocks of at most 32768, decodes them
// by method (stored, deflated through inflate_stream.h, and the older methods), writes the result
// in blocks with the overrun check, and keeps the CRC-32 of everything written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/stream.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/decoder_io.h"
#include "unzip/decoders/inflate_stream.h"
#include "unzip/decoders/older_methods_memory.h"

// What the extraction driver hands over for one entry.
struct TEntryJob {
  TStream* Archive = nullptr;     // positioned at the entry's first data byte
  int64_t CompressedSize = 0;     // bytes of data (encryption overhead already taken off)
  uint64_t UncompressedSize = 0;  // the output may not grow beyond it
  TStream* Output = nullptr;      // positioned at 0; grows as blocks are written
  uint16_t Method = 0;            // the effective compression method
  uint16_t Flags = 0;             // general purpose flags (the implode variant)
  // Neither the directory nor a data descriptor gave the sizes: there is nothing to decode.
  bool SizesUnknown = false;
  // The stream of the next part of a multi-part archive; empty for a single file. May raise.
  std::function<TStream*()> NextPart;
  // Decryption of each input block before it is decoded, or of each output block before it is
  // written (stored entries and data encrypted before compression).
  std::function<void(uint8_t* data, int32_t count)> DecryptInput;
  std::function<void(uint8_t* data, int32_t count)> DecryptOutput;
  std::function<void(int32_t count)> OnBlockWritten;  // after each block written
  std::function<void()> Pump;                         // once per input block
  std::function<int(int messageId, const std::string& msg1, const std::string& msg2,
                    uint32_t flags)>
      HandleMessage;
};

class TEntryDecoder : public TDecoderIO {
 public:
  static constexpr int32_t kBlockSize = 32768;

  TEntryDecoder();
  TEntryDecoder(const TEntryDecoder&) = delete;
  TEntryDecoder& operator=(const TEntryDecoder&) = delete;

  // Whether Decode knows `method`: stored, shrunk, reduced 1 to 4, imploded, deflated. Asked
  // before an entry's file is made, so that an entry it cannot read is refused untouched.
  static bool Decodes(uint16_t method) {
    return method <= kMethodImploded || method == kMethodDeflated;
  }

  // Decodes the entry. False, with nothing read or written, for a method it does not know.
  // Raises EFatalUnzipError, before anything is read or written, with kTextSizesUnknown for an
  // entry whose sizes are unknown, and "Premature end of file reached" when a single-part archive
  // ends early, EZCompressionError "error: " and the decoder's reason for deflate data it refuses
  // (also when the data runs out before its end), EBiggerThanUncompressed before a block that would
  // pass the uncompressed size, and ECantWriteUCF when the output takes fewer bytes than it is
  // given.
  bool Decode(TEntryJob& job);

  // The CRC register (not yet inverted) and the bytes written for the entry.
  uint32_t RunningCrc() const { return runningCrc_; }
  int64_t EntryBytesDone() const { return entryBytesDone_; }

  // TDecoderIO: the input blocks and the output buffer the decoders use.
  size_t ReadInput(const uint8_t*& data) override;
  void PutOutput(const uint8_t* data, size_t n) override;
  void FlushOutput() override;
  int HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                    uint32_t flags) override;

 private:
  void Prepare(TEntryJob& job);
  // Reads `count` bytes of the entry into `buffer`, moving on to the next part where there is
  // one; returns the bytes read.
  int32_t ReadArchive(uint8_t* buffer, int32_t count);
  void RefillInput();
  void DecodeStored();
  void DecodeDeflated();

  std::unique_ptr<uint8_t[]> inputBuffer_;
  std::unique_ptr<uint8_t[]> outputBuffer_;
  std::unique_ptr<TOlderMethodsMemory> olderMethods_;
  std::unique_ptr<TInflateStream> inflate_;  // made by the first deflated entry, then reused
  TEntryJob* job_ = nullptr;
  int32_t inputCount_ = 0;
  const uint8_t* inputPosition_ = nullptr;
  int32_t outputCount_ = 0;
  uint32_t runningCrc_ = 0xFFFFFFFF;
  int64_t entryBytesDone_ = 0;
};
