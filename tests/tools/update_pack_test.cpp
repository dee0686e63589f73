// End-to-end tests of update-pack: it runs as its own process on small release trees; its archives
// are read back by the archive component (and, on Linux, tested by Info-ZIP unzip and 7-Zip and
// their signatures checked by openssl), and every refusal is checked for its exit status and
// message.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "release/release_record.h"
#include "support/child_processes.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "support/tool_run.h"
#include "support/zip_writer.h"
#include "tools/update_pack_zip.h"
#include "unzip/unzipper.h"

namespace {

using test::ToolRun;
// Paths ("/" separators) to contents; a directory's path ends in "/" and has no content.
using TTree = std::map<std::string, std::string>;

// update-pack's run, its output with LF line ends (Windows' text mode writes CR LF).
ToolRun RunPack(const test::TempDir& work, const std::vector<std::string>& arguments) {
  ToolRun run = test::RunTool(test::HostPath(UPDATE_PACK), work, arguments);
  std::erase(run.out, '\r');
  return run;
}

std::string Fixture(const std::string& name) {
  return test::HostPath(std::string(UPDATE_SIGNATURE_FIXTURES) + "/" + name);
}

std::string SystemForm(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// Writes `tree` below `root`, every file with the same last-write time, so that two trees written
// apart are alike to the byte; "bin/tool" gets the permissions 0755.
void WriteTree(const std::string& root, const TTree& tree) {
  std::filesystem::create_directories(test::FsPath(root));
  for (const auto& [path, content] : tree) {
    const std::string full = root + "\\" + SystemForm(path);
    if (path.back() == '/') {
      std::filesystem::create_directories(test::FsPath(full));
    } else {
      std::filesystem::create_directories(test::FsPath(full).parent_path());
      test::WriteFileBytes(full, content);
    }
    if (path == "bin/tool") {
      ASSERT_EQ(platform::WritePermissions(full, 0755), 0);
    }
  }
  const auto time = std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
      std::chrono::sys_days{std::chrono::year{2024} / std::chrono::March / 1}});
  for (const auto& entry : std::filesystem::recursive_directory_iterator(test::FsPath(root))) {
    if (entry.is_regular_file()) std::filesystem::last_write_time(entry.path(), time);
  }
}

// The archive extracted whole by the archive component, as a tree; `toolPermissions` receives
// those of "bin/tool".
TTree ExtractWithComponent(const std::string& archive, int32_t* toolPermissions = nullptr) {
  const std::string destination = platform::MakeTemporaryDirectory("update-pack-test-");
  TUnZipper zipper;
  zipper.DoProcessMessages = false;
  zipper.OnHandleMessage = [](TUnZipper*, int, const std::string& msg1, const std::string&,
                              uint32_t flags, int& result) {
    ADD_FAILURE() << msg1;
    result = platform::SafeAnswer(flags);
  };
  zipper.SetZipName(archive);
  zipper.SetDestDir(destination);
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  zipper.OverwriteMode = Always;
  EXPECT_NO_THROW(zipper.UnZip());
  TTree tree;
  for (std::string path : platform::ListDirectoryTree(destination)) {
    const bool directory = path.back() == '\\';
    const std::string content =
        directory ? std::string() : test::ReadFileBytes(destination + "\\" + path);
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    tree[path] = content;
  }
  if (toolPermissions != nullptr) {
    *toolPermissions = platform::ReadPermissions(destination + "\\bin\\tool");
  }
  EXPECT_TRUE(platform::RemoveDirectoryTree(destination));
  return tree;
}

