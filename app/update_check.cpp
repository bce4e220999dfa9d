#include "app/update_check.h"

#include <curl/curl.h>

#include <charconv>
#include <cmath>
#include <mutex>

namespace app {

namespace {

// A version file is a few bytes; more than this is not one.
constexpr size_t kMaxBodyBytes = 64 * 1024;

struct Body {
  std::string text;
  bool full = false;
};

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  size_t n = size * count;
  size_t room = kMaxBodyBytes - body->text.size();
  if (n > room) {
    body->text.append(data, room);
    body->full = true;
    return 0; // stop the transfer: the number is at the start
  }
  body->text.append(data, n);
  return n;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

float ParseVersionText(const std::string& body) {
  size_t i = 0;
  while (i < body.size() && (body[i] == ' ' || body[i] == '\t' || body[i] == '\n' ||
                             body[i] == '\r' || body[i] == '\f' || body[i] == '\v'))
    ++i;
  if (i < body.size() && body[i] == '+') ++i;
  // Only a decimal number: no "inf", "nan" or hexadecimal forms.
  size_t start = i;
  if (i < body.size() && body[i] == '-') ++i;
  if (i >= body.size() || !((body[i] >= '0' && body[i] <= '9') || body[i] == '.')) return 0.0f;
  float v = 0.0f;
  auto [end, ec] =
      std::from_chars(body.data() + start, body.data() + body.size(), v, std::chars_format::fixed);
  if (ec == std::errc::result_out_of_range) return 0.0f;
  if (ec != std::errc() || !std::isfinite(v)) return 0.0f;
  return v;
}

std::string VersionLabel(float version) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, version, std::chars_format::fixed, 1);
  if (ec != std::errc()) return "v 0.0";
  return "v " + std::string(buf, end);
}

UpdateCheckResult MakeUpdateResult(bool connected, const std::string& body,
                                   const std::string& server) {
  UpdateCheckResult r;
  r.ownVersionText = VersionLabel(kOwnVersion);
  r.connected = connected;
  if (!connected) {
    r.latestVersionText = VersionLabel(0.0f);
    r.message = kCannotConnectMessage;
    return r;
  }
  r.latestVersion = ParseVersionText(body);
  r.latestVersionText = VersionLabel(r.latestVersion);
  r.newerAvailable = r.latestVersion > kOwnVersion;
  if (r.newerAvailable) {
    r.message = kDownloadMessage;
    std::string base = server;
    while (!base.empty() && base.back() == '/')
      base.pop_back();
    r.downloadUrl = base + kDownloadPath;
  } else {
    r.message = kLatestMessage;
  }
  return r;
}

UpdateCheckResult CheckForUpdate(const UpdateCheckOptions& options) {
  GlobalInit();
  std::string base = options.server;
  while (!base.empty() && base.back() == '/')
    base.pop_back();
  std::string url = base + kVersionFilePath;

  CURL* curl = curl_easy_init();
  if (!curl) return MakeUpdateResult(false, {}, base);
  Body body;
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: */*");
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Pictofold");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.totalTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  if (!options.useSystemProxy) curl_easy_setopt(curl, CURLOPT_PROXY, "");

  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);

  bool transferred = rc == CURLE_OK || (rc == CURLE_WRITE_ERROR && body.full);
  bool connected = transferred && status >= 200 && status < 300;
  return MakeUpdateResult(connected, body.text, base);
}

} // namespace app
