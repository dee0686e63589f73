// Tests of update.log: the time stamp in the local zone, one line per event, and the cut of a log
// grown past its limit to its last part, from a line start.
#include "app/update_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include "platform/files.h"
#include "support/links.h"
#include "support/temp_dir.h"

namespace {

// Sets TZ for the test's duration.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneScope() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

TEST(UpdateLog, TheTimeStampIsLocalTimeWithItsOffset) {
  struct Case {
    const char* zone;
    std::time_t moment;
    const char* stamp;
  };
  // 2026-12-10T14:04:05Z, and a moment in a summer.
  const Case cases[] = {
      {"UTC0", 1796911445, "2026-12-10T14:04:05+00:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1796911445, "2026-12-10T15:04:05+01:00"},
      {"CET-1CEST,M3.5.0,M10.5.0/3", 1783692000, "2026-07-10T16:00:00+02:00"},
      {"IST-5:30", 1796911445, "2026-12-10T19:34:05+05:30"},
      {"NST3:30", 1796911445, "2026-12-10T10:34:05-03:30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    ZoneScope zone(c.zone);
    EXPECT_EQ(TUpdateLog::TimeStamp(c.moment), c.stamp);
  }
}

TEST(UpdateLog, AppendsOneLinePerEvent) {
  test::TempDir dir;
  TUpdateLog log(dir.File("update.log"));
  log.Write("first");
  log.Write("second\r\nstill the second");
  TUpdateLog(dir.File("update.log")).Write("third");
  const std::regex lines(
      "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d first\n)"
      "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d second\\\\x0D\\\\x0Astill the "
      "second\n)"
      "(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d third\n)");
  const std::string content = test::ReadFileBytes(dir.File("update.log"));
  EXPECT_TRUE(std::regex_match(content, lines)) << content;
}

// Every line is one event and the log UTF-8 text, whatever a name brings: control characters
// and bytes of no UTF-8 character are written as "\xNN"; characters beyond ASCII as they are.
TEST(UpdateLog, ControlCharactersAndInvalidUtf8AreEscaped) {
  const struct {
    std::string text;
    std::string logged;
  } cases[] = {
      {"plain", "plain"},
      {"a\tb\nc", "a\\x09b\\x0Ac"},
      {"del\x7F", "del\\x7F"},
      {"\xE5\x8D\x87\xE7\xBA\xA7.exe", "\xE5\x8D\x87\xE7\xBA\xA7.exe"},
      {"cut \xE5\x8D", "cut \\xE5\\x8D"},
      {"\xFF\xC0\xAF", "\\xFF\\xC0\\xAF"},
      {std::string("nul\0x", 5), "nul\\x00x"},
  };
  for (const auto& c : cases) EXPECT_EQ(TUpdateLog::Escaped(c.text), c.logged) << c.logged;
}

TEST(UpdateLog, PastItsLimitTheLogKeepsItsLastPartFromALineStart) {
  struct Case {
    const char* what;
    size_t lineLength;   // of the lines already there, with the line end
    size_t eventLength;  // of the new event's text
  };
  // A line across the cut, and the cut exactly on a line start: lines of 1 KB and a new line of
  // 1 KB (25 bytes of time stamp, a blank, the text, the line end).
  const Case cases[] = {{"a line across the cut", 1000, 14},
                        {"the cut on a line start", 1024, 997}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    const std::string path = dir.File("update.log");
    std::string old;
    for (int i = 0; old.size() <= TUpdateLog::kMaxSize; ++i) {
      std::string line = "old " + std::to_string(i) + " ";
      line.resize(c.lineLength - 1, 'x');
      old += line + "\n";
    }
    test::WriteFileBytes(path, old);
    TUpdateLog log(path);
    const std::string event(c.eventLength, 'e');
    log.Write(event);
    const std::string content = test::ReadFileBytes(path);
    const size_t whole = old.size() + 25 + 1 + c.eventLength + 1;
    const size_t cut = whole - TUpdateLog::kKeptSize;
    // The cut moves on to the next line start, unless it is on one.
    const size_t start = old[cut - 1] == '\n' ? cut : old.find('\n', cut) + 1;
    EXPECT_EQ(content.size(), whole - start);
    EXPECT_EQ(content.substr(0, old.size() - start), old.substr(start));
    EXPECT_EQ(content.substr(content.size() - event.size() - 2), " " + event + "\n");
    // Below the limit nothing is cut.
    log.Write("one more");
    EXPECT_EQ(test::ReadFileBytes(path).compare(0, content.size(), content), 0);
  }
}

// A log that is a link (or a FIFO) is not written: what it leads to is neither appended to nor
// cut, a dangling link makes no file, and a FIFO does not hold the update up.
TEST(UpdateLog, ALogThatIsALinkOrAFifoIsLeftAlone) {
  const std::string big(TUpdateLog::kMaxSize + 100, 'x');
  for (const char* kind : {"link to a small file", "link to a big file", "dangling link", "FIFO"}) {
    SCOPED_TRACE(kind);
    test::TempDir dir;
    const std::string log = dir.File("update.log");
    const std::string target = dir.File("elsewhere.txt");
    const std::string content = std::string(kind) == "link to a big file" ? big : "kept";
    bool made = false;
    if (std::string(kind) == "FIFO") {
      made = test::MakeFifo(log);
    } else {
      if (std::string(kind) != "dangling link") test::WriteFileBytes(target, content);
      made = test::MakeLink(target, log, false);
    }
    ASSERT_TRUE(made);
    TUpdateLog(log).Write("an event");
    EXPECT_EQ(platform::LinkFreeKind(log), std::string(kind) == "FIFO"
                                               ? platform::PathKind::kSpecial
                                               : platform::PathKind::kLink);
    if (std::string(kind) == "dangling link") {
      EXPECT_EQ(platform::LinkFreeKind(target), platform::PathKind::kMissing);
    } else if (std::string(kind) != "FIFO") {
      EXPECT_EQ(test::ReadFileBytes(target), content);
    }
  }
}

}  // namespace
