// Finding archives beside directories while their listings are remembered: a change to a directory is
// never hidden, whether it lands while the directory is settled, right after a listing, or by a
// directory swapped in under the same name and times; with change watches and with stamps alone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>

#include "file_test_support.h"
#include "orbel/file/qva_archive.h"
#include "platform/win/kernel/directory_watch.h"
#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/find_file.h"
#include "wait_until.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// Sets a directory's times an hour back (or to `when`), as those of installed data, so its stamp is
// settled.
void Age(const fs::path& directory, timespec when = {}) {
  if (when.tv_sec == 0) {
    clock_gettime(CLOCK_REALTIME, &when);
    when.tv_sec -= 3600;
  }
  const timespec times[2] = {when, when};
  ASSERT_EQ(utimensat(AT_FDCWD, directory.c_str(), times, 0), 0);
}

// Runs each test with change watches (the parameter true) and with directory stamps alone.
class ArchiveLocateTest : public testing::FileTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    testing::FileTest::SetUp();
    plat::test::SetDirectoryWatchesAvailable(GetParam());
    InitializeArchiveManager();  // no directory remembered from another road
  }
  void TearDown() override {
    plat::test::SetDirectoryWatchesAvailable(true);
    testing::FileTest::TearDown();
  }
  // "<name>.QVA" with A.TXT holding `text`, its directory removed.
  void MakeArchive(const std::string& name, const std::string& text) {
    testing::WriteTree(dir() / name, {{"A.TXT", Bytes(text.begin(), text.end())}});
    Pack(name);
    fs::remove_all(dir() / name);
  }
  static Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }
};

TEST_P(ArchiveLocateTest, AnArchivePlacedAfterAMissIsFoundByTheNextOpen) {
  for (const bool settled : {true, false}) {
    SCOPED_TRACE(settled ? "settled directory" : "directory changed just now");
    const std::string name = settled ? "OLD" : "NEW";
    MakeArchive(name + "PACK", "packed");
    testing::WriteTree(dir() / name / "DATA", {{"A.TXT", Text("plain")}});
    if (settled) Age(dir() / name);
    const std::string path = name + "/DATA/A.TXT";
    EXPECT_EQ(ReadAll(path.c_str()), Text("plain")) << "no archive yet";
    EXPECT_EQ(ReadAll(path.c_str()), Text("plain")) << "the remembered miss";

    fs::rename(dir() / (name + "PACK.QVA"), dir() / name / "data.qva");
    EXPECT_EQ(ReadAll(path.c_str()), Text("packed")) << "the archive placed after the miss";
  }
}

TEST_P(ArchiveLocateTest, ADirectorySwappedInUnderTheSameNameAndTimesIsListedAgain) {
  testing::WriteTree(dir() / "GAME" / "DATA", {{"A.TXT", Text("plain")}});
  MakeArchive("SPARE/DATA", "packed");
  timespec when{};
  clock_gettime(CLOCK_REALTIME, &when);
  when.tv_sec -= 3600;
  Age(dir() / "GAME", when);
  Age(dir() / "SPARE", when);
  struct stat game {}, spare {};
  ASSERT_EQ(stat((dir() / "GAME").c_str(), &game), 0);
  ASSERT_EQ(stat((dir() / "SPARE").c_str(), &spare), 0);
  ASSERT_EQ(game.st_mtim.tv_nsec, spare.st_mtim.tv_nsec);

  EXPECT_EQ(ReadAll("GAME/DATA/A.TXT"), Text("plain"));
  fs::rename(dir() / "GAME", dir() / "RETIRED");
  fs::rename(dir() / "SPARE", dir() / "GAME");
  EXPECT_EQ(ReadAll("GAME/DATA/A.TXT"), Text("packed"));
}

TEST_P(ArchiveLocateTest, ALinkOnTheWayPointedElsewhereIsFollowed) {
  testing::WriteTree(dir() / "PLAIN" / "DATA", {{"A.TXT", Text("plain")}});
  MakeArchive("PACKED/DATA", "packed");
  Age(dir() / "PLAIN");
  Age(dir() / "PACKED");
  fs::create_directory_symlink("PLAIN", dir() / "GAME");
  EXPECT_EQ(ReadAll("GAME/DATA/A.TXT"), Text("plain"));
  fs::create_directory_symlink("PACKED", dir() / "NEWLINK");
  fs::rename(dir() / "NEWLINK", dir() / "GAME");
  EXPECT_EQ(ReadAll("GAME/DATA/A.TXT"), Text("packed"));
}

