// Asks the maker's web server for the latest published version.
#pragma once

#include <string>

#include "app/version.h"

namespace app {

inline constexpr float kOwnVersion = kProductVersionNumber;
inline constexpr const char* kDefaultUpdateServer = "http://www.zorvalex.com";
inline constexpr const char* kVersionFilePath = "/update/pictofold.txt";
inline constexpr const char* kDownloadPath = "/bin/pictofold.exe";

inline constexpr const char* kCannotConnectMessage = "Cannot connect to remote server.";
inline constexpr const char* kDownloadMessage = "Download latest version:";
inline constexpr const char* kLatestMessage = "You are running the latest version.";

struct UpdateCheckOptions {
  std::string server = kDefaultUpdateServer; // scheme, host and optional port
  long connectTimeoutSeconds = 10;
  long totalTimeoutSeconds = 20;
  bool useSystemProxy = true; // tests against 127.0.0.1 switch it off
};

struct UpdateCheckResult {
  bool connected = false;     // false: the server could not be asked
  float latestVersion = 0.0f; // 0 when not connected or the body held no number
  bool newerAvailable = false;
  std::string ownVersionText;    // "v 6.8"
  std::string latestVersionText; // "v 6.9", "v 0.0" on failure
  std::string message;           // one of the three messages above
  std::string downloadUrl;       // set when a newer version exists
};

// The version number at the start of a body: leading blanks skipped, anything after the number
// ignored, 0 when there is none.
float ParseVersionText(const std::string& body);

// "v %0.1f", independent of the locale.
std::string VersionLabel(float version);

// The result shown for a fetched body (connected) or for a failure.
UpdateCheckResult MakeUpdateResult(bool connected, const std::string& body,
                                   const std::string& server);

// Fetches server + kVersionFilePath over HTTP(S) and compares. Blocks until the server
// answered or a time-out passed. A response other than 2xx counts as a failure: its body is
// an error page, not a version.
UpdateCheckResult CheckForUpdate(const UpdateCheckOptions& options = {});

} // namespace app
