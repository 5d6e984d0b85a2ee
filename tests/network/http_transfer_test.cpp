// HTTP transfers against a server played by the test on the other end of a loopback connection:
// request bytes, status lines, header lines one per call, bodies to files and memory with and without
// Content-Length, the end of a transfer, and replies that must not be trusted.
#include <algorithm>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/network/http_transfer.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/file_io.h"

namespace orbel::testing {
namespace {

class HttpTransfer : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    SetNetWorkRawMode(1);
    link_ = ConnectPeer();
    ASSERT_NE(link_.handle, -1);
  }
  void TearDown() override {
    if (link_.fd >= 0) ::close(link_.fd);
    NetworkTest::TearDown();
  }

  plat::HANDLE CreateBodyFile(const char* name = "body.bin") {
    return plat::CreateFileA(name, plat::GENERIC_WRITE, 0, nullptr, plat::CREATE_ALWAYS, plat::FILE_ATTRIBUTE_NORMAL,
                             nullptr);
  }
  int Get(plat::HANDLE file, void** block = nullptr) {
    return CreateHttpTransfer(kHttpGet, "127.0.0.1", "/file", 80, link_.handle, file, block, nullptr, 0);
  }
  // One pump turn and one step, as the message pump does.
  void Turn(int http) {
    ProcessNetWorkMessage(1);
    ProcessHttpHandle(http);
  }
  // Turns until `done` (bounded by the wait's time). Returns done().
  bool TurnUntil(int http, const std::function<bool()>& done) {
    return WaitUntil([&] {
      if (done()) return true;
      Turn(http);
      return done();
    });
  }
  // Turns until the transfer ends. True when it ended.
  bool RunToEnd(int http) {
    return TurnUntil(http, [&] { return GetHttpHandleRecord(http)->ResultStatus != -1; });
  }
  // Lets the request out and reads it on the server's side.
  std::string TakeRequest(int http) {
    Turn(http);
    std::string request;
    WaitUntil([&] {
      request += ReadAvailable(link_.fd);
      ProcessNetWorkMessage(1);
      return request.find("\n\n") != std::string::npos || request.find("\r\n\r\n") != std::string::npos;
    });
    return request;
  }
  std::pair<int, int> Result(int http) {
    const HttpHandleRecord* r = GetHttpHandleRecord(http);
    return {r->ResultStatus, r->ResultCode};
  }

  PeerLink link_;
};

TEST_F(HttpTransfer, RequestsAreSentByteForByte) {
  const struct {
    int32_t kind;
    const char* path;
    const char* post;
    const char* expected;
  } cases[] = {
      {kHttpGet, "/index.html", nullptr, "GET /index.html HTTP/1.0\r\nHost: example.test:8080\r\nConnection: close\r\n\r\n"},
      {kHttpPost, "/form", "k=v&x=1", "POST /form HTTP/1.0\nHost: example.test:8080\nContent-Length: 7\n\nk=v&x=1"},
      {kHttpHead, "/head", nullptr, "HEAD /head HTTP/1.0\n\n"},
  };
  for (const auto& c : cases) {
    if (link_.fd < 0) link_ = ConnectPeer();
    plat::HANDLE file = CreateBodyFile();
    const int http = CreateHttpTransfer(c.kind, "example.test", c.path, 8080, link_.handle, file, nullptr, c.post,
                                        c.post ? static_cast<int>(std::string(c.post).size()) : 0);
    ASSERT_GE(http, 0) << c.path;
    Turn(http);
    std::string request;
    const std::string expected = c.expected;
    WaitUntil([&] {
      request += ReadAvailable(link_.fd);
      return request.size() >= expected.size();
    });
    EXPECT_EQ(request, expected);
    EXPECT_EQ(DeleteHttpHandle(http), 0);
    EXPECT_EQ(RecordOf(link_.handle), nullptr) << "the end closes the connection";
    ::close(link_.fd);
    link_.fd = -1;
  }
}

