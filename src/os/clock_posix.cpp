#include <sys/time.h>

#include <algorithm>
#include <ctime>

#include "os/clock.h"

namespace ovix {

int LocalMillisecondsSinceMidnight() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  const std::time_t seconds = now.tv_sec;
  localtime_r(&seconds, &local);
  return local.tm_hour * 3600000 + local.tm_min * 60000 + std::min(local.tm_sec, 59) * 1000 +
         static_cast<int>(now.tv_usec / 1000);
}

}  // namespace ovix
