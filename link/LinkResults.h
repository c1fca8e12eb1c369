// The result codes of connecting and of sending a command. The numbers are
// those the link and the sensor object have always returned; callers and
// captures may rely on them.
#pragma once

#include <cstdint>

enum ConnectResult : int32_t {
    kConnected = 0,
    kNotPaired = 1,   // the address is not among the paired devices
    kCannotOpen = 3,  // no such device, no serial port service, or the channel did not open
    kNoLink = 6,      // the sensor object has no link
};

enum SendResult : int32_t {
    kSent = 0,
    kNotConnected = 5,  // not connected, or the channel closed: nothing was written
    kWriteFailed = 6,   // the write failed (the link then counts as closed)
    kBadArgument = 7,   // an argument out of range: nothing was sent
};
