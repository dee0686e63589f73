// The buffered stream's state machine, through an in-memory source whose writes can be made to
// fail and through real files.
#include "unzip/base/buffered_stream.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"

namespace {

using test::MemoryStream;

std::string Digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + i % 10);
  return s;
}

std::string ReadAll(TStream& stream, int32_t chunk) {
  std::string out;
  std::string buffer(static_cast<size_t>(chunk), '\0');
  for (;;) {
    const int32_t n = stream.Read(buffer.data(), chunk);
    out.append(buffer.data(), static_cast<size_t>(n));
    if (n < chunk) return out;
  }
}

TEST(BufferedStream, FirstReadOfEmptySourceCallsItOnceAndStaysIdle) {
  MemoryStream source;
  TBufferedStream stream(&source, 16);
  int filled = 0;
  stream.OnBufferFilled = [&](TBufferedStream*) { ++filled; };
  char byte;
  EXPECT_EQ(stream.Read(&byte, 1), 0);
  EXPECT_EQ(source.readCalls, 1);
  EXPECT_EQ(filled, 1);
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufIdle);
}

TEST(BufferedStream, ReadsAcrossRefillsWhateverTheChunkSize) {
  const std::string content = Digits(1000);
  for (int32_t chunk : {1, 7, 16, 17, 999, 1000, 4096}) {
    MemoryStream source(content);
    TBufferedStream stream(&source, 16);
    EXPECT_EQ(ReadAll(stream, chunk), content) << "chunk " << chunk;
  }
}

// After a small read (a header) the blocks that follow start off the buffer's boundary: each
// takes what the buffer holds and then reads the rest of the block with one read of the source.
TEST(BufferedStream, LargeReadsOffTheBufferBoundaryTakeOneSourceReadEach) {
  const std::string content = Digits(30 + 5 * 40);
  MemoryStream source(content);
  TBufferedStream stream(&source, 16);
  std::string header(30, '\0');
  ASSERT_EQ(stream.Read(header.data(), 30), 30);
  const int before = source.readCalls;
  std::string rest;
  for (int block = 0; block < 5; ++block) {
    std::string data(40, '\0');
    ASSERT_EQ(stream.Read(data.data(), 40), 40);
    rest += data;
  }
  EXPECT_EQ(header + rest, content);
  EXPECT_EQ(source.readCalls - before, 5);
}

TEST(BufferedStream, ReadOfNothingReadsNothing) {
  MemoryStream source("abc");
  TBufferedStream stream(&source, 16);
  char byte;
  EXPECT_EQ(stream.Read(&byte, 0), 0);
  EXPECT_EQ(stream.Read(&byte, -5), 0);
  EXPECT_EQ(source.readCalls, 0);
}

TEST(BufferedStream, WriteOfExactlyOneBufferGoesOutAtOnce) {
  MemoryStream source;
  {
    TBufferedStream stream(&source, 16);
    int written = 0;
    stream.OnBufferWritten = [&](TBufferedStream*) { ++written; };
    const std::string block = Digits(16);
    EXPECT_EQ(stream.Write(block.data(), 16), 16);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(stream.Mode(), TBufferedStream::bufIdle);
  }
  EXPECT_EQ(source.writeCalls, 1);  // destruction had nothing left to write
  EXPECT_EQ(source.data, Digits(16));
}

TEST(BufferedStream, DestructionWritesOutPendingBytes) {
  MemoryStream source;
  {
    TBufferedStream stream(&source, 16);
    EXPECT_EQ(stream.Write("hello", 5), 5);
    EXPECT_EQ(stream.Mode(), TBufferedStream::bufWriting);
    EXPECT_EQ(source.writeCalls, 0);
  }
  EXPECT_EQ(source.data, "hello");
}

TEST(BufferedStream, SeekFromTheEndCountsBackWhateverTheSign) {
  MemoryStream source(Digits(100));
  TBufferedStream stream(&source, 16);
  EXPECT_EQ(stream.Seek(-10, soEnd), 90);
  EXPECT_EQ(stream.Seek(10, soEnd), 90);
  char byte;
  ASSERT_EQ(stream.Read(&byte, 1), 1);
  EXPECT_EQ(byte, '0');
}