bool HostToolPasses(const std::string& command) {
  return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

const TTree kRelease = {
    {"bin/", ""},
    {"bin/tool", "#!/bin/sh\necho tool\n"},
    {"data/levels/one.dat", std::string(70000, 'a') + "end"},
    {"data/empty/", ""},
    {"readme.txt", "version 2\n"},
    {"zero.bin", ""},
    {"\xE6\x96\x87\xE4\xBB\xB6.txt", "unicode name\n"},
};

// The same files and names give the same archive and record, whatever the times of the
// directories (which change with every file made in them) and the time zone.
TEST(UpdatePack, TheSameFilesGiveTheSameBytes) {
  test::TempDir work;
  WriteTree(work.File("one"), kRelease);
  WriteTree(work.File("two"), kRelease);
  auto make = [&](const char* tree, const std::string& name) {
    return RunPack(work, {"make", "--product", "app", "--version", "2.0", "-o",
                          work.File(name + ".zip"), work.File(tree)});
  };
  ToolRun run = make("one", "reference");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string bytes = test::ReadFileBytes(work.File("reference.zip"));
  // The record is the first entry: its name follows the first local header.
  EXPECT_EQ(bytes.substr(30, 15), kReleaseRecordName);
  struct Case {
    const char* what;
    const char* tree;
    const char* zone;     // TZ, or null
    const char* touched;  // a directory of the tree given a time newer than every file's, or null
  };
  const Case cases[] = {
      {"the same tree again", "one", nullptr, nullptr},
      {"a tree written apart", "two", nullptr, nullptr},
      {"another time zone (the times are UTC's)", "two", "Asia/Tokyo", nullptr},
      {"a directory touched", "one", nullptr, "data"},
      {"an empty directory touched", "one", nullptr, "data\\empty"},
      {"the tree's own directory touched", "one", nullptr, ""},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // mingw's std::filesystem cannot set a directory's time (it opens it as a file).
    if (c.touched != nullptr && test::OnWindows()) continue;
    if (c.touched != nullptr) {
      const std::string dir = work.File(c.tree) + (*c.touched != 0 ? "\\" : "") + c.touched;
      std::filesystem::last_write_time(
          test::FsPath(dir), std::chrono::file_clock::from_sys(std::chrono::sys_seconds{
                                 std::chrono::sys_days{std::chrono::year{2030} / 1 / 1}}));
    }
    const std::string name = "row" + std::to_string(++row);
    {
      std::optional<test::ScopedEnv> zone;
      if (c.zone != nullptr) zone.emplace("TZ", c.zone);
      run = make(c.tree, name);
    }
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ReadFileBytes(work.File(name + ".zip")), bytes);
    EXPECT_EQ(test::ReadFileBytes(work.File(name + ".release")),
              test::ReadFileBytes(work.File("reference.release")));
    EXPECT_FALSE(std::filesystem::exists(test::FsPath(work.File(name + ".zip.part"))));
  }
}

TEST(UpdatePack, TheArchivePassesOtherToolsAndReadsBackWhole) {
  test::TempDir work;
  WriteTree(work.File("release"), kRelease);
  const std::string archive = work.File("update.zip");
  const ToolRun run = RunPack(
      work, {"make", "--product", "app", "--version", "2.0", "-o", archive, work.File("release")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("app 2.0, the whole release in 7 entries"), std::string::npos) << run.out;
  EXPECT_EQ(test::ReadFileBytes(work.File("update.release")),
            "update-release 1\nproduct app\nversion 2.0\n");
  if (!test::OnWindows()) {
    const std::string native = test::NativePath(archive);
    EXPECT_TRUE(HostToolPasses("unzip -t '" + native + "'"));
    EXPECT_TRUE(HostToolPasses("7zz t '" + native + "'"));
  }
  // Every file, the empty directory (the others come with their files) and the record.
  TTree expected = kRelease;
  expected.erase("bin/");
  expected["bin/"] = "";
  expected["data/"] = "";
  expected["data/levels/"] = "";
  expected[kReleaseRecordName] = "update-release 1\nproduct app\nversion 2.0\n";
  int32_t toolPermissions = 0;
  EXPECT_EQ(ExtractWithComponent(archive, &toolPermissions), expected);
  if (!test::OnWindows()) {
    EXPECT_EQ(toolPermissions, 0755);
  }

  const ToolRun show = RunPack(work, {"show", archive});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("  product app\n  version 2.0\n"), std::string::npos) << show.out;
  EXPECT_NE(show.out.find("signature: none"), std::string::npos) << show.out;
}

