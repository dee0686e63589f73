// The product's version, as every executable says it (--version) and update.log records it; the
// version resource of update.exe (resources/update.rc) carries the same number.
#pragma once

namespace platform {

inline constexpr char kProductVersion[] = "1.1.0.0";

}  // namespace platform