TEST_F(HttpTransfer, GetToAFileTakesOneHeaderLinePerCall) {
  const int http = Get(CreateBodyFile());
  ASSERT_GE(http, 0);
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.1 200 OK\r\ncontent-length: 99\r\nContent-Length: 11\r\nServer: test\r\n\r\nhello world");
  HttpHandleRecord* r = GetHttpHandleRecord(http);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link_.handle) == 1; }));
  Turn(http);  // status line and the lower-case header
  EXPECT_EQ(r->Step, 2);
  EXPECT_EQ(r->ContentLength, -1) << "the name is matched with its case";
  Turn(http);
  EXPECT_EQ(r->ContentLength, 11);
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(0, -1));
  EXPECT_EQ(r->ReceivedLength, 11);
  EXPECT_EQ(r->FileHandle, nullptr);
  EXPECT_EQ(ReadFileText(work_.path() / "body.bin"), "hello world");
  EXPECT_EQ(EndHttpTransfer(http, 2, 3), 0);
  EXPECT_EQ(Result(http), std::make_pair(0, -1)) << "the first end fixes the result";
}

TEST_F(HttpTransfer, GetToMemoryHandsTheBlockToTheCaller) {
  int foreign = 0;
  void* block = &foreign;  // a caller's stale value must never be freed
  const int blocksBefore = GetMemoryBlockCount();  // the connection's record among them
  const int http = Get(nullptr, &block);
  ASSERT_GE(http, 0);
  EXPECT_EQ(block, nullptr);
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nContent-Length: 900000\r\n\r\nabcde");
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(0, -1));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 5), "abcde");
  EXPECT_EQ(DeleteHttpHandle(http), 0);
  // The connection's record and the transfer's are gone; the body block alone stays, with the caller.
  EXPECT_EQ(GetMemoryBlockCount(), blocksBefore) << "a repeated Content-Length allocates nothing more";
  MemFree(block);
}

TEST_F(HttpTransfer, BodyWithoutLengthEndsWithTheStreamWhicheverSeesItFirst) {
  // The body loop meets the end.
  int http = Get(CreateBodyFile("a.bin"));
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\n\r\nstreamed body");
  ::shutdown(link_.fd, SHUT_WR);
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(0, -1));
  EXPECT_EQ(ReadFileText(work_.path() / "a.bin"), "streamed body");
  DeleteHttpHandle(http);
  ::close(link_.fd);

  // The pump sees the close between two steps: the transfer's first look at it is the step's check.
  link_ = ConnectPeer();
  http = Get(CreateBodyFile("b.bin"));
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\n\r\nstreamed body");
  HttpHandleRecord* r = GetHttpHandleRecord(http);
  ASSERT_TRUE(TurnUntil(http, [&] { return r->Step == 3 && r->ReceivedLength == 13; })) << r->ReceivedLength;
  ::shutdown(link_.fd, SHUT_WR);
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link_.handle)->ConnectFlag == 0; }));
  ProcessHttpHandle(http);
  EXPECT_EQ(Result(http), std::make_pair(0, -1));
  EXPECT_EQ(ReadFileText(work_.path() / "b.bin"), "streamed body");
}

