// The process-wide last-error number of the HomePlug AV message layer.
#pragma once

namespace quorrel::thpapi {

inline constexpr int kErrorNotAvFrame = 1;       // ethertype is not HomePlug AV
inline constexpr int kErrorMissingOrShort = 14;  // missing argument, wrong version/OUI, too short
inline constexpr int kErrorInvalid = 22;         // invalid argument or received value
inline constexpr int kErrorTooSmall = 34;        // buffer too small, piece longer than 1024
inline constexpr int kErrorUnknownType = 40;     // message type not known to the decoder

// The number set by the last failure of this layer; 0 until one happens or after a reset.
int lastError();
void setLastError(int error);
void resetLastError();

}  // namespace quorrel::thpapi
