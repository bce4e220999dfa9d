#include "platform/system_actions_real.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace platform {

namespace {

// Starts a program found on PATH with the given arguments (no shell involved).
// Returns the child's pid, or -1.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

void Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Runs a command and waits until it has handed the request to the system.
void RunAndWait(const std::vector<std::string>& args) {
  pid_t pid = Spawn(args);
  if (pid > 0) Reap(pid);
}

class RealSystemActions final : public SystemActions {
public:
  void PowerOff() override { RunAndWait({"systemctl", "poweroff", "--no-ask-password"}); }
  void Suspend() override { RunAndWait({"systemctl", "suspend", "--no-ask-password"}); }
  void Reboot() override { RunAndWait({"systemctl", "reboot", "--no-ask-password"}); }
  void LogOff() override {
    const char* id = std::getenv("XDG_SESSION_ID");
    if (!id || !*id) return; // not inside a login session: nothing to end
    RunAndWait({"loginctl", "terminate-session", id});
  }
  void ExitProgram() override {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(0);
  }
  void Open(const std::string& location) override {
    if (location.empty()) return;
    pid_t pid = Spawn({"xdg-open", location});
    // xdg-open may stay until the viewer starts; reap it without blocking the caller.
    if (pid > 0) std::thread([pid] { Reap(pid); }).detach();
  }
};

} // namespace

std::unique_ptr<SystemActions> CreateSystemActionsForProgram() {
  return std::make_unique<RealSystemActions>();
}

} // namespace platform
