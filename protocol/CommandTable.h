// The protocol's vocabulary: every host command with its code and parameter
// length, and every code the sensor sends with its payload length.
#pragma once

#include <array>
#include <cstdint>

struct CommandTableRow {
    uint32_t commandNumber;  // equal to the row's position; the parser dispatches on it
    uint8_t code;            // byte after the header in a frame
    int8_t parameterSize;    // bytes between the code byte and the check byte
    const char* name;        // host command name (rows 0-54), nullptr for sensor codes
};

inline constexpr int kCommandTableSize = 97;
inline constexpr int kFirstSensorRow = 55;
inline constexpr uint8_t kFrameHeader = 0x9A;
// Longest frame the sensor sends: code 0xB8 with 60 payload bytes.
inline constexpr int kMaxFrameLength = 63;

extern const std::array<CommandTableRow, kCommandTableSize> CommandTable;

// Row numbers the parser and the senders refer to.
namespace CommandRow {
inline constexpr int commandResult = 56;
inline constexpr int devinfoResponse = 57;
inline constexpr int getdResponse = 58;
inline constexpr int accRangeResponse = 66;
inline constexpr int gyrRangeResponse = 67;
inline constexpr int memcountResponse = 74;
inline constexpr int getmementryResponse = 75;
inline constexpr int getmementryinfoResponse = 76;
inline constexpr int readmemdataEnd = 77;
inline constexpr int getmemfreesizeResponse = 78;
inline constexpr int battstatusResponse = 79;
inline constexpr int mementryinfo2Response = 84;
inline constexpr int agsEvent = 85;
inline constexpr int geoEvent = 86;
inline constexpr int pressEvent = 87;
inline constexpr int battEvent = 88;
inline constexpr int extEvent = 89;
inline constexpr int ad16Reset = 93;
inline constexpr int qagsEvent = 95;
inline constexpr int ext16adEvent = 96;
}  // namespace CommandRow

// First row whose name equals `name` exactly, or -1.
int SearchCommandIndexByCmdStr(const char* name);
// First row whose code equals `code`, or -1. Constant time (256-entry index).
int SearchCommandIndexByCmdCode(uint8_t code);
// Row accessors; `row` must be 0 to 96.
int getParameterSize(int row);
int getCommandNumber(int row);
// Code byte of a named command; the name must be in the table.
uint8_t commandCode(const char* name);
