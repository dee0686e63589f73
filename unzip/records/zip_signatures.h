// The signatures that open the ZIP records this component reads (little-endian, "PK" first).
#pragma once

#include <cstdint>

inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50, kCentralHeaderSignature = 0x02014B50,
                          kEndCentralSignature = 0x06054B50, kZip64EndSignature = 0x06064B50,
                          kZip64LocatorSignature = 0x07064B50;
