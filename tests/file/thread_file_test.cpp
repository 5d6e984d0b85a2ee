// Plain files, direct and worker-served: whole-block counts and the end flag in every mode, seeks past
// either end, reads that deliver less than asked, the worker handshake (seen through the worker gate and
// idle checks, never through elapsed time), read-ahead, sharing, logged failures and temporary files.
#include "orbel/file/thread_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "file_test_support.h"
#include "orbel/core/memory.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

struct Mode {
  const char* name;
  int readAhead;
  int async;
};
constexpr Mode kModes[] = {{"direct", 0, 0}, {"read-ahead", 1, 0}, {"asynchronous", 0, 1}, {"both", 1, 1}};

void WaitIdle(ThreadFile* file) {
  EXPECT_TRUE(testing::WaitUntil([&] { return ThreadFileIdleCheck(file) != 0; })) << "the worker never finished";
}

class ThreadFileTest : public testing::FileTest {
 protected:
  void SetUp() override {
    FileTest::SetUp();
    testing::WriteFileText(dir() / "ten.txt", "0123456789");
  }
  void TearDown() override {
    ThreadFileHoldWorkers(0);
    ThreadFileSuspendReadAhead(0);
    FileTest::TearDown();
  }
  std::string Read(ThreadFile* file, size_t blockSize, size_t count, size_t* blocks) {
    char buffer[64] = {};
    *blocks = ThreadFileRead(buffer, blockSize, count, file);
    WaitIdle(file);
    return std::string(buffer, std::min(sizeof(buffer), *blocks * blockSize));
  }
};

TEST_F(ThreadFileTest, CountsWholeBlocksAndSeeksPastEitherEndInEveryMode) {
  for (const Mode& mode : kModes) {
    ThreadFile* file = ThreadFileOpen("ten.txt", mode.readAhead, 1, mode.async);
    ASSERT_NE(file, nullptr) << mode.name;
    size_t blocks = 0;
    EXPECT_EQ(Read(file, 4, 3, &blocks), "01234567") << mode.name;
    EXPECT_EQ(blocks, 2u) << mode.name;
    EXPECT_EQ(ThreadFileEof(file), 0) << mode.name;
    Read(file, 4, 3, &blocks);
    EXPECT_EQ(blocks, 0u) << mode.name << ": the last 2 bytes are not a block of 4";
    EXPECT_EQ(ThreadFileEof(file), -1) << mode.name;
    EXPECT_EQ(ThreadFileTell(file), 8u) << mode.name;
    EXPECT_EQ(ThreadFileSeek(file, -3, 2), 0);
    EXPECT_EQ(ThreadFileEof(file), 0) << mode.name << ": a seek clears the end flag";
    EXPECT_EQ(Read(file, 1, 10, &blocks), "789") << mode.name;
    EXPECT_EQ(blocks, 3u) << mode.name;

    blocks = 99;
    EXPECT_EQ(ThreadFileSeek(file, 20, 0), 0);
    EXPECT_EQ(ThreadFileTell(file), 20u) << mode.name;
    Read(file, 1, 10, &blocks);
    EXPECT_EQ(blocks, 0u) << mode.name << ": nothing past the end, however the count is computed";
    EXPECT_EQ(ThreadFileEof(file), -1) << mode.name;
    EXPECT_EQ(ThreadFileTell(file), 20u) << mode.name;
    EXPECT_EQ(ThreadFileSeek(file, -5, 0), 0);
    EXPECT_EQ(ThreadFileTell(file), 0u) << mode.name;
    EXPECT_EQ(ThreadFileSeek(file, -50, 1), 0);
    EXPECT_EQ(ThreadFileTell(file), 0u) << mode.name;
    EXPECT_EQ(Read(file, 1, 2, &blocks), "01") << mode.name;
    EXPECT_EQ(ThreadFileClose(file), mode.readAhead || mode.async ? -1 : 0) << mode.name;
  }
}

TEST_F(ThreadFileTest, AFileGrownAfterOpeningIsReadOnlyToItsSizeAtOpen) {
  ThreadFile* file = ThreadFileOpen("ten.txt", 0, 1, 0);
  ASSERT_NE(file, nullptr);
  testing::WriteFileText(dir() / "ten.txt", std::string(100, 'x'));
  ThreadFileSeek(file, 50, 0);
  char buffer[16];
  std::memset(buffer, 'G', sizeof(buffer));
  EXPECT_EQ(ThreadFileRead(buffer, 1, 10, file), 0u);
  EXPECT_EQ(buffer[0], 'G') << "nothing was written into the buffer";
  EXPECT_EQ(ThreadFileEof(file), -1);
  ThreadFileClose(file);
}