TEST(UpdatePack, FromAnOlderReleaseOnlyTheChangesAndTheRemovals) {
  test::TempDir work;
  TTree old = kRelease;
  old["readme.txt"] = "version 1\n";
  old["gone.txt"] = "only in the old release\n";
  old["lib/gone/deep.dll"] = "old library\n";
  old["data/empty/"] = "";
  old[kReleaseRecordName] = "update-release 1\nproduct app\nversion 1.9\n";
  old["update.log"] = "the installed copy's log is not part of a release\n";
  old["Notes.txt"] = "a name that changes its letter case\n";
  TTree release = kRelease;
  release["NOTES.txt"] = old["Notes.txt"];
  release["data/new/"] = "";
  release["lib/gone/"] = "";  // emptied by a removal, and kept
  release["added.txt"] = "new file\n";
  WriteTree(work.File("old"), old);
  WriteTree(work.File("new"), release);
  const std::string archive = work.File("update.zip");
  ToolRun run = RunPack(work, {"make", "--product", "app", "--version", "2.0", "--from",
                               work.File("old"), "-o", archive, work.File("new")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("the changes from 1.9 in 6 entries (the release record, 3 files, 2 "
                         "directories), 4 files left out as unchanged, 2 removals"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("note: Notes.txt is not removed: NOTES.txt takes its place"),
            std::string::npos)
      << run.err;
  const TTree expected = {
      {kReleaseRecordName,
       "update-release 1\nproduct app\nversion 2.0\nfrom 1.9\nremove gone.txt\n"
       "remove lib/gone/deep.dll\n"},
      {"added.txt", "new file\n"},
      {"NOTES.txt", "a name that changes its letter case\n"},
      {"readme.txt", "version 2\n"},
      {"data/", ""},
      {"data/new/", ""},
      {"lib/", ""},
      {"lib/gone/", ""},
  };
  EXPECT_EQ(ExtractWithComponent(archive), expected);
  if (!test::OnWindows()) {
    EXPECT_TRUE(HostToolPasses("unzip -t '" + test::NativePath(archive) + "'"));
  }

  // An old tree without a record: its version comes from the command line.
  ASSERT_TRUE(platform::RemoveFile(work.File("old\\") + kReleaseRecordName));
  const std::string second = work.File("second.zip");
  run = RunPack(work, {"make", "--product", "app", "--version", "2.0", "--from", work.File("old"),
                       "--from-version", "1.9.0", "-o", second, work.File("new")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ExtractWithComponent(second)[kReleaseRecordName],
            "update-release 1\nproduct app\nversion 2.0\nfrom 1.9.0\nremove gone.txt\n"
            "remove lib/gone/deep.dll\n");
}

// An installed copy as the old release: the updater's program, its key and its bookkeeping are
// never removed, though the new release tree lacks them; the first two are named on the output.
TEST(UpdatePack, TheUpdatersOwnFilesAreNeverRemoved) {
  struct Case {
    const char* path;
    bool noted;
    bool removed;
  };
  const Case cases[] = {
      {"update.pub", true, false},         {"update", true, false},
      {"UPDATE.EXE", true, false},         {".update-lock", false, false},
      {"update.log", false, false},        {"plugins/update.pub", false, true},
      {"plugins/update.exe", false, true}, {"old.txt", false, true},
  };
  test::TempDir work;
  TTree installed = {{"app.txt", "a"},
                     {kReleaseRecordName, "update-release 1\nproduct app\nversion 1.9\n"}};
  for (const Case& c : cases) installed[c.path] = c.path;
  WriteTree(work.File("installed"), installed);
  WriteTree(work.File("new"), {{"app.txt", "a"}});
  const ToolRun run =
      RunPack(work, {"make", "--product", "app", "--version", "2.0", "--from",
                     work.File("installed"), "-o", work.File("update.zip"), work.File("new")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string record = test::ReadFileBytes(work.File("update.release"));
  EXPECT_EQ(ExtractWithComponent(work.File("update.zip"))[kReleaseRecordName], record);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(record.find(std::string("\nremove ") + c.path + "\n") != std::string::npos, c.removed)
        << record;
    EXPECT_EQ(run.err.find(std::string("note: ") + c.path +
                           " is not removed: it is the updater's own file") != std::string::npos,
              c.noted)
        << run.err;
  }
}

// make and show count an archive's entries alike, the record among them, in the same words.
TEST(UpdatePack, MakeAndShowCountTheEntriesAlike) {
  struct Case {
    TTree tree;
    bool fromOld;
    const char* entries;
  };
  const Case cases[] = {
      {kRelease, false, "7 entries (the release record, 5 files, 1 directory)"},
      {{{"a.txt", "a"}}, false, "2 entries (the release record, 1 file, 0 directories)"},
      {{{"a.txt", "changed"}, {"b.txt", "b"}, {"new/", ""}},
       true,
       "4 entries (the release record, 2 files, 1 directory)"},
  };
  test::TempDir work;
  WriteTree(work.File("old"),
            {{"a.txt", "a"}, {kReleaseRecordName, "update-release 1\nproduct app\nversion 1\n"}});
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entries);
    const std::string name = "row" + std::to_string(++row);
    WriteTree(work.File(name), c.tree);
    std::vector<std::string> make = {
        "make",         "--product", "app", "--version", "2", "-o", work.File(name + ".zip"),
        work.File(name)};
    if (c.fromOld) make.insert(make.begin() + 1, {"--from", work.File("old")});
    const ToolRun made = RunPack(work, make);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_NE(made.out.find(std::string(" in ") + c.entries), std::string::npos) << made.out;
    const ToolRun shown = RunPack(work, {"show", work.File(name + ".zip")});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find(std::string("\n") + c.entries + ", "), std::string::npos) << shown.out;
  }
}

TEST(UpdatePack, ASignedArchiveVerifiesWithOpensslAndShow) {
  test::TempDir work;
  WriteTree(work.File("release"), kRelease);
  const std::string archive = work.File("update.zip");
  const std::vector<std::string> make = {
      "make",   "--product",       "app", "--version", "2.0",
      "--sign", Fixture("ec.pem"), "-o",  archive,     work.File("release")};
  ToolRun run = RunPack(work, make);
  ASSERT_EQ(run.status, 0) << run.err;
  // Under Wine, tests/tools/cross_check_signatures.sh has openssl check the Windows build's.
  if (!test::OnWindows()) {
    EXPECT_EQ(std::system(("openssl dgst -sha256 -verify '" + test::NativePath(Fixture("ec.pub")) +
                           "' -signature '" + test::NativePath(archive + ".sig") + "' '" +
                           test::NativePath(archive) + "' > /dev/null")
                              .c_str()),
              0);
  }
  run = RunPack(work, {"show", archive, "--key", Fixture("ec.pub")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("update.zip.sig verified with"), std::string::npos) << run.out;
  run = RunPack(work, {"show", archive, "--key", Fixture("second.pub")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("not verified: the signature in"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("does not match"), std::string::npos) << run.err;
}

TEST(UpdatePack, BadInputsAreRefusedWithTheirReason) {
  test::TempDir work;
  const std::string release = work.File("new");
  WriteTree(release, kRelease);
  const std::string record = std::string(kReleaseRecordName);
  WriteTree(work.File("old"), {{record, "update-release 1\nproduct app\nversion 1.9\n"}});
  WriteTree(work.File("other"), {{record, "update-release 1\nproduct other\nversion 1\n"}});
  WriteTree(work.File("broken"), {{record, "update-release 2\n"}});
  WriteTree(work.File("bare"), {{"a.txt", "a"}});
  WriteTree(work.File("beside"), {{"a.txt", "a"}});
  test::WriteFileBytes(work.File("beside.release"), "update-release 1\nproduct other\nversion 1\n");
  test::WriteFileBytes(work.File("taken.release"), "");
  WriteTree(work.File("own"), {{".Update-Journal", "x"}});
  test::WriteFileBytes(work.File("exists.zip"), "");
  test::WriteFileBytes(work.File("not.zip"), "this is not an archive");
  test::WriteFileBytes(work.File("norecord.zip"), test::BuildZipOfFiles({{"a.txt", "a"}}));
  test::WriteFileBytes(work.File("badname.zip"),
                       test::BuildZipOfFiles({{record, "update-release 1\nproduct a\nversion 1\n"},
                                              {"update.log", "x"}}));
  const std::string out = work.File("out.zip");
  const std::vector<std::string> make = {"make", "--product", "app", "--version", "2.0"};
  auto Make = [&](std::vector<std::string> extra, const std::string& tree) {
    std::vector<std::string> all = make;
    all.insert(all.end(), extra.begin(), extra.end());
    all.push_back(tree);
    return all;
  };
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string message;
  };
  std::vector<Case> cases = {
      {{}, 2, "update-pack: no command"},
      {{"frob"}, 2, "unknown command 'frob'"},
      {{"make", "--product", "app", "--version", "1", release}, 2, "make needs -o ARCHIVE"},
      {{"make", "--product", "app", "-o", out, release}, 2, "make needs --version"},
      {{"make", "--version", "1", "-o", out, release}, 2, "make needs --product"},
      {{"make", "--product", "app", "--version", "1", "-o", out}, 2, "make takes one NEW_DIR"},
      {Make({"-o", out, "--product", "x"}, release), 2, "--product is given twice"},
      {Make({"-o", out, "--fast"}, release), 2, "unknown option --fast"},
      {{"make", "--product", "app", "--version", "1", release, "-o"}, 2, "-o needs a value"},
      {{"make", "--product", "a b", "--version", "1", "-o", out, release},
       2,
       "the product 'a b' is not 1 to 64 ASCII letters"},
      {{"make", "--product", "app", "--version", "1.x", "-o", out, release},
       2,
       "the version '1.x' is not decimal numbers"},
      {Make({"--from-version", "1", "-o", out}, release), 2, "--from-version needs --from"},
      {{"show"}, 2, "show takes one ARCHIVE"},
      {{"show", out, "--sign", "k"}, 2, "unknown option --sign"},
      {Make({"-o", out}, work.File("missing")), 1, "missing is not a directory"},
      {Make({"-o", work.File("exists.zip")}, release), 1,
       "exists.zip exists already; it is not overwritten"},
      {Make({"--from", release, "-o", out}, release), 1, "must be two separate directories"},
      {Make({"--from", work.Path(), "-o", out}, release), 1, "must be two separate directories"},
      {Make({"-o", release + "\\x.zip"}, release), 1, "would lie inside the release"},
      {Make({"--from", work.File("bare"), "-o", out}, release), 1,
       "bare has no .update-release, nor "},
      {Make({"--from", work.File("bare"), "-o", out}, release), 1,
       "bare.release beside it (which packing it with -o "},
      {Make({"--from", work.File("other"), "-o", out}, release), 1,
       "other's .update-release names the product other, not app"},
      {Make({"--from", work.File("beside"), "-o", out}, release), 1,
       "the release record " + test::NativePath(work.File("beside.release")) +
           " names the product other, not app"},
      {Make({"-o", work.File("taken.zip")}, release), 1,
       "taken.release exists already; it is not overwritten"},
      {Make({"--from", work.File("broken"), "-o", out}, release), 1,
       ".update-release is not valid: the first line is not"},
      {Make({"--from", work.File("old"), "--from-version", "1.8", "-o", out}, release), 1,
       "--from-version 1.8 differs from the version 1.9"},
      {{"make", "--product", "app", "--version", "1.9.0", "--from", work.File("old"), "-o", out,
        release},
       1,
       "the release it changes (from 1.9) is not older than its version 1.9.0"},
      {Make({"-o", out}, work.File("own")), 1,
       ".Update-Journal cannot be in a release: its path is one of the updater's own names"},
      {{"show", work.File("missing.zip")}, 1, "cannot open"},
      {{"show", work.File("not.zip")}, 1, "is not a ZIP archive"},
      {{"show", work.File("norecord.zip")}, 1, "it holds no release record (.update-release)"},
      {{"show", work.File("badname.zip")},
       1,
       "its entry update.log cannot be applied by an updater: its path is one of the updater's"},
  };
  cases.push_back(
      {Make({"--sign", work.File("none.pem"), "-o", out}, release), 1, "the private key file"});
  // Names that Windows itself cannot hold, and links, are made where the system allows them.
  if (!test::OnWindows()) {
    const std::pair<const char*, TTree> trees[] = {
        {"device", {{"sub/con.txt", "x"}}},
        {"control", {{"a\x01b", "x"}}},
        {"cases", {{"Read.me", "x"}, {"read.ME", "y"}}},
        {"backslash", {{"a\\b", "x"}}},
    };
    for (const auto& [name, tree] : trees) {
      for (const auto& [path, content] : tree) {
        // Host paths: the system's form would take "\\" for a separator.
        const std::filesystem::path file = test::FsPath(work.File(name)) / path;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << content;
      }
    }
    std::filesystem::create_symlink("../new", test::FsPath(work.File("bare\\link")));
    cases.push_back({Make({"-o", out}, work.File("device")), 1,
                     "sub/con.txt cannot be in a release: its path has the component \"con.txt\""});
    cases.push_back({Make({"-o", out}, work.File("control")), 1, "holds a control character"});
    cases.push_back({Make({"-o", out}, work.File("cases")), 1,
                     "holds Read.me and read.ME, whose names differ only in letter case"});
    cases.push_back({Make({"-o", out}, work.File("backslash")), 1,
                     "has \"\\\" in its name, which the updater takes for a separator"});
    cases.push_back({Make({"-o", out}, work.File("bare")), 1,
                     "bare/link is a link: a release holds files and directories only"});
  }
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += argument + " ";
    SCOPED_TRACE(line);
    const ToolRun run = RunPack(work, c.arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    for (const char* left : {"out.zip", "out.zip.part", "out.release", "taken.zip"}) {
      EXPECT_FALSE(std::filesystem::exists(test::FsPath(work.File(left)))) << left;
    }
  }
  const ToolRun help = RunPack(work, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: update-pack make --product ID"), std::string::npos);
  const ToolRun version = RunPack(work, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "update-pack 1.1.0.0\n");
}

// 65,535 entries need the Zip64 end records; Info-ZIP unzip, 7-Zip and the component read them.
TEST(UpdatePackZip, ManyEntriesGoIntoZip64EndRecords) {
  test::TempDir work;
  const std::string archive = work.File("many.zip");
  constexpr int kEntries = 65535;
  TZipWriter zip;
  std::string reason;
  ASSERT_TRUE(zip.Create(archive, &reason)) << reason;
  for (int i = 0; i < kEntries; ++i) {
    const std::string name = std::to_string(i / 1000) + "/" + std::to_string(i);
    ASSERT_TRUE(zip.AddBytes({name, 1709294400, 0644, platform::kAttrArchive}, name, &reason))
        << reason;
  }
  ASSERT_TRUE(zip.Finish(&reason)) << reason;
  const std::string bytes = test::ReadFileBytes(archive);
  EXPECT_NE(bytes.find(std::string("PK\x06\x06", 4)), std::string::npos);
  if (!test::OnWindows()) {
    const std::string native = test::NativePath(archive);
    EXPECT_TRUE(HostToolPasses("unzip -tq '" + native + "'"));
    EXPECT_TRUE(HostToolPasses("7zz t '" + native + "'"));
  }
  TUnZipper zipper;
  zipper.SetZipName(archive);
  zipper.LoadDirectory();
  EXPECT_EQ(zipper.EntryCount(), kEntries);
}

// Entry times are UTC's, within the years DOS times hold.
TEST(UpdatePackZip, DosTimesAreUtcAndClamped) {
  struct Case {
    int64_t unixTime;
    uint32_t dos;
  };
  const Case cases[] = {
      {1709294400, (44u << 25) | (3u << 21) | (1u << 16) | (12u << 11)},  // 2024-03-01 12:00:00
      {1709294401, (44u << 25) | (3u << 21) | (1u << 16) | (12u << 11)},  // odd seconds go down
      {951825599, (20u << 25) | (2u << 21) | (29u << 16) | (11u << 11) | (59u << 5) | 29u},
      {315532800, (1u << 21) | (1u << 16)},  // 1980-01-01 00:00:00
      {0, (1u << 21) | (1u << 16)},
      {-5000000000, (1u << 21) | (1u << 16)},
      {4354819198, (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
      {9999999999, (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DosDateTimeOfUnixTime(c.unixTime), c.dos) << c.unixTime;
  }
}

}  // namespace