TEST_F(HttpTransfer, StatusOtherThan200EndsTheTransfer) {
  const struct {
    int32_t kind;
    const char* status;
    int code;
    const char* line;  // GET alone logs
  } cases[] = {
      {kHttpGet, "HTTP/1.0 404 Not Found", 1, "接続に失敗しました (戻り値:404)"},
      {kHttpGet, "HTTP/1.0 302 Found", 0, "接続に失敗しました (戻り値:302)"},
      {kHttpGet, "garbage", 0, "接続に失敗しました (戻り値:-1)"},
      {kHttpPost, "HTTP/1.0 404 Not Found", 1, nullptr},
      {kHttpHead, "HTTP/1.0 500 Oops", 0, nullptr},
  };
  for (const auto& c : cases) {
    if (link_.fd < 0) link_ = ConnectPeer();
    void* block = nullptr;
    const int http = CreateHttpTransfer(c.kind, "h", "/", 80, link_.handle, nullptr, &block, "x", 1);
    ASSERT_GE(http, 0);
    TakeRequest(http);
    NewLogTexts();
    WriteAll(link_.fd, std::string(c.status) + "\r\nContent-Length: 3\r\n\r\nabc");
    ASSERT_TRUE(RunToEnd(http)) << c.status;
    EXPECT_EQ(Result(http), std::make_pair(2, c.code)) << c.status;
    EXPECT_EQ(block, nullptr) << c.status;
    const std::vector<std::string> lines = NewLogTexts();
    EXPECT_EQ(lines.size(), c.line ? 1u : 0u) << c.status;
    if (c.line && !lines.empty()) {
      EXPECT_EQ(lines[0], c.line);
    }
    DeleteHttpHandle(http);
    ::close(link_.fd);
    link_.fd = -1;
  }
}

TEST_F(HttpTransfer, UntrustedContentLengthsAreRefused) {
  const struct {
    const char* header;
    bool toMemory;
    std::pair<int, int> result;
  } cases[] = {
      {"Content-Length: -5", true, {2, 0}},
      {"Content-Length: 12x", false, {2, 0}},
      {"Content-Length: 99999999999", true, {2, 0}},
      {"Content-Length: 2000000000", true, {2, 2}},  // beyond what a memory body may take
      {"Content-Length:4", true, {0, -1}},           // no blank: still a length
  };
  for (const auto& c : cases) {
    if (link_.fd < 0) link_ = ConnectPeer();
    void* block = nullptr;
    const int blocksBefore = GetMemoryBlockCount();
    const int http = c.toMemory ? Get(nullptr, &block) : Get(CreateBodyFile());
    TakeRequest(http);
    WriteAll(link_.fd, std::string("HTTP/1.0 200 OK\r\n") + c.header + "\r\n\r\nbody");
    ASSERT_TRUE(RunToEnd(http)) << c.header;
    EXPECT_EQ(Result(http), c.result) << c.header;
    if (c.result.first == 0) {
      ASSERT_NE(block, nullptr);
      EXPECT_EQ(std::string(static_cast<char*>(block), 4), "body");
      MemFree(block);
    } else {
      EXPECT_EQ(block, nullptr) << c.header;
    }
    DeleteHttpHandle(http);
    EXPECT_EQ(GetMemoryBlockCount(), blocksBefore - 1) << c.header << ": only the connection's record went";
    ::close(link_.fd);
    link_.fd = -1;
  }
}

TEST_F(HttpTransfer, MemoryWithoutLengthAndHeadWithoutLengthEndWhenTheServerCloses) {
  for (int32_t kind : {kHttpGet, kHttpHead}) {
    if (link_.fd < 0) link_ = ConnectPeer();
    void* block = nullptr;
    const int http = CreateHttpTransfer(kind, "h", "/", 80, link_.handle, nullptr, &block, nullptr, 0);
    TakeRequest(http);
    const std::string header = "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n";
    WriteAll(link_.fd, header + (kind == kHttpGet ? "body" : ""));
    // Everything the server sent is taken (the body in the header's segment), and still no end.
    const HttpHandleRecord* r = GetHttpHandleRecord(http);
    ASSERT_TRUE(TurnUntil(http, [&] {
      return r->ResultStatus != -1 || (r->HeaderBytes == static_cast<int>(header.size()) && r->LineLength == 0);
    })) << kind;
    Turn(http);
    EXPECT_EQ(Result(http), std::make_pair(-1, -1)) << kind;
    ::close(link_.fd);
    link_.fd = -1;
    ASSERT_TRUE(RunToEnd(http));
    EXPECT_EQ(Result(http), std::make_pair(2, 3)) << kind;
    EXPECT_EQ(block, nullptr);
    DeleteHttpHandle(http);
  }
}

