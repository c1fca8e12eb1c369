#include "protocol/CommandTable.h"

#include <cassert>
#include <cstring>

#include "protocol/MeasurementKinds.h"

namespace {
constexpr CommandTableRow row(uint32_t n, uint8_t code, int8_t size, const char* name = nullptr) {
    return CommandTableRow{n, code, size, name};
}
}  // namespace

const std::array<CommandTableRow, kCommandTableSize> CommandTable = {{
    row(0, 0x00, 0, "bin"),
    row(1, 0x00, 0, "start"),
    row(2, 0x10, 1, "devinfo"),
    row(3, 0x11, 8, "setd"),
    row(4, 0x12, 1, "getd"),
    row(5, 0x13, 14, "sens"),
    row(6, 0x14, 1, "schedule"),
    row(7, 0x15, 1, "stop"),
    row(8, 0x16, 3, "setags"),
    row(9, 0x17, 1, "getags"),
    row(10, 0x18, 3, "setgeo"),
    row(11, 0x19, 1, "getgeo"),
    row(12, 0x1A, 3, "setpres"),
    row(13, 0x1B, 1, "getpres"),
    row(14, 0x1C, 2, "setbatt"),
    row(15, 0x1D, 1, "getbatt"),
    row(16, 0x1E, 5, "setext"),
    row(17, 0x1F, 1, "getext"),
    row(18, 0x20, 3, "seti2c"),
    row(19, 0x21, 1, "geti2c"),
    row(20, 0x22, 1, "setaccrange"),
    row(21, 0x23, 1, "getaccrange"),
    row(22, 0x24, 15, "setaccoffset"),
    row(23, 0x25, 1, "setgyrrange"),
    row(24, 0x26, 1, "getgyrrange"),
    row(25, 0x27, 15, "setgyroffset"),
    row(26, 0x28, 1, "geocalib"),
    row(27, 0x29, 12, "seti2cconf"),
    row(28, 0x2A, 1, "geti2cconf"),
    row(29, 0x2B, 12, "testi2c"),
    row(30, 0x2C, 1, "setbtnmode"),
    row(31, 0x2D, 1, "getbtnmode"),
    row(32, 0x2E, 1, "setoverwritemode"),
    row(33, 0x2F, 1, "getoverwritemode"),
    row(34, 0x30, 4, "setextconf"),
    row(35, 0x31, 1, "getextconf"),
    row(36, 0x32, 1, "setbuzvol"),
    row(37, 0x33, 1, "getbuzvol"),
    row(38, 0x34, 1, "buzzer"),
    row(39, 0x35, 1, "clearmem"),
    row(40, 0x36, 1, "memcount"),
    row(41, 0x37, 1, "getmementry"),
    row(42, 0x38, 1, "getmementryinfo"),
    row(43, 0x39, 1, "readmemdata"),
    row(44, 0x3A, 1, "getmemfreesize"),
    row(45, 0x3B, 1, "getbattstatus"),
    row(46, 0x3C, 1, "status"),
    row(47, 0x3D, 1, "getaccoffset"),
    row(48, 0x3E, 1, "getgyroffset"),
    row(49, 0x3F, 1, "allinit"),
    row(50, 0x55, 3, "setqags"),
    row(51, 0x56, 1, "getqags"),
    row(52, 0x59, 7, "setext16"),
    row(53, 0x5A, 1, "getetx16"),
    row(54, 0x5C, 1, "getmementryinfo2"),
    // Codes the sensor sends.
    row(55, 0x00, 0),
    row(56, 0x8F, 1),
    row(57, 0x90, 30),
    row(58, 0x92, 8),
    row(59, 0x93, 13),
    row(60, 0x97, 3),
    row(61, 0x99, 3),
    row(62, 0x9B, 3),
    row(63, 0x9D, 2),
    row(64, 0x9F, 5),
    row(65, 0xA1, 3),
    row(66, 0xA3, 1),
    row(67, 0xA6, 1),
    row(68, 0xAA, 12),
    row(69, 0xAB, 9),
    row(70, 0xAD, 1),
    row(71, 0xAF, 1),
    row(72, 0xB1, 4),
    row(73, 0xB3, 1),
    row(74, 0xB6, 1),
    row(75, 0xB7, 24),
    row(76, 0xB8, 60),
    row(77, 0xB9, 1),
    row(78, 0xBA, 5),
    row(79, 0xBB, 3),
    row(80, 0xBC, 1),
    row(81, 0xBD, 12),
    row(82, 0xBE, 12),
    row(83, 0xD6, 3),
    row(84, 0xDC, 32),
    row(85, MeasurementCode::ags, 22),
    row(86, MeasurementCode::geo, 13),
    row(87, MeasurementCode::press, 9),
    row(88, MeasurementCode::batt, 7),
    row(89, MeasurementCode::ext, 9),
    row(90, 0x85, 6),
    row(91, 0x86, 13),
    row(92, 0x87, 5),
    row(93, 0x88, 1),
    row(94, 0x89, 1),
    row(95, MeasurementCode::qags, 30),
    row(96, MeasurementCode::ext16ad, 12),
}};

namespace {
// code -> first row with that code, -1 where none. Built once at start-up.
struct CodeIndex {
    std::array<int16_t, 256> rowOf{};
    CodeIndex() {
        rowOf.fill(-1);
        for (int r = kCommandTableSize - 1; r >= 0; --r) rowOf[CommandTable[r].code] = int16_t(r);
    }
};
const CodeIndex& codeIndex() {
    static const CodeIndex index;
    return index;
}
}  // namespace

int SearchCommandIndexByCmdStr(const char* name) {
    if (!name) return -1;
    for (int r = 0; r < kCommandTableSize; ++r) {
        if (CommandTable[r].name && std::strcmp(CommandTable[r].name, name) == 0) return r;
    }
    return -1;
}

int SearchCommandIndexByCmdCode(uint8_t code) {
    return codeIndex().rowOf[code];
}

int getParameterSize(int row) {
    assert(row >= 0 && row < kCommandTableSize);
    return CommandTable[row].parameterSize;
}

int getCommandNumber(int row) {
    assert(row >= 0 && row < kCommandTableSize);
    return int(CommandTable[row].commandNumber);
}

uint8_t commandCode(const char* name) {
    int r = SearchCommandIndexByCmdStr(name);
    assert(r >= 0);
    return CommandTable[r].code;
}
