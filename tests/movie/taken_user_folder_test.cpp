// A film inside an archive plays through a temporary copy. With the user's folder taken by another user,
// the library still starts, the copy goes to the process's private folder instead, and the film plays:
// the archive-film test of the DirectShow road is run again in a process of its own beside such a folder.
#include <unistd.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

TEST(TakenUserFolder, AnArchiveFilmStillPlaysFromACopyInAPrivateFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's folder takes root";
  orbel::testing::ScopedWorkDir work;
  const fs::path base = work.path() / "tmp";  // stands in for /tmp
  fs::create_directory(base);
  fs::permissions(base, fs::perms::all | fs::perms::sticky_bit);
  const fs::path taken = base / ("orbel-" + std::to_string(::geteuid()));
  fs::create_directory(taken);
  ASSERT_TRUE(orbel::testing::GiveToAnotherUser(taken));
  fs::permissions(taken, fs::perms::all | fs::perms::sticky_bit);

  const fs::path output = work.path() / "output.txt";
  const int status = orbel::testing::RunSelf(
      "DirectShowMovieTest.AFilmInAnArchivePlaysFromATemporaryCopyWhoseNameGoesAtOnce",
      {"XDG_RUNTIME_DIR=" + base.string(), "TMPDIR"}, output);
  const std::string said = orbel::testing::ReadFileText(output);
  EXPECT_EQ(status, 0) << said;
  EXPECT_NE(said.find("[  PASSED  ] 1 test."), std::string::npos) << said;
  EXPECT_NE(said.find("orbel: refused " + taken.string() + " "), std::string::npos) << said;
  EXPECT_TRUE(fs::is_empty(taken)) << "nothing is made in another user's folder";
  EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1)
      << "the private folder went with its process";
}

}  // namespace
