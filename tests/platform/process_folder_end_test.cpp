// The process's folder at its end, when other threads still ask for temporary files: once removed, no
// folder is made again, and a file made through the path read before the end lands nowhere; a folder
// first asked for after the exit handlers have all run (the streams are being flushed) is not left. Each
// case runs in a child of its own, since a folder's end is for good.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/process_folder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr char kChildVariable[] = "PROCESS_FOLDER_END_CHILD";

bool InChild() { return std::getenv(kChildVariable) != nullptr; }

// Removes the folder as ExitProcess and the exit handler do, while a file is made through the path read
// before, between the folder's end and its emptying; later requests find no folder.
TEST(ProcessFolderEndChild, EndsWhileAnotherThreadStillAsks) {
  if (!InChild()) GTEST_SKIP() << "a child of the ProcessFolderEnd test";
  const fs::path folder = plat::ProcessFolder();
  ASSERT_FALSE(folder.empty());
  orbel::testing::WriteFileText(folder / "kept.tmp", "kept");
  int late = -1;
  plat::test::SetFolderStepHook([&](const std::string& step) {
    if (step == "ending") late = ::open((folder / "late.tmp").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  });
  plat::RemoveOwnProcessFolder();
  plat::test::SetFolderStepHook(nullptr);
  EXPECT_LT(late, 0) << "a file was made in the folder as it was removed";
  char path[512] = "";
  EXPECT_EQ(plat::GetTempPathA(sizeof path, path), 0u) << path;
  EXPECT_TRUE(plat::ProcessFolder().empty());
}

// Asks for the folder from a stream flushed after the last exit handler has run.
TEST(ProcessFolderEndChild, AsksAfterTheExitHandlers) {
  if (!InChild()) GTEST_SKIP() << "a child of the ProcessFolderEnd test";
  cookie_io_functions_t io{};
  io.write = [](void*, const char*, size_t size) -> ssize_t {
    const std::string said = "asked at the end: [" + plat::ProcessFolder() + "]\n";
    return ::write(2, said.data(), said.size()) > 0 ? static_cast<ssize_t>(size) : -1;
  };
  FILE* stream = ::fopencookie(nullptr, "w", io);
  ASSERT_NE(stream, nullptr);
  std::fputs("flushed at the end", stream);  // kept in the stream's buffer until then
  std::exit(0);
}

TEST(ProcessFolderEnd, NoFolderIsMadeOrLeftOnceTheProcessEnds) {
  for (const char* child : {"EndsWhileAnotherThreadStillAsks", "AsksAfterTheExitHandlers"}) {
    orbel::testing::ScopedWorkDir work;
    const fs::path base = work.path() / "runtime", output = work.path() / "output.txt";
    fs::create_directory(base);
    const int status = orbel::testing::RunSelf(std::string("ProcessFolderEndChild.") + child,
                                               {std::string(kChildVariable) + "=1", "XDG_RUNTIME_DIR=" + base.string(),
                                                "TMPDIR"},
                                               output);
    const std::string said = orbel::testing::ReadFileText(output);
    EXPECT_EQ(status, 0) << child << "\n" << said;
    EXPECT_EQ(said.find("Failure"), std::string::npos) << child << "\n" << said;
    if (std::string(child) == "AsksAfterTheExitHandlers") {
      EXPECT_NE(said.find("asked at the end: []"), std::string::npos) << said;
    }
    EXPECT_EQ(orbel::testing::ProcessFoldersLeft(base), "") << child;
  }
}

}  // namespace