TEST(BufferedStream, UnknownOriginRaisesAndChangesNothing) {
  MemoryStream source(Digits(100));
  TBufferedStream stream(&source, 16);
  stream.Seek(42, soBeginning);
  for (int origin : {3, -1, 65535}) {
    try {
      stream.Seek(0, origin);
      ADD_FAILURE() << "origin " << origin << " accepted";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Invalid seek origin (" + std::to_string(origin) + ")");
    }
  }
  EXPECT_EQ(stream.Position(), 42);
}

TEST(BufferedStream, SizeCountsPendingBytesWithoutWritingThem) {
  MemoryStream source(Digits(100));
  TBufferedStream stream(&source, 16);
  stream.Seek(0, soEnd);
  EXPECT_EQ(stream.Write("abcde", 5), 5);
  EXPECT_EQ(stream.GetSize(), 105);
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufWriting);
  EXPECT_EQ(source.data.size(), 100u);
}

TEST(BufferedStream, PositionQueriesAndSeeksToItKeepTheBuffer) {
  MemoryStream source(Digits(100));
  TBufferedStream stream(&source, 16);
  char bytes[3];
  ASSERT_EQ(stream.Read(bytes, 3), 3);
  EXPECT_EQ(stream.Position(), 3);
  EXPECT_EQ(stream.Seek(3, soBeginning), 3);
  EXPECT_EQ(stream.Seek(0, soCurrent), 3);
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufReading);
  ASSERT_EQ(stream.Read(bytes, 3), 3);
  EXPECT_EQ(std::string(bytes, 3), "345");
  EXPECT_EQ(source.readCalls, 1);  // no refill: the read-ahead was kept
}

TEST(BufferedStream, MovingSeekDropsTheReadAhead) {
  MemoryStream source(Digits(100));
  TBufferedStream stream(&source, 16);
  char bytes[2];
  ASSERT_EQ(stream.Read(bytes, 2), 2);
  EXPECT_EQ(stream.Seek(55, soBeginning), 55);
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufIdle);
  ASSERT_EQ(stream.Read(bytes, 2), 2);
  EXPECT_EQ(std::string(bytes, 2), "56");
  EXPECT_EQ(stream.Seek(-4, soCurrent), 53);
}

TEST(BufferedStream, PutBackNeedsAByteBeforeTheCursor) {
  MemoryStream source("abcdef");
  TBufferedStream stream(&source, 16);
  EXPECT_THROW(stream.PutBack('x'), EStreamError);  // right after creation
  char bytes[3];
  ASSERT_EQ(stream.Read(bytes, 3), 3);
  stream.PutBack('3');
  stream.PutBack('2');
  stream.PutBack('1');
  try {
    stream.PutBack('0');
    ADD_FAILURE() << "fourth PutBack accepted";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Putback overflow");
  }
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_EQ(ReadAll(stream, 4), "123def");
  stream.Seek(2, soBeginning);
  EXPECT_THROW(stream.PutBack('x'), EStreamError);  // right after a seek
}

TEST(BufferedStream, ReadAfterWriteSeesTheSourceAtTheLogicalPosition) {
  MemoryStream source(Digits(40));
  TBufferedStream stream(&source, 16);
  stream.Seek(10, soBeginning);
  ASSERT_EQ(stream.Write("ABC", 3), 3);
  char bytes[4];
  ASSERT_EQ(stream.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "3456");  // the bytes after the written ones
  EXPECT_EQ(source.data.substr(10, 3), "ABC");
}

