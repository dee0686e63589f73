// The decoding step of one entry: input blocks, output blocks with the overrun check, the CRC,
// stored and deflated data, and the dispatch to the older methods.
#include "unzip/decoders/entry_decoder.h"

#include <algorithm>
#include <cstring>

#include "platform/checked_math.h"
#include "platform/dialogs.h"
#include "unzip/base/crc32.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/explode.h"
#include "unzip/decoders/inflate_stream.h"
#include "unzip/decoders/unreduce.h"
#include "unzip/decoders/unshrink.h"

TEntryDecoder::TEntryDecoder()
    : inputBuffer_(new uint8_t[kBlockSize + 1]),
      outputBuffer_(new uint8_t[kBlockSize + 1]),
      olderMethods_(std::make_unique<TOlderMethodsMemory>()) {}

void TEntryDecoder::Prepare(TEntryJob& job) {
  job_ = &job;
  outputCount_ = 0;
  inputCount_ = 0;
  inputPosition_ = inputBuffer_.get();
  entryBytesDone_ = 0;
  runningCrc_ = 0xFFFFFFFF;
}

bool TEntryDecoder::Decode(TEntryJob& job) {
  // Zero sizes that stand for "unknown" would make an empty file that passes its check.
  if (job.SizesUnknown) throw EFatalUnzipError(kTextSizesUnknown);
  Prepare(job);
  switch (job.Method) {
    case kMethodStored:
      DecodeStored();
      return true;
    case kMethodDeflated:
      DecodeDeflated();
      return true;
    case kMethodShrunk:
      Unshrink(*this, *olderMethods_);
      return true;
    case kMethodReduced1:
    case kMethodReduced2:
    case kMethodReduced3:
    case kMethodReduced4:
      Unreduce(*this, *olderMethods_, job.Method - kMethodReduced1 + 1, job.UncompressedSize);
      return true;
    case kMethodImploded:
      Explode(*this, *olderMethods_, job.Flags, job.UncompressedSize);
      return true;
    default:  // the methods above are the ones Decodes names
      return false;
  }
}

int32_t TEntryDecoder::ReadArchive(uint8_t* buffer, int32_t count) {
  int32_t got = std::max(job_->Archive->Read(buffer, count), 0);
  while (got < count) {
    if (!job_->NextPart) throw EFatalUnzipError(MessageText(kMsgPrematureEnd));
    job_->Archive = job_->NextPart();
    if (job_->Archive == nullptr) throw EUserCanceled(MessageText(kMsgUserAborted));
    got += std::max(job_->Archive->Read(buffer + got, count - got), 0);
  }
  return got;
}

void TEntryDecoder::RefillInput() {
  if (job_->Pump) job_->Pump();
  const auto n = static_cast<int32_t>(std::min<int64_t>(kBlockSize, job_->CompressedSize));
  inputCount_ = 0;
  inputPosition_ = inputBuffer_.get();
  if (n <= 0) return;
  job_->CompressedSize -= n;
  inputCount_ = ReadArchive(inputBuffer_.get(), n);
  if (job_->DecryptInput) job_->DecryptInput(inputBuffer_.get(), inputCount_);
}

size_t TEntryDecoder::ReadInput(const uint8_t*& data) {
  if (inputCount_ == 0) {
    RefillInput();
    if (inputCount_ == 0) return 0;
  }
  data = inputPosition_;
  const auto n = static_cast<size_t>(inputCount_);
  inputPosition_ += inputCount_;
  inputCount_ = 0;
  return n;
}

void TEntryDecoder::PutOutput(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t k = std::min(n, static_cast<size_t>(kBlockSize - outputCount_));
    std::memcpy(outputBuffer_.get() + outputCount_, data, k);
    outputCount_ += static_cast<int32_t>(k);
    data += k;
    n -= k;
    if (outputCount_ == kBlockSize) FlushOutput();
  }
}

void TEntryDecoder::FlushOutput() {
  const int32_t n = outputCount_;
  if (n == 0) return;
  uint8_t* block = outputBuffer_.get();
  if (job_->DecryptOutput) job_->DecryptOutput(block, n);
  const int64_t position = job_->Output->Position();
  uint64_t end = 0;
  if (position < 0 ||
      !platform::CheckedAdd(static_cast<uint64_t>(position), static_cast<uint64_t>(n), &end) ||
      end > job_->UncompressedSize) {
    throw EBiggerThanUncompressed(MessageText(kMsgBiggerThanUncompressed));
  }
  if (job_->Output->Write(block, n) < n) throw ECantWriteUCF(MessageText(kMsgCantWriteUcf));
  runningCrc_ = Crc32Update(runningCrc_, block, static_cast<size_t>(n));
  entryBytesDone_ = platform::SaturatingAdd(entryBytesDone_, int64_t{n});
  outputCount_ = 0;
  if (job_->OnBlockWritten) job_->OnBlockWritten(n);
}

int TEntryDecoder::HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                                 uint32_t flags) {
  if (job_ != nullptr && job_->HandleMessage)
    return job_->HandleMessage(messageId, msg1, msg2, flags);
  return platform::ShowMessageBox(msg1, msg2, flags);
}

void TEntryDecoder::DecodeStored() {
  while (job_->CompressedSize > 0) {
    if (job_->Pump) job_->Pump();
    const auto n = static_cast<int32_t>(std::min<int64_t>(kBlockSize, job_->CompressedSize));
    job_->CompressedSize -= n;
    outputCount_ = ReadArchive(outputBuffer_.get(), n);
    FlushOutput();
  }
}

void TEntryDecoder::DecodeDeflated() {
  outputCount_ = 0;
  // An empty file stored as no deflate data at all: there is no stream to end.
  if (job_->CompressedSize == 0 && job_->UncompressedSize == 0) return;
  if (!inflate_) inflate_ = std::make_unique<TInflateStream>();
  TInflateStream& stream = *inflate_;
  if (!stream.Reset()) throw EZCompressionError("error: " + stream.Reason());
  stream.SetOutput(outputBuffer_.get(), kBlockSize);
  // Hands the decoder the rest of the current input block, refilling it first when it is used
  // up. When the entry's bytes are gone it gets nothing, so a stream that is cut short ends in
  // the decoder's failure instead of being fed stale bytes.
  auto handOver = [this, &stream] {
    const uint8_t* data = inputPosition_;
    const size_t n = ReadInput(data);
    stream.SetInput(data, n);
  };
  handOver();
  TInflateStream::TResult result = TInflateStream::TResult::kMore;
  do {
    if (stream.InputLeft() == 0) handOver();
    result = stream.Inflate();
    if (result == TInflateStream::TResult::kFailed)
      throw EZCompressionError("error: " + stream.Reason());
    if (stream.OutputLeft() == 0 || result == TInflateStream::TResult::kEnd) {
      outputCount_ = kBlockSize - static_cast<int32_t>(stream.OutputLeft());
      FlushOutput();
      stream.SetOutput(outputBuffer_.get(), kBlockSize);
    }
  } while (result != TInflateStream::TResult::kEnd);
}
