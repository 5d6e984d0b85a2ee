// Rules the source tree keeps: the library never reaches the stand-ins' test controls, only the clock
// reads real time (the wall-clock date of the file-time calls excepted), so the virtual clock governs
// every wait, and every setting the library reads from the environment is known to the test main.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_environment.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSourceRoot = fs::path(ORBEL_TEST_DATA_DIR).parent_path();

// "path:line: text" for every line of the sources below `folder` that matches `pattern`; `kinds` names
// the files read, by extension or whole name.
std::vector<std::string> FindLines(const fs::path& folder, const std::regex& pattern,
                                   const std::vector<std::string>& allowed,
                                   const std::vector<std::string>& kinds = {".cpp", ".h"}) {
  std::vector<std::string> hits;
  if (!fs::exists(folder)) return hits;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const fs::path& path = entry.path();
    bool read = false;
    for (const std::string& kind : kinds) read = read || path.extension() == kind || path.filename() == kind;
    if (!entry.is_regular_file() || !read) continue;
    const std::string relative = fs::relative(path, kSourceRoot).generic_string();
    bool skip = false;
    for (const std::string& name : allowed) skip = skip || relative == name;
    if (skip) continue;
    std::ifstream in(path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      if (std::regex_search(line, pattern)) hits.push_back(relative + ":" + std::to_string(number) + ": " + line);
    }
  }
  return hits;
}

std::string Join(const std::vector<std::string>& lines) {
  std::ostringstream out;
  for (const std::string& line : lines) out << line << "\n";
  return out.str();
}

TEST(SourceRules, TheLibraryNeverIncludesTestControls) {
  const std::regex pattern(R"(#\s*include\s*"[^"]*test_controls\.h")");
  std::vector<std::string> hits = FindLines(kSourceRoot / "orbel", pattern, {});
  for (const std::string& hit : FindLines(kSourceRoot / "game", pattern, {})) hits.push_back(hit);
  for (const std::string& hit : FindLines(kSourceRoot / "include", pattern, {})) hits.push_back(hit);
  EXPECT_TRUE(hits.empty()) << Join(hits);
}

TEST(SourceRules, OnlyTheClockReadsRealTime) {
  const std::regex pattern(
      R"(sleep_for|sleep_until|steady_clock|system_clock|high_resolution_clock|nanosleep|usleep|clock_gettime|gettimeofday|SDL_Delay|SDL_GetTicks)");
  const std::vector<std::string> allowed = {"platform/win/kernel/clock.cpp", "platform/win/kernel/find_file.cpp"};
  std::vector<std::string> hits = FindLines(kSourceRoot / "orbel", pattern, allowed);
  for (const std::string& hit : FindLines(kSourceRoot / "platform", pattern, allowed)) hits.push_back(hit);
  for (const std::string& hit : FindLines(kSourceRoot / "game", pattern, allowed)) hits.push_back(hit);
  EXPECT_TRUE(hits.empty()) << Join(hits);
}

// A setting the test main does not know would reach the tests from a user's environment.
TEST(SourceRules, EveryEnvironmentSettingIsKnownToTheTestMain) {
  const std::regex pattern(R"re(getenv\("(ORBEL_[A-Z0-9_]+)"\))re");
  std::vector<std::string> lines;
  for (const char* folder : {"orbel", "platform", "game"}) {
    for (const std::string& hit : FindLines(kSourceRoot / folder, pattern, {})) lines.push_back(hit);
  }
  ASSERT_FALSE(lines.empty()) << "the pattern finds the settings";
  std::vector<std::string> unknown;
  for (const std::string& line : lines) {
    std::smatch match;
    std::regex_search(line, match, pattern);
    bool known = false;
    for (const auto* list : {&orbel::testing::ClearedLibraryVariables(), &orbel::testing::KeptLibraryVariables()}) {
      for (const char* name : *list) known = known || match[1] == name;
    }
    if (!known) unknown.push_back(line);
  }
  EXPECT_TRUE(unknown.empty()) << Join(unknown);
}

// Every test's time limit comes from one rule (orbel_time_limit: five times as long under the sanitizers),
// and one switch, ORBEL_UPDATE_GOLDEN=1, rewrites every golden picture.
TEST(SourceRules, OneRuleForTimeLimitsAndOneSwitchForGoldenPictures) {
  std::vector<std::string> hits;
  for (const char* folder : {"cmake", "tests", "fuzz", "bench", "tools", "orbel", "platform", "game"}) {
    for (const std::string& hit :
         FindLines(kSourceRoot / folder, std::regex(R"(\bTIMEOUT\s+[0-9])"), {}, {".cmake", "CMakeLists.txt"})) {
      hits.push_back(hit);
    }
  }
  const std::regex golden(R"re(getenv\("(?!ORBEL_UPDATE_GOLDEN")[A-Z0-9_]*(GOLDEN|REGENERATE))re");
  for (const std::string& hit : FindLines(kSourceRoot / "tests", golden, {})) hits.push_back(hit);
  EXPECT_TRUE(hits.empty()) << Join(hits);
}

}  // namespace