TEST(BufferedStream, WriteAfterReadWritesAtTheLogicalPosition) {
  MemoryStream source(Digits(40));
  {
    TBufferedStream stream(&source, 16);
    char bytes[5];
    ASSERT_EQ(stream.Read(bytes, 5), 5);  // 16 bytes were read ahead
    ASSERT_EQ(stream.Write("XY", 2), 2);
    EXPECT_EQ(stream.Position(), 7);
  }
  EXPECT_EQ(source.data.substr(0, 9), "01234XY78");
  EXPECT_EQ(source.data.size(), 40u);
}

TEST(BufferedStream, EmptyWriteAfterReadLeavesNoStaleBytesToRead) {
  MemoryStream source(Digits(40));
  TBufferedStream stream(&source, 16);
  char bytes[4];
  ASSERT_EQ(stream.Read(bytes, 4), 4);
  EXPECT_EQ(stream.Write(bytes, 0), 0);
  EXPECT_EQ(stream.Position(), 4);
  ASSERT_EQ(stream.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "4567");
}

TEST(BufferedStream, ReadAfterAFullWriteOutReadsTheSourceNotTheBuffer) {
  MemoryStream source(std::string(40, '.'));
  TBufferedStream stream(&source, 8);
  ASSERT_EQ(stream.Write("ABCDEFGH", 8), 8);  // written out, buffer idle
  char bytes[4];
  ASSERT_EQ(stream.Read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "....");
  EXPECT_EQ(stream.Position(), 12);
}

// A failed write-out reaches the writer as a short count, also on its last buffer.
TEST(BufferedStream, FailedWriteOutShortensTheCount) {
  struct Case {
    int64_t accepted;   // bytes the source takes before failing
    std::string first;  // written before (pending when the failing call starts)
    int32_t count;      // bytes of the failing call
    int32_t expected;   // its result
  } cases[] = {
      {0, "", 8, 0},       // exactly one buffer, nothing taken
      {5, "", 8, 5},       // exactly one buffer, part taken
      {8, "", 20, 8},      // second buffer refused
      {10, "", 20, 10},    // second buffer partly taken
      {3, "abcde", 3, 0},  // earlier pending bytes not all taken: none of this call's
      {6, "abcde", 3, 1},  // one byte of this call made it
      {100, "", 20, 20},   // enough room: no failure
  };
  for (const Case& c : cases) {
    MemoryStream source;
    source.acceptBytes = c.accepted;
    TBufferedStream stream(&source, 8);
    if (!c.first.empty()) {
      ASSERT_EQ(stream.Write(c.first.data(), static_cast<int32_t>(c.first.size())),
                static_cast<int32_t>(c.first.size()));
    }
    const std::string data = Digits(static_cast<size_t>(c.count));
    EXPECT_EQ(stream.Write(data.data(), c.count), c.expected)
        << "accepted " << c.accepted << ", pending " << c.first.size() << ", count " << c.count;
  }
}

TEST(BufferedStream, FlushBufferReportsAFailedWriteOutOfPendingBytes) {
  MemoryStream source;
  source.acceptBytes = 2;
  TBufferedStream stream(&source, 8);
  ASSERT_EQ(stream.Write("abc", 3), 3);
  EXPECT_FALSE(stream.FlushBuffer());
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufIdle);

  MemoryStream roomy;
  TBufferedStream fine(&roomy, 8);
  ASSERT_EQ(fine.Write("abc", 3), 3);
  EXPECT_TRUE(fine.FlushBuffer());
  EXPECT_EQ(roomy.data, "abc");
}

TEST(BufferedStream, MovingSeekWithAFailedWriteOutRaisesSeekError) {
  MemoryStream source;
  source.acceptBytes = 1;
  TBufferedStream stream(&source, 8);
  ASSERT_EQ(stream.Write("abc", 3), 3);
  try {
    stream.Seek(0, soBeginning);
    ADD_FAILURE() << "seek succeeded";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Seek error");
  }
  EXPECT_EQ(stream.Mode(), TBufferedStream::bufIdle);
  EXPECT_EQ(source.position, 1);  // not moved to the target
}

