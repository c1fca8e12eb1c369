#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/CommandTable.h"
#include "protocol/Frame.h"

namespace {

std::vector<uint8_t> framed(std::vector<uint8_t> message) {
    std::vector<uint8_t> out(message.size() + 2);
    EXPECT_EQ(buildSendPacket(message.data(), int(message.size()), out.data()),
              int(message.size() + 2));
    return out;
}

}  // namespace

TEST(CommandTable, RowsAreNumberedAndResponsesMirrorTheirCommands) {
    for (int r = 0; r < kCommandTableSize; ++r) {
        EXPECT_EQ(getCommandNumber(r), r);
        EXPECT_EQ(CommandTable[r].name != nullptr, r < kFirstSensorRow) << r;
    }
    // Rows 57-84 answer one command each, with its code + 0x80.
    std::istringstream answered(
        "devinfo getd sens getags getgeo getpres getbatt getext geti2c getaccrange getgyrrange "
        "geti2cconf testi2c getbtnmode getoverwritemode getextconf getbuzvol memcount getmementry "
        "getmementryinfo readmemdata getmemfreesize getbattstatus status getaccoffset getgyroffset "
        "getqags getmementryinfo2");
    int row = 57;
    for (std::string name; answered >> name; ++row)
        EXPECT_EQ(CommandTable[row].code, uint8_t(commandCode(name.c_str()) + 0x80)) << name;
    EXPECT_EQ(row, 85);
    EXPECT_EQ(getParameterSize(76), 60);
    EXPECT_EQ(getParameterSize(84), 32);
    EXPECT_EQ(getParameterSize(22), 15);
}

TEST(CommandTable, LookupsByNameAndCode) {
    EXPECT_EQ(SearchCommandIndexByCmdStr("stop"), 7);
    EXPECT_EQ(SearchCommandIndexByCmdStr("getetx16"), 53);
    EXPECT_EQ(SearchCommandIndexByCmdStr("getmementryinfo2"), 54);
    EXPECT_EQ(SearchCommandIndexByCmdStr("Stop"), -1);
    EXPECT_EQ(SearchCommandIndexByCmdStr("sotp"), -1);
    EXPECT_EQ(SearchCommandIndexByCmdStr("getext16"), -1);
    EXPECT_EQ(SearchCommandIndexByCmdStr(""), -1);

    // The index gives the first row of every code, as a scan from row 0 would.
    for (int code = 0; code < 256; ++code) {
        int first = -1;
        for (int r = 0; r < kCommandTableSize && first < 0; ++r)
            if (CommandTable[r].code == code) first = r;
        EXPECT_EQ(SearchCommandIndexByCmdCode(uint8_t(code)), first) << code;
    }
}

TEST(Frame, BuildsHeaderBytesAndXorCheck) {
    EXPECT_EQ(framed({0x15, 0x00}), (std::vector<uint8_t>{0x9A, 0x15, 0x00, 0x8F}));
    EXPECT_EQ(framed({0x36, 0x00}), (std::vector<uint8_t>{0x9A, 0x36, 0x00, 0xAC}));
    EXPECT_EQ(framed({0x39, 0x01}), (std::vector<uint8_t>{0x9A, 0x39, 0x01, 0xA2}));
    EXPECT_EQ(framed({}), (std::vector<uint8_t>{0x9A, 0x9A}));
}
