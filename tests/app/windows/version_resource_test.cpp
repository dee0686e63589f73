// The version resource of update.exe, read back the way Explorer reads it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/windows/wide_text.h"
#include "support/temp_dir.h"

namespace {

class VersionResource : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::wstring path = test::Wide(test::HostPath(UPDATE_UPDATER));
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data_.data()));
  }

  // The value at `block`, or nullptr with size 0.
  const void* Query(const std::wstring& block, UINT* size) {
    void* value = nullptr;
    *size = 0;
    return VerQueryValueW(data_.data(), block.c_str(), &value, size) ? value : nullptr;
  }

  std::vector<char> data_;
};

TEST_F(VersionResource, FileAndProductVersionAre1100) {
  UINT size = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Query(L"\\", &size));
  ASSERT_NE(fixed, nullptr);
  ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(1, 1));  // 1.1
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);              // .0.0
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(1, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
}

TEST_F(VersionResource, StringsCarryTheTitleAndTheVersion) {
  // The strings live in the block of the language and code page that the translation names.
  UINT size = 0;
  const auto* translation = static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation", &size));
  ASSERT_NE(translation, nullptr);
  ASSERT_GE(size, 2 * sizeof(WORD));
  wchar_t block[32];
  swprintf(block, 32, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);

  struct Case {
    const wchar_t* name;
    const char* expected;
    bool whole;  // the value is exactly `expected`, not only holds it
  };
  const Case cases[] = {{L"FileDescription", "软件升级器", false},
                        {L"OriginalFilename", "软件升级器", false},
                        {L"Comments", "软件升级器", false},
                        {L"FileVersion", "1.1.0.0", true},
                        {L"ProductVersion", "1.1.0.0", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(test::Utf8(c.name));
    const auto* text = static_cast<const wchar_t*>(Query(std::wstring(block) + c.name, &size));
    ASSERT_NE(text, nullptr) << "missing";
    const std::string value = test::Utf8(std::wstring(text, wcsnlen(text, size)));
    if (c.whole) {
      EXPECT_EQ(value, c.expected);
    } else {
      EXPECT_NE(value.find(c.expected), std::string::npos) << value;
    }
  }
}

}  // namespace