// A file stream that counts requests to flush to disk.
class CountingFileStream : public THandleStream {
 public:
  explicit CountingFileStream(const std::string& name)
      : THandleStream(platform::File::Open(name, platform::kOpenCreate)) {}
  bool FlushToDisk() override {
    ++flushes;
    return THandleStream::FlushToDisk();
  }
  int flushes = 0;
};

TEST(BufferedStream, FlushesToDiskOnCloseOnlyAfterAWrite) {
  test::TempDir dir;
  for (bool wrote : {false, true}) {
    for (bool sync : {false, true}) {
      CountingFileStream file(dir.File("sync.bin"));
      ASSERT_TRUE(file.Handle().IsOpen());
      {
        TBufferedStream stream(&file, 16);
        stream.SetSyncOnClose(sync);
        if (wrote) stream.Write("x", 1);
      }
      EXPECT_EQ(file.flushes, wrote && sync ? 1 : 0) << "wrote " << wrote << ", sync " << sync;
    }
  }
}

TEST(BufferedFileStream, OnlyStreamsWithWriteAccessSyncOnClose) {
  test::TempDir dir;
  const std::string name = dir.File("a.bin");
  test::WriteFileBytes(name, "data");
  struct Case {
    uint16_t mode;
    bool sync;
  } cases[] = {{0xFFFF, true}, {0x20, false}, {0x40, false}, {0x41, true}};
  for (const Case& c : cases) {
    TBufferedFileStream stream(name, 64, true, c.mode);
    EXPECT_EQ(stream.SyncOnClose(), c.sync) << "mode " << c.mode;
  }
  TBufferedFileStream unsynced(name, 64, false, 0x41);
  EXPECT_FALSE(unsynced.SyncOnClose());
}

TEST(BufferedFileStream, PreSizedOutputIsWrittenFromTheStart) {
  test::TempDir dir;
  const std::string name = dir.File("out.bin");
  test::WriteFileBytes(name, "old content that is longer than the new one");
  const std::string content = Digits(300);
  {
    TBufferedFileStream stream(name, 64, true, platform::kOpenCreate);
    stream.SetSize(300);
    stream.SetPosition(0);
    for (size_t i = 0; i < content.size(); i += 7) {
      const auto n = static_cast<int32_t>(std::min<size_t>(7, content.size() - i));
      ASSERT_EQ(stream.Write(content.data() + i, n), n);
    }
    EXPECT_EQ(stream.GetSize(), 300);
    EXPECT_TRUE(stream.FlushBuffer());
  }
  EXPECT_EQ(test::ReadFileBytes(name), content);
}

TEST(BufferedFileStream, ReadsAFileThroughOddSizes) {
  test::TempDir dir;
  const std::string name = dir.File("in.bin");
  const std::string content = Digits(5000);
  test::WriteFileBytes(name, content);
  for (int32_t chunk : {1, 3, 8192, 10000}) {
    TBufferedFileStream stream(name, 100, false, 0x20);
    EXPECT_EQ(stream.GetSize(), 5000);
    EXPECT_EQ(ReadAll(stream, chunk), content) << "chunk " << chunk;
  }
}

TEST(BufferedFileStream, OpenFailuresNameTheFileAndTheSystemReason) {
  test::TempDir dir;
  const std::string missing = dir.File("missing.zip");
  try {
    TBufferedFileStream stream(missing, 64, false, 0x20);
    ADD_FAILURE() << "opened a missing file";
  } catch (const EFOpenError& e) {
    const std::string prefix = "Cannot open file \"" + platform::ExpandFileName(missing) + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());
  }
  const std::string unreachable = dir.File("no-such-dir\\out.txt");
  try {
    TBufferedFileStream stream(unreachable, 64, false, platform::kOpenCreate);
    ADD_FAILURE() << "created a file in a missing directory";
  } catch (const EFCreateError& e) {
    const std::string prefix =
        "Cannot create file \"" + platform::ExpandFileName(unreachable) + "\". ";
    EXPECT_EQ(e.Message().substr(0, prefix.size()), prefix);
    EXPECT_GT(e.Message().size(), prefix.size());
  }
}

}  // namespace