TEST_F(HttpTransfer, HeadEndsAtItsContentLengthLine) {
  const int http = CreateHttpTransfer(kHttpHead, "h", "/", 80, link_.handle, nullptr, nullptr, nullptr, 0);
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\nServer: x\r\nContent-Length: 1234\r\n\r\n");
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(0, -1));
  EXPECT_EQ(GetHttpHandleRecord(http)->ContentLength, 1234);
}

TEST_F(HttpTransfer, DeletingARunningTransferKeepsWhatArrived) {
  void* block = nullptr;
  const int http = Get(nullptr, &block);
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\nContent-Length: 10\r\n\r\nabc");
  HttpHandleRecord* r = GetHttpHandleRecord(http);
  ASSERT_TRUE(TurnUntil(http, [&] { return r->ReceivedLength >= 3; }));
  ASSERT_EQ(r->ReceivedLength, 3);
  EXPECT_EQ(DeleteHttpHandle(http), 0);
  EXPECT_EQ(GetHttpHandleRecord(http), nullptr);
  EXPECT_EQ(HttpState.HttpHandleCount, 0);
  EXPECT_EQ(RecordOf(link_.handle), nullptr);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 3), "abc");
  MemFree(block);
  EXPECT_EQ(DeleteHttpHandle(http), -1);
  EXPECT_EQ(DeleteHttpHandle(100), -1);
}

TEST_F(HttpTransfer, BodyThatCannotBeWrittenFailsTheTransfer) {
  WriteFileText(work_.path() / "readonly.bin", "");
  plat::HANDLE file = plat::CreateFileA("readonly.bin", plat::GENERIC_READ, 0, nullptr, plat::OPEN_EXISTING,
                                        plat::FILE_ATTRIBUTE_NORMAL, nullptr);
  const int http = Get(file);
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nbody");
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(2, 2));
}

TEST_F(HttpTransfer, ConnectionLostBeforeTheReplyEndsWithCode3) {
  const int http = Get(CreateBodyFile());
  TakeRequest(http);
  WriteAll(link_.fd, "HTTP/1.0 200 OK\r\n");
  ::close(link_.fd);
  link_.fd = -1;
  ASSERT_TRUE(RunToEnd(http));
  EXPECT_EQ(Result(http), std::make_pair(2, 3));
}

TEST_F(HttpTransfer, CreationRefusesWhatItCannotServe) {
  const std::string host(127, 'h');
  const std::string path(255, 'p');
  // GET's 512-byte buffer takes the longest host and path; POST's and HEAD's 256 bytes do not.
  const int get = CreateHttpTransfer(kHttpGet, host.c_str(), path.c_str(), 65535, link_.handle, CreateBodyFile(),
                                     nullptr, nullptr, 0);
  EXPECT_GE(get, 0);
  DeleteHttpHandle(get);
  link_ = PeerLink{ConnectPeer()};
  EXPECT_EQ(CreateHttpTransfer(kHttpPost, host.c_str(), path.c_str(), 80, link_.handle, CreateBodyFile(), nullptr, "x", 1),
            -1);
  EXPECT_EQ(CreateHttpTransfer(kHttpHead, "h", (path + "p").c_str(), 80, link_.handle, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(CountLine("HTTP リクエストが長すぎます"), 2);
  EXPECT_EQ(CreateHttpTransfer(kHttpGet, "h", "/", 80, link_.handle, nullptr, nullptr, nullptr, 0), -1) << "no destination";

  SetNetWorkRawMode(0);
  PeerLink framed = ConnectPeer();
  EXPECT_EQ(CreateHttpTransfer(kHttpHead, "h", "/", 80, framed.handle, nullptr, nullptr, nullptr, 0), -1);
  EXPECT_EQ(CountLine("有効なネットワークハンドルではありません in CreateHttpTransfer"), 1);
  ::close(framed.fd);
}

}  // namespace
}  // namespace orbel::testing
