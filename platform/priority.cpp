#include "platform/priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

int NiceValueForPriority(int choice) {
  switch (choice) {
  case 0:
    return 19;
  case 1:
    return 10;
  case 3:
    return -5;
  case 4:
    return -10;
  default:
    return 0;
  }
}

bool ApplyPriorityToCurrentThread(int choice) {
  // With PRIO_PROCESS, Linux treats the id as a thread id.
  return setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), NiceValueForPriority(choice)) == 0;
}

int CurrentThreadNiceValue() {
  errno = 0;
  return getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
}

} // namespace platform