TEST_F(ThreadFileTest, WorkerReadsReportWhatWasReallyRead) {
  // Read-ahead (synchronous): the count follows the bytes the worker got. No refill may take the short
  // read meant for the command.
  ThreadFileSuspendReadAhead(1);
  ThreadFile* file = ThreadFileOpen("ten.txt", 1, 1, 0);
  ASSERT_NE(file, nullptr);
  plat::test::LimitNextReadFile(5);
  char buffer[16] = {};
  EXPECT_EQ(ThreadFileRead(buffer, 4, 2, file), 1u) << "5 bytes are one whole block of 4";
  EXPECT_EQ(ThreadFileTell(file), 5u);
  EXPECT_EQ(ThreadFileEof(file), -1);
  EXPECT_EQ(std::string(buffer, 5), "01234");
  ThreadFileClose(file);

  // Asynchronous: the count asked for comes back at once; the idle check exposes the shortfall.
  file = ThreadFileOpen("ten.txt", 0, 1, 1);
  ASSERT_NE(file, nullptr);
  plat::test::LimitNextReadFile(3);
  std::memset(buffer, 0, sizeof(buffer));
  EXPECT_EQ(ThreadFileRead(buffer, 1, 10, file), 10u);
  WaitIdle(file);
  EXPECT_EQ(ThreadFileTell(file), 3u);
  EXPECT_EQ(ThreadFileEof(file), -1);
  EXPECT_EQ(std::string(buffer, 3), "012");
  size_t blocks = 0;
  EXPECT_EQ(Read(file, 1, 10, &blocks), "3456789") << "the rest is still there";
  ThreadFileClose(file);
}

TEST_F(ThreadFileTest, WorkerCommandsReturnAtOnceAndTheIdleCheckWaitsForThem) {
  ThreadFile* file = ThreadFileOpen("ten.txt", 0, 1, 1);  // asynchronous read
  ASSERT_NE(file, nullptr);
  ThreadFileHoldWorkers(kHoldReads);
  char buffer[16] = {};
  EXPECT_EQ(ThreadFileRead(buffer, 2, 4, file), 4u);
  EXPECT_EQ(ThreadFileTell(file), 8u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ThreadFileIdleCheck(file), 0) << "the worker is held";
  ThreadFileHoldWorkers(0);
  WaitIdle(file);
  EXPECT_EQ(std::string(buffer), "01234567");
  ThreadFileClose(file);

  file = ThreadFileOpen("ten.txt", 1, 1, 0);  // read-ahead seek: the next read waits for it
  ASSERT_NE(file, nullptr);
  ThreadFileHoldWorkers(kHoldSeeks);
  EXPECT_EQ(ThreadFileSeek(file, 5, 0), 0);
  EXPECT_EQ(ThreadFileTell(file), 5u);
  EXPECT_EQ(ThreadFileIdleCheck(file), 0) << "the seek is still with the worker";
  ThreadFileHoldWorkers(0);
  size_t blocks = 0;
  EXPECT_EQ(Read(file, 1, 3, &blocks), "567");
  ThreadFileClose(file);
}

TEST_F(ThreadFileTest, SynchronousReadsNeedNoWorkerRoundTrip) {
  // Reads held at the worker do not hold a synchronous read, from the buffer or the disk.
  ThreadFile* file = ThreadFileOpen("ten.txt", 1, 1, 0);
  ASSERT_NE(file, nullptr);
  ThreadFileHoldWorkers(kHoldReads);
  size_t blocks = 0;
  EXPECT_EQ(Read(file, 1, 4, &blocks), "0123");
  char bytes[3] = {};
  EXPECT_EQ(ThreadFileReadAt(file, 7, bytes, 5), 3u) << "cut at the end";
  EXPECT_EQ(std::string(bytes, 3), "789");
  EXPECT_EQ(ThreadFileTell(file), 10u);
  EXPECT_EQ(ThreadFileReadAt(file, 10, bytes, 1), 0u);
  EXPECT_EQ(ThreadFileEof(file), -1) << "nothing left at the end";
  EXPECT_EQ(ThreadFileReadAt(file, 2, bytes, 2), 2u);
  EXPECT_EQ(std::string(bytes, 2), "23");
  EXPECT_EQ(ThreadFileEof(file), 0);
  ThreadFileHoldWorkers(0);
  ThreadFileClose(file);
}

