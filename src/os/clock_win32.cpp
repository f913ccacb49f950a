#include "os/clock.h"
#include "os/windows_api.h"

namespace ovix {

int LocalMillisecondsSinceMidnight() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return now.wHour * 3600000 + now.wMinute * 60000 + now.wSecond * 1000 + now.wMilliseconds;
}

}  // namespace ovix
