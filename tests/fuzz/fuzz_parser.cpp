// Random bytes in random piece sizes through the receive parser, checked
// against the plain reference algorithm after every piece. The first bytes
// of the input choose the piece sizes.
#include <cstdlib>
#include <cstring>

#include "FuzzSupport.h"
#include "protocol/CommandTable.h"
#include "protocol/EventRecorder.h"
#include "protocol/ReceiveParser.h"
#include "protocol/ReferenceParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t pieceSeed = data[0];
    const uint8_t maxPiece = uint8_t(1 + data[1] % 64);
    data += 2;
    size -= 2;

    EventRecorder ours, theirs;
    ours.gains = theirs.gains = {1, 2, 3, 4};
    ReceiveParser parser(&ours);
    ReferenceParser reference(&theirs);
    uint32_t state = pieceSeed * 2654435761u + 1;
    for (size_t at = 0; at < size;) {
        state = state * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(size - at, 1 + (state >> 16) % maxPiece);
        parser.receive(data + at, n);
        reference.receive(data + at, n);
        at += n;
        require(parser.pendingBytes().size() < size_t(kMaxFrameLength), "buffered bytes bounded");
        require(ours.calls == theirs.calls, "same owner calls as the reference");
        require(bool(parser.okFlag()) == reference.okFlag, "same OK flag");
        require(bool(parser.ngFlag()) == reference.ngFlag, "same NG flag");
        require(bool(parser.memDataReadCompleat()) == reference.memDataReadCompleat,
                "same read-complete flag");
        auto pending = parser.pendingBytes();
        require(std::vector<uint8_t>(pending.begin(), pending.end()) == reference.live(),
                "same unconsumed bytes");
        if ((state >> 8) % 5 == 0) {
            parser.clearFlags();
            reference.okFlag = reference.ngFlag = false;
        }
    }
    return 0;
}
