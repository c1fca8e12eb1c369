// A virtual VRAX sensor: the device side of the protocol. It takes the bytes
// the host writes, recognises host command frames, and queues the answers a
// sensor gives; a driver pulls the output bytes when they are due. Memory
// replays are generated frame by frame as they are pulled, so a replay of
// any length needs no more memory than one frame.
//
// Time is the caller's monotonic clock in milliseconds (steadyMs() by
// default); it paces answers, replays and measurements.
//
// Measuring follows these conventions of the virtual sensor (a real
// sensor's behaviour may differ):
// - A measurement setting (setags, setqags, setgeo, setpres, setext,
//   setext16) switches its kind on when its rate byte is non-zero. The rate
//   byte is the sampling period in milliseconds: rate r gives one frame
//   every r ms (1000 / r frames a second). setbatt 01 gives one battery
//   frame a second. The memory byte (the third) records the kind too.
// - NG answers: a kind switched on with averaging 0, or with a memory byte
//   that is neither 0 nor the averaging byte; setext16 on a VRAX610; a range
//   above 3; a port byte other than 00, 01, 08, 09, 0A; an overwrite byte
//   other than 00 and 01; a setd or dated start with an impossible date.
// - The sensor clock reads 2026-01-01 00:00:00.000 until setd (or setClock)
//   sets it, and runs with the caller's clock, faster by faults.clockPpm.
//   getd answers it in setd's layout (protocol/DateTimeBytes.h).
// - getaccrange and getgyrrange answer the range last set (2 until set).
// - With link latency, a command is heard one latency after it arrives (setd
//   and getd take the clock then) and its answer is sent one more latency later.
// - sens starts measuring at once, or with a date once the sensor clock
//   reaches it (a date already past starts at once). Time stamps are
//   milliseconds since the start. Recorded kinds
//   go into a new entry (its start: the sensor clock at the start), which
//   stop closes and appends to `entries`. Measuring goes on while the channel
//   is closed (the sensor records on its own); only streaming needs it.
// - Memory full (memoryRecords, maxEntries) ends the recording; with the
//   overwrite byte 00 (mode 1 of the sender) the oldest entries make room.
// - closeAfterFrames and silentAfterFrames also count streamed frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sim/VirtualEntry.h"

enum class VirtualModel { VRAX610, VRAX650 };

// Ways a virtual sensor misbehaves. Frame counts and indexes refer to the
// measurement frames of a replay, counted from 0 within each replay.
struct VirtualFaults {
    int replyDelayMs = 0;                   // delay of every answer and of a replay's start
    std::map<uint8_t, int> commandDelayMs;  // per command code; overrides replyDelayMs
    size_t chunkSize = 0;          // bytes per pull (0 = as many as asked, 1 = every byte alone)
    uint32_t corruptEveryNth = 0;  // frames N-1, 2N-1, ... get a wrong check byte
    std::set<uint32_t> corruptFrames;           // these frames get a wrong check byte
    uint32_t dropEveryNth = 0;                  // frames N-1, 2N-1, ... are not sent
    std::set<uint32_t> dropFrames;              // these frames are not sent
    std::map<uint8_t, int> ngCommands;          // code -> times to answer 0x8F 01 (-1 = always)
    std::map<uint8_t, int> unansweredCommands;  // code -> times to give no answer (-1 = always)
    int64_t closeAfterFrames = -1;     // close the channel after this many frames of a replay
    int64_t silentAfterFrames = -1;    // send nothing more after this many frames of a replay
    bool busy = false;                 // the channel cannot be opened (in use elsewhere)
    int connectDelayMs = 0;            // a connect takes this long (a page time-out)
    bool noSerialPortService = false;  // the device has no serial port service record
    uint32_t framesPerSecond = 0;      // pace of a replay (0 = as fast as it is read)
    // The sensor clock runs fast by this many parts per million.
    double clockPpm = 0;
    // Link latency of each direction, latencyMs ± jitterMs (uniform, from a
    // seeded generator). By default one draw serves both directions of an
    // exchange (the link's latency at that moment); with independentJitter
    // each direction draws its own.
    int latencyMs = 0;
    int jitterMs = 0;
    bool independentJitter = false;
    uint64_t jitterSeed = 1;
};

class VirtualSensor {
  public:
    static constexpr uint64_t kNever = UINT64_MAX;

    explicit VirtualSensor(VirtualModel model = VirtualModel::VRAX610);

    VirtualModel model;
    std::array<uint8_t, 4> firmware{0x01, 0x0A, 0x00, 0xFF};  // device information bytes 16-19
    std::vector<VirtualEntry> entries;                        // entry k + 1 is entries[k]
    float batteryVoltage = 3.95f;
    int batteryLevel = 87;             // percent, third byte of the battery answer
    int maxEntries = 64;               // free entries = maxEntries - entries
    uint32_t memoryRecords = 4000000;  // free records = memoryRecords - records held
    uint8_t accRange = 2;              // range settings, as setaccrange / setgyrrange left them
    uint8_t gyrRange = 2;
    VirtualFaults faults;

    // A channel was opened: a fresh session (no pending input or output).
    void open();
    // The channel went away: stops any replay, drops pending output.
    void close();
    bool isOpen() const { return opened; }

    // Host-to-device bytes.
    void receive(const uint8_t* data, size_t length, uint64_t nowMs);
    void receive(const uint8_t* data, size_t length) { receive(data, length, nowMs()); }