TEST_P(ArchiveLocateTest, ManyArchivesInOneDirectoryAreAllFound) {
  // More archive names than one remembered listing holds: the directory is searched every time.
  for (int i = 0; i < 80; ++i) MakeArchive("ARCHIVE_WITH_A_LONG_NAME_" + std::to_string(i), std::to_string(i));
  Age(dir());
  for (int i : {0, 41, 79, 41}) {
    const std::string path = "archive_with_a_long_name_" + std::to_string(i) + "/a.txt";
    EXPECT_EQ(ReadAll(path.c_str()), Text(std::to_string(i))) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(WatchesAndStamps, ArchiveLocateTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Watches" : "Stamps"; });

TEST(DirectoryWatchTest, FiresOnNameChangesOnly) {
  testing::ScopedWorkDir work;
  const fs::path watched = work.path() / "watched";
  fs::create_directory(watched);
  testing::WriteFileText(watched / "old", "x");
  const int watch = plat::WatchDirectoryNames(watched.c_str());
  ASSERT_GE(watch, 0);
  plat::PollDirectoryWatches();
  EXPECT_FALSE(plat::DirectoryWatchFired(watch));
  testing::WriteFileText(watched / "old", "rewritten");
  plat::PollDirectoryWatches();
  EXPECT_FALSE(plat::DirectoryWatchFired(watch)) << "a file's contents are no name change";
  fs::rename(watched / "old", watched / "new");
  EXPECT_FALSE(plat::DirectoryWatchFired(watch)) << "notices are taken by the poll";
  plat::PollDirectoryWatches();
  EXPECT_TRUE(plat::DirectoryWatchFired(watch));
  plat::CloseDirectoryWatch(watch);
  EXPECT_TRUE(plat::DirectoryWatchFired(watch)) << "a closed watch is never trusted";
  EXPECT_LT(plat::WatchDirectoryNames((work.path() / "missing").c_str()), 0);
}

// Makes `change` in `directory` and stamps it at once, again until the stamp came within 10 ms of the
// change: a directory of fine times settles 30 ms after its last change, and a loaded machine may pause
// the test for longer than that. False when no stamp came soon enough in the wait's time.
bool StampRightAfter(const fs::path& directory, const std::function<void()>& change, plat::DirectoryStamp* stamp) {
  return testing::WaitUntil([&] {
    const auto changed = std::chrono::steady_clock::now();
    change();
    return plat::GetDirectoryStamp(directory.c_str(), stamp) &&
           std::chrono::steady_clock::now() - changed < std::chrono::milliseconds(10);
  });
}

TEST(DirectoryStampTest, TellsDirectoriesAndSettlement) {
  testing::ScopedWorkDir work;
  const fs::path fresh = work.path() / "fresh";
  const fs::path aged = work.path() / "aged";
  fs::create_directory(aged);
  Age(aged);
  testing::WriteFileText(work.path() / "file", "x");
  plat::DirectoryStamp stamp{};
  const auto makeFresh = [&] {
    fs::remove(fresh);
    fs::create_directory(fresh);
  };
  ASSERT_TRUE(StampRightAfter(fresh, makeFresh, &stamp));
  EXPECT_FALSE(stamp.settled) << "changed just now";
  ASSERT_TRUE(plat::GetDirectoryStamp(aged.c_str(), &stamp));
  EXPECT_TRUE(stamp.settled);
  const plat::DirectoryStamp before = stamp;
  int added = 0;
  ASSERT_TRUE(StampRightAfter(aged, [&] { testing::WriteFileText(aged / std::to_string(++added), "x"); }, &stamp));
  EXPECT_NE(stamp.modified, before.modified);
  EXPECT_FALSE(stamp.settled);
  EXPECT_FALSE(plat::GetDirectoryStamp((work.path() / "file").c_str(), &stamp)) << "a file";
  EXPECT_FALSE(plat::GetDirectoryStamp((work.path() / "missing").c_str(), &stamp));
}

}  // namespace
}  // namespace orbel
