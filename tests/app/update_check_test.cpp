#include "app/update_check.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace app {
namespace {

// A one-purpose HTTP server on 127.0.0.1 and an ephemeral port. It answers every request with
// the same response (or, when silent, never answers) and stops by itself after a few seconds
// even if nobody stops it.
class LocalHttpServer {
public:
  explicit LocalHttpServer(std::string response, bool silent = false)
      : response_(std::move(response)), silent_(silent) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd_, 4) != 0)
      return;
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LocalHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string request() {
    std::lock_guard<std::mutex> lock(mutex_);
    return request_;
  }

  static std::string Response(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Type: text/plain\r\n" +
           "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
  }

private:
  void Serve() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::string req;
      char buf[2048];
      while (req.find("\r\n\r\n") == std::string::npos && req.size() < 16384 && !stop_) {
        pollfd q{c, POLLIN, 0};
        if (poll(&q, 1, 50) <= 0) {
          if (std::chrono::steady_clock::now() > deadline) break;
          continue;
        }
        ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0) break;
        req.append(buf, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        request_ = req;
      }
      if (silent_) {
        while (!stop_ && std::chrono::steady_clock::now() < deadline)
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
      } else {
        send(c, response_.data(), response_.size(), MSG_NOSIGNAL);
      }
      close(c);
    }
  }

  std::string response_;
  bool silent_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string request_;
  std::thread thread_;
};

UpdateCheckOptions Local(const std::string& url) {
  UpdateCheckOptions o;
  o.server = url;
  o.connectTimeoutSeconds = 2;
  o.totalTimeoutSeconds = 3;
  o.useSystemProxy = false;
  return o;
}

struct VersionCase {
  const char* body;
  const char* shown;
  bool newer;
};

std::ostream& operator<<(std::ostream& os, const VersionCase& c) {
  return os << ::testing::PrintToString(std::string(c.body));
}

class UpdateCheck : public ::testing::TestWithParam<VersionCase> {};

TEST_P(UpdateCheck, ComparesServedVersion) {
  const VersionCase& c = GetParam();
  LocalHttpServer server(LocalHttpServer::Response(200, c.body));
  ASSERT_GT(server.port(), 0);
  UpdateCheckResult r = CheckForUpdate(Local(server.url()));
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(r.ownVersionText, "v 6.8");
  EXPECT_EQ(r.latestVersionText, c.shown);
  EXPECT_EQ(r.newerAvailable, c.newer);
  EXPECT_EQ(r.message, c.newer ? kDownloadMessage : kLatestMessage);
  EXPECT_EQ(r.downloadUrl, c.newer ? server.url() + "/bin/pictofold.exe" : "");

  std::string req = server.request();
  EXPECT_EQ(req.rfind("GET /update/pictofold.txt HTTP/1.1\r\n", 0), 0u) << req;
  EXPECT_NE(req.find("\r\nUser-Agent: Pictofold\r\n"), std::string::npos) << req;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, UpdateCheck,
    ::testing::Values(VersionCase{"6.8", "v 6.8", false}, VersionCase{"6.80", "v 6.8", false},
                      VersionCase{"6.81", "v 6.8", true}, VersionCase{"7.0 beta", "v 7.0", true},
                      VersionCase{"  6.9\r\n", "v 6.9", true}, VersionCase{"6.7", "v 6.7", false},
                      VersionCase{"", "v 0.0", false}, VersionCase{"latest", "v 0.0", false}));

TEST(UpdateCheckFailures, ErrorStatusIsNotAVersion) {
  LocalHttpServer server(LocalHttpServer::Response(404, "404 Not Found"));
  UpdateCheckResult r = CheckForUpdate(Local(server.url()));
  EXPECT_FALSE(r.connected);
  EXPECT_FALSE(r.newerAvailable);
  EXPECT_EQ(r.latestVersionText, "v 0.0");
  EXPECT_EQ(r.message, kCannotConnectMessage);
}

TEST(UpdateCheckFailures, NobodyListening) {
  int port;
  {
    LocalHttpServer closed("");
    port = closed.port();
  }
  UpdateCheckResult r = CheckForUpdate(Local("http://127.0.0.1:" + std::to_string(port)));
  EXPECT_FALSE(r.connected);
  EXPECT_EQ(r.latestVersionText, "v 0.0");
  EXPECT_EQ(r.message, kCannotConnectMessage);
}

TEST(UpdateCheckFailures, SilentServerEndsAtTheTimeOut) {
  LocalHttpServer server("", /*silent=*/true);
  UpdateCheckOptions o = Local(server.url());
  o.totalTimeoutSeconds = 1;
  UpdateCheckResult r = CheckForUpdate(o);
  EXPECT_FALSE(r.connected);
  EXPECT_EQ(r.message, kCannotConnectMessage);
}

TEST(UpdateCheckFailures, OversizedBodyStillGivesItsLeadingNumber) {
  LocalHttpServer server(LocalHttpServer::Response(200, "7.5\n" + std::string(200000, 'x')));
  UpdateCheckResult r = CheckForUpdate(Local(server.url()));
  EXPECT_TRUE(r.connected);
  EXPECT_EQ(r.latestVersionText, "v 7.5");
  EXPECT_TRUE(r.newerAvailable);
}

TEST(VersionText, ParsesOnlyADecimalNumberAtTheStart) {
  const std::pair<const char*, float> cases[] = {{"6.9", 6.9f}, {" \t\n7", 7.0f}, {"+7.1", 7.1f},
                                                 {"-1", -1.0f}, {".5", 0.5f},     {"inf", 0.0f},
                                                 {"nan", 0.0f}, {"0x10", 0.0f},   {"v7.0", 0.0f},
                                                 {"", 0.0f},    {"1e3", 1.0f},    {"6.8.1", 6.8f}};
  for (const auto& [text, value] : cases)
    EXPECT_EQ(ParseVersionText(text), value) << text;
  EXPECT_EQ(VersionLabel(6.8f), "v 6.8");
  EXPECT_EQ(VersionLabel(6.81f), "v 6.8");
  EXPECT_EQ(VersionLabel(6.96f), "v 7.0");
  EXPECT_EQ(VersionLabel(0.0f), "v 0.0");
}

} // namespace
} // namespace app
