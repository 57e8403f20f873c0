#pragma once

// What a link tells the dispatcher about one send. The serial link may also return a raw errno,
// which is passed on unchanged even when it equals one of these.
inline constexpr int SEND_OK = 0;
inline constexpr int SEND_INVALID_PORT = 1;
inline constexpr int SEND_PORT_IN_USE = 2;
inline constexpr int SEND_FAILED = 3;