    // Writes up to `max` output bytes that are due at `nowMs` (never more
    // than faults.chunkSize when it is set); returns how many.
    size_t pull(uint8_t* out, size_t max, uint64_t nowMs);
    size_t pull(uint8_t* out, size_t max) { return pull(out, max, nowMs()); }
    // Earliest time at which pull() gives bytes; kNever when nothing is pending.
    uint64_t nextDueMs() const;
    // True when the channel should be closed now (after a close fault fired
    // and every byte before it was pulled).
    bool shouldClose() const {
        return closeNow && partialPos >= partial.size() && replies.empty() &&
               liveOutPos >= liveOut.size();
    }
    bool replaying() const { return replay.active; }
    bool isSilent() const { return silent; }

    // Every checked host frame received, header to check byte, over all sessions.
    const std::vector<std::vector<uint8_t>>& receivedFrames() const { return hostFrames; }
    // Codes of the received host frames, in order.
    std::vector<uint8_t> receivedCodes() const;
    // Measurement frames sent (or dropped) in the current or last replay.
    uint64_t framesReplayed() const { return replay.next; }
    // Replays that reached their end frame.
    uint64_t replaysCompleted() const { return completedReplays; }

    // Measuring: true from the start command (also while a dated start
    // waits) until stop.
    bool measuring() const { return measure.armed; }
    bool recording() const { return measure.recording; }
    // When the measurement starts (or started) on the caller's clock: the
    // moment the sensor clock reaches its start. kNever when none is armed.
    uint64_t measurementStartMs() const {
        return measure.armed ? monotonicOf(measure.startClock) : kNever;
    }
    // Frames streamed since the measurement started.
    uint64_t framesStreamed() const { return measure.streamed; }
    // The sensor clock at `nowMs`, in milliseconds since 2000-01-01 00:00:00.
    int64_t clockMs(uint64_t nowMs);
    // Settings of a kind (by data type 0..6) as last set.
    struct KindSetting {
        uint8_t rate = 0, average = 0, memory = 0;
        bool on() const { return rate != 0; }
    };
    const KindSetting& kindSetting(int dataType) const { return kinds[size_t(dataType)]; }
    // Catches up with `nowMs`: starts a dated measurement that is due,
    // generates the samples due, records and streams them.
    void advance(uint64_t nowMs);

    static uint64_t steadyMs();
    // The time the overloads without one use: steadyMs() plus timeShiftMs
    // (tests move a sensor's time forward without waiting).
    uint64_t nowMs() const { return steadyMs() + timeShiftMs; }
    uint64_t timeShiftMs = 0;
    // Sets the sensor clock (ms since 2000-01-01) as of `nowMs`.
    void setClock(int64_t clockMs, uint64_t nowMs);
    // Ms between 1970-01-01 and 2000-01-01, to read the clock on the Unix epoch.
    static constexpr int64_t epoch2000Ms() { return 946684800000; }
    // Number of records held, over all entries.
    uint64_t recordsHeld() const;

  private:
    static constexpr size_t kMaxMeasurementFrame = 33;

    struct Reply {
        uint64_t due;
        std::vector<uint8_t> bytes;
    };
    struct Replay {
        bool active = false;
        size_t entry = 0;
        uint32_t next = 0;
        uint64_t due = 0;
        uint64_t startMs = 0;
    };

    struct Measurement {
        bool armed = false;    // start command taken
        bool running = false;  // started (a dated start may still wait)
        int64_t startClock = 0;
        std::array<int64_t, 7> next{};  // sensor clock of each kind's next sample
        std::array<uint32_t, 7> index{};
        uint64_t seed = 0;
        uint64_t streamed = 0;
        bool recording = false;
        VirtualEntry entry;
    };

    void handleFrame(const uint8_t* frame, int length, uint64_t nowMs);
    bool handleSetting(uint8_t command, const uint8_t* p, uint64_t nowMs, uint64_t heardMs);
    void startMeasuring(int64_t startClock);
    void stopMeasuring(uint64_t nowMs);
    void record(const VirtualSample& s);
    uint64_t monotonicOf(int64_t clock) const;
    void answer(uint8_t command, uint8_t code, const uint8_t* payload, size_t n, uint64_t nowMs);
    void answerStatus(uint8_t command, uint8_t status, uint64_t nowMs);
    uint64_t delayFor(uint8_t command) const;
    // One direction's link latency, drawn from the seeded generator.
    uint64_t drawLatency();
    bool takeNg(uint8_t command);
    bool isDropped(uint32_t frame) const;
    bool isCorrupt(uint32_t frame) const;
    const VirtualEntry* entryAt(int number) const;

    bool opened = false;
    bool silent = false;
    bool closeNow = false;
    std::vector<uint8_t> input;
    std::deque<Reply> replies;
    size_t replyPos = 0;
    std::vector<uint8_t> partial;  // the rest of a frame a pull cut short
    size_t partialPos = 0;
    Replay replay;
    uint64_t completedReplays = 0;
    std::vector<std::vector<uint8_t>> hostFrames;

    std::array<KindSetting, 7> kinds{};
    std::array<uint8_t, 4> gains{};
    bool overwrite = false;
    int64_t clockBase = 0;  // sensor clock at clockSetAt
    uint64_t clockSetAt = 0;
    bool clockRunning = false;
    uint64_t jitterState = 0;
    bool jitterSeeded = false;
    uint64_t linkDelayMs = 0;  // latency added to the answers of the frame being handled
    uint64_t measurements = 0;
    Measurement measure;
    std::vector<uint8_t> liveOut;  // streamed frames not yet pulled
    size_t liveOutPos = 0;
};
