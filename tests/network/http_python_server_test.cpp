// HTTP transfers against Python's http.server on loopback, started once for the test process (skipped
// when python3 is missing): GET to a file and to memory, a body without Content-Length, POST, HEAD and a 404.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/network/http_transfer.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/file_io.h"

namespace orbel::testing {
namespace {

// Serves the folder named in the file given as its argument, read again for every request: one server
// serves every test of the process, each from its own working folder.
constexpr char kServerScript[] = R"PY(
import http.server, sys
root_file = sys.argv[1]
class Handler(http.server.SimpleHTTPRequestHandler):
    def __init__(self, *args, **kwargs):
        with open(root_file) as f:
            super().__init__(*args, directory=f.read(), **kwargs)
    def log_message(self, *args): pass
    def do_GET(self):
        if self.path == '/nolength':
            self.send_response(200)
            self.end_headers()
            self.wfile.write(b'streamed without a length')
            return
        super().do_GET()
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        self.send_response(200)
        self.send_header('Content-Length', str(len(body) + 5))
        self.end_headers()
        self.wfile.write(b'echo:' + body)
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
print('ORBEL-HTTP-PORT', server.server_address[1], flush=True)
server.serve_forever()
)PY";

// The process's server, started by the first test that asks (an interpreter starts slowly on a loaded
// machine) and ended with the process; port 0 when python3 could not start one.
struct PythonServer {
  pid_t pid = -1;
  int port = 0;
  std::filesystem::path rootFile;
};

PythonServer StartPythonServer() {
  PythonServer server;
  server.rootFile = std::filesystem::path(ORBEL_BINARY_DIR) / "test-work" /
                    ("http-python-root-" + std::to_string(::getpid()));
  int out[2];
  if (::pipe(out) != 0) return server;
  const pid_t parent = ::getpid();
  server.pid = ::fork();
  if (server.pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // a test process that dies takes its server along
    if (::getppid() != parent) ::_exit(127);
    ::dup2(out[1], 1);
    ::close(out[0]);
    ::execlp("python3", "python3", "-c", kServerScript, server.rootFile.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  // The server prints its port once it listens (a launcher may print before it); a missing python3
  // closes the pipe at once.
  std::string text;
  WaitUntil(
      [&] {
        pollfd ready{out[0], POLLIN, 0};
        char chunk[256];
        if (::poll(&ready, 1, 100) != 1) return false;
        const ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n <= 0) return true;
        text.append(chunk, static_cast<size_t>(n));
        const size_t at = text.find("ORBEL-HTTP-PORT ");
        if (at != std::string::npos && text.find('\n', at) != std::string::npos) {
          server.port = std::atoi(text.c_str() + at + 16);
        }
        return server.port > 0;
      },
      std::chrono::milliseconds(30000));
  ::close(out[0]);
  return server;
}

const PythonServer& Server() {
  static const PythonServer server = [] {
    PythonServer started = StartPythonServer();
    if (started.pid > 0) {
      static const PythonServer ended = started;
      std::atexit([] {
        ::kill(ended.pid, SIGTERM);
        ::waitpid(ended.pid, nullptr, 0);
        std::error_code ignored;
        std::filesystem::remove(ended.rootFile, ignored);
      });
    }
    return started;
  }();
  return server;
}

class HttpPythonServer : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    WriteFileText(work_.path() / "hello.txt", "hello from python\n");
    WriteFileText(Server().rootFile, work_.path().string());
    port_ = Server().port;
    if (port_ <= 0) GTEST_SKIP() << "python3 could not start an http.server";
    SetNetWorkRawMode(1);
  }

  int Start(int32_t kind, const char* path, plat::HANDLE file, void** block, const char* post = nullptr) {
    const int32_t connection = ConnectNetWorkLoopback(port_);
    if (connection == -1) return -1;
    return CreateHttpTransfer(kind, "127.0.0.1", path, port_, connection, file, block, post,
                              post ? static_cast<int>(std::strlen(post)) : 0);
  }
  // Steps the transfer as the pump does until it ends (bounded by the wait's time).
  std::pair<int, int> Run(int http) {
    HttpHandleRecord* r = GetHttpHandleRecord(http);
    if (r == nullptr) return {-2, -2};
    WaitUntil([&] {
      ProcessNetWorkMessage(1);
      ProcessHttpHandle(http);
      return r->ResultStatus != -1;
    });
    return {r->ResultStatus, r->ResultCode};
  }
  plat::HANDLE BodyFile(const char* name) {
    return plat::CreateFileA(name, plat::GENERIC_WRITE, 0, nullptr, plat::CREATE_ALWAYS, plat::FILE_ATTRIBUTE_NORMAL,
                             nullptr);
  }

  int port_ = 0;
};

TEST_F(HttpPythonServer, GetToAFileAndToMemory) {
  int http = Start(kHttpGet, "/hello.txt", BodyFile("got.txt"), nullptr);
  ASSERT_GE(http, 0);
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  EXPECT_EQ(GetHttpHandleRecord(http)->ContentLength, 18);
  EXPECT_EQ(ReadFileText(work_.path() / "got.txt"), "hello from python\n");
  DeleteHttpHandle(http);

  void* block = nullptr;
  http = Start(kHttpGet, "/hello.txt", nullptr, &block);
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 18), "hello from python\n");
  DeleteHttpHandle(http);
  MemFree(block);
}

TEST_F(HttpPythonServer, GetWithoutLengthPostAndHead) {
  int http = Start(kHttpGet, "/nolength", BodyFile("stream.txt"), nullptr);
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  EXPECT_EQ(GetHttpHandleRecord(http)->ContentLength, -1);
  EXPECT_EQ(ReadFileText(work_.path() / "stream.txt"), "streamed without a length");
  DeleteHttpHandle(http);

  void* block = nullptr;
  http = Start(kHttpPost, "/echo", nullptr, &block, "a=1&b=2");
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(block), 12), "echo:a=1&b=2");
  DeleteHttpHandle(http);
  MemFree(block);

  http = Start(kHttpHead, "/hello.txt", nullptr, nullptr);
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  EXPECT_EQ(GetHttpHandleRecord(http)->ContentLength, 18);
  DeleteHttpHandle(http);

  http = Start(kHttpGet, "/empty.txt", BodyFile("empty.txt"), nullptr);  // served as it is: 0 bytes
  EXPECT_EQ(Run(http), std::make_pair(0, -1));
  EXPECT_EQ(GetHttpHandleRecord(http)->ContentLength, 0);
  DeleteHttpHandle(http);

  http = Start(kHttpGet, "/missing.txt", BodyFile("../missing.txt"), nullptr);
  EXPECT_EQ(Run(http), std::make_pair(2, 1));
  EXPECT_EQ(CountLine("接続に失敗しました (戻り値:404)"), 1);
}

}  // namespace
}  // namespace orbel::testing