TEST_F(ThreadFileTest, ReadAheadServesSequentialReadsUntilASeek) {
  const auto bytes = testing::TestBytes(300000, 9, false);
  testing::WriteFileBytes(dir() / "big.bin", bytes);
  ThreadFile* file = ThreadFileOpen("big.bin", 1, 1, 0);
  ASSERT_NE(file, nullptr);
  // The worker refills when a 100 ms wait for a command times out; each Sleep moves the clock on.
  ASSERT_TRUE(testing::WaitUntil([&] {
    plat::Sleep(1);
    return ThreadFileReadAheadLength(file) >= kReadAheadBufferSize;
  }));
  ThreadFileSuspendReadAhead(1);  // no further refills: every change below is the reads' own

  std::vector<uint8_t> buffer(1024);
  for (uint32_t step = 1; step <= 3; ++step) {
    ASSERT_EQ(ThreadFileRead(buffer.data(), 1, 1024, file), 1024u);
    EXPECT_EQ(ThreadFileReadAheadLength(file), kReadAheadBufferSize - step * 1024);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + (step - 1) * 1024));
  }
  EXPECT_EQ(ThreadFileWorkerDiskReads(file), 0u) << "every read was served from the buffer";
  ThreadFileSeek(file, 200000, 0);
  ThreadFileWaitIdle(file);
  EXPECT_EQ(ThreadFileReadAheadLength(file), 0u) << "a seek empties the buffer";
  ASSERT_EQ(ThreadFileRead(buffer.data(), 1, 1024, file), 1024u);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + 200000));
  EXPECT_EQ(ThreadFileWorkerDiskReads(file), 1u);
  ThreadFileClose(file);
}

TEST_F(ThreadFileTest, WorkersShareReading) {
  ThreadFile* worker = ThreadFileOpen("ten.txt", 1, 1, 0);
  ASSERT_NE(worker, nullptr);
  ThreadFile* direct = ThreadFileOpen("ten.txt", 0, 1, 0);
  ThreadFile* second = ThreadFileOpen("ten.txt", 0, 1, 1);
  EXPECT_NE(direct, nullptr) << "a worker's open must not lock other readers out";
  EXPECT_NE(second, nullptr);
  size_t blocks = 0;
  EXPECT_EQ(Read(second, 1, 3, &blocks), "012");
  ThreadFileClose(direct);
  ThreadFileClose(second);
  ThreadFileClose(worker);
  EXPECT_EQ(plat::test::OpenFileCount(), 0u) << "every handle, the workers' too, is closed";
}

TEST_F(ThreadFileTest, FailuresReturnNullAndLogOnlyTheirOwnLines) {
  const int blocks = GetMemoryBlockCount();
  EXPECT_EQ(ThreadFileOpen("missing.txt", 1, 1, 1), nullptr);
  EXPECT_EQ(LogText(), "") << "a missing file is not logged";

  plat::test::FailNextCreateThread();
  EXPECT_EQ(ThreadFileOpen("ten.txt", 0, 1, 1), nullptr);
  EXPECT_NE(LogText().find("ファイルアクセス専用スレッドの作成に失敗しました\r\n"), std::string::npos);

  plat::test::FailNextCreateEvent();
  EXPECT_EQ(ThreadFileOpen("ten.txt", 0, 1, 1), nullptr);

  plat::test::FailHeapAllocation(1);  // the record, then the read-ahead buffer
  EXPECT_EQ(ThreadFileOpen("ten.txt", 1, 1, 0), nullptr);
  EXPECT_NE(LogText().find("ファイル読み込みキャッシュ用メモリの確保に失敗しました\r\n"), std::string::npos);
  EXPECT_EQ(GetMemoryBlockCount(), blocks) << "nothing is leaked on the way out";
  EXPECT_EQ(plat::test::OpenFileCount(), 0u);
}

// A temporary file is made once, readable by its owner alone, whatever the umask lets through; a
// failure leaves nothing behind.
TEST_F(ThreadFileTest, TemporaryFilesAreNewPrivateAndEmptyOrNone) {
  const mode_t savedMask = ::umask(0);
  char name[kFilePathMax] = {};
  plat::HANDLE file = CreateTempFile(name);
  ::umask(savedMask);
  ASSERT_NE(file, nullptr);
  ASSERT_NE(file, plat::INVALID_HANDLE_VALUE);
  const std::filesystem::path path(name);
  EXPECT_TRUE(path.is_absolute());
  EXPECT_EQ(path.filename().string().rfind("tmp", 0), 0u) << name;
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
  struct stat st {};
  ASSERT_EQ(::stat(name, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  plat::DWORD written = 0;
  EXPECT_TRUE(plat::WriteFile(file, "abc", 3, &written));
  plat::CloseHandle(file);
  EXPECT_EQ(testing::ReadFileText(path), "abc");
  std::filesystem::remove(path);

  const auto entries = [&] {
    return std::distance(std::filesystem::directory_iterator(path.parent_path()), {});
  };
  const auto before = entries();
  plat::test::FailNextCreateFile(plat::ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateTempFile(name), nullptr) << "none, never the invalid-handle value";
  EXPECT_EQ(entries(), before) << "the name made for it is gone again";
}

}  // namespace
}  // namespace orbel
