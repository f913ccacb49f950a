#pragma once

namespace ovix {

// Milliseconds since local midnight, 0 to 86399999.
int LocalMillisecondsSinceMidnight();

}  // namespace ovix
