#include "protocol/Frame.h"

#include "protocol/CommandTable.h"

uint8_t frameCheck(const uint8_t* bytes, int n) {
    uint8_t check = kFrameHeader;
    for (int i = 0; i < n; ++i) check ^= bytes[i];
    return check;
}

int buildSendPacket(const uint8_t* message, int length, uint8_t* distBuf) {
    distBuf[0] = kFrameHeader;
    uint8_t check = kFrameHeader;
    for (int i = 0; i < length; ++i) {
        distBuf[i + 1] = message[i];
        check ^= message[i];
    }
    distBuf[length + 1] = check;
    return length + 2;
}
