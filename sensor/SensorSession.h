// The sequences that every front end runs on a sensor: connect and stop,
// read the memory status and entry list, download an entry into a CSV file,
// erase the memory. Each user action makes one session, which connects, does
// its work and disconnects. Results say what happened; turning them into
// messages is the front end's job.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sensor/ClockProbe.h"
#include "sensor/DownloadNaming.h"
#include "sensor/MeasureConfig.h"
#include "sensor/VRAXSensor.h"

namespace session {

enum class Step {
    connect,       // opening the channel
    stop,          // stop command
    deviceInfo,    // device information
    memoryStatus,  // entry count and free size
    entryList,     // entry headers
    folder,        // day folder
    file,          // CSV file
    download,      // the transfer itself
    erase,         // memory erase
    battery,       // battery status
    setting,       // a measurement setting (Outcome::setting names it)
    clock,         // setting the sensor's clock
    clockProbe,    // reading the sensor's clock (getd)
    identify,      // beep
    calibrate,     // geomagnetic calibration
    start,         // start command
    stopMeasure,   // stop command ending a measurement
    live,          // streaming the measurement frames
};

enum class Result {
    done,
    connectFailed,   // platformStatus holds the error word
    refused,         // the sensor answered NG
    timedOut,        // no answer in time, or the sensor went silent
    channelClosed,   // the channel closed under the sequence
    notSent,         // the request could not be written
    fileError,       // folder or file could not be made or written
    cancelled,       // the user stopped it
    busy,            // another sequence of this session is running
    missingRecords,  // the transfer ended, but with another record count than the entry's
    badSetting,      // a configuration value no sender carries; nothing was sent
                     // (Outcome::setting holds the message)
};

struct Outcome {
    Result result = Result::done;
    Step step = Step::connect;
    int32_t platformStatus = 0;
    std::string path;  // folder or file concerned
    std::string
        setting;  // the setting refused or unanswered: its JSON key, or "clock", "start", ...
    bool ok() const { return result == Result::done; }

    // How a step ended, with nothing more to tell.
    static Outcome failed(Result r, Step s) { return Outcome{r, s, 0, {}, {}}; }
    // Another sequence of the session is running.
    static Outcome busy(Step s) { return failed(Result::busy, s); }
    // A step that ended on a folder or file: `path` names it.
    static Outcome aboutPath(Result r, Step s, std::string path) {
        return Outcome{r, s, 0, std::move(path), {}};
    }
    static Outcome fileError(Step s, std::string path) {
        return aboutPath(Result::fileError, s, std::move(path));
    }
    // A setting refused, unanswered or not accepted: its JSON key, or "clock", "start", ...
    static Outcome aboutSetting(Result r, Step s, std::string setting) {
        return Outcome{r, s, 0, {}, std::move(setting)};
    }
    // A step the Bluetooth platform failed, with its status.
    static Outcome platformFailure(Result r, Step s, int32_t status) {
        return Outcome{r, s, status, {}, {}};
    }
};

struct EntryInfo {
    EntryStart start;
    std::string startText;  // "YYYY/MM/DD hh:mm:ss.mmm"
    int32_t records = 0;
};

struct MemoryStatus {
    uint32_t entryCount = 0;
    uint32_t freeEntryCount = 0;
    uint32_t freeRecordCount = 0;
};

struct MemoryListing {
    MemoryStatus status;
    std::vector<EntryInfo> entries;  // those read, also after a failure
    std::string firmVersion;
    float batteryVoltage = 0;  // 0 when the sensor did not say
};

struct DownloadRequest {
    std::string saveFolder;
    int entryRow = 0;              // row of the entry list; entry entryRow + 1 is read
    std::string startText;         // the row's start time text
    int64_t expectedRecords = -1;  // the entry's record count; 0 or less: not known
    bool filtered = false;
    bool numberInName = false;  // another entry starts at the same time: name it by number too
    // A file already under the download's name: kept (the download takes a
    // numbered name) or replaced, in both cases only once the download is complete.
    safeout::Existing existing = safeout::Existing::keepBoth;
    int year = 0, month = 0, day = 0;  // day of the download (day folder); 0: today
};

// The day folder of a download (today's when the request names no day),
// and the name a complete download of the request takes there; the front
// ends look for that file before they ask whether to replace it.
std::string dayFolderOf(const DownloadRequest& request);
std::string targetPathOf(const DownloadRequest& request, const std::string& sensorName);

struct DownloadReport {
    std::string targetPath;     // the name a complete download takes
    std::string filePath;       // where the records are: that name, a numbered one beside
                                // it, the incomplete name, or empty when none arrived
    uint64_t records = 0;       // records stored
    int64_t expected = -1;      // the entry's record count, when known
    bool endSeen = false;       // the sensor reported the end of the entry
    bool fileComplete = false;  // every stored record reached the file
    bool complete = false;      // filePath holds the whole entry
    std::string fileError;      // why writing failed, in words
    // The clock probe before the transfer (answered false when the sensor
    // did not say its time), and why its clock log line was not written.
    timebase::ClockReading clock;
    std::string clockLogError;
    // The range settings read before the transfer (none: not answered);
    // they may differ from those the entry was recorded with.
    std::optional<int> accRange, gyrRange;
    // The 16-bit AD gains the sensor gave for the entry (VRAX650), when it did.
    std::optional<std::array<int, 4>> ad16Gains;
    std::optional<double> driftPpm;       // of the sensor clock since it was set, when known
    std::optional<int64_t> lastSetUtcMs;  // when the clock log last saw the clock set
    std::string sidecarError;             // why the file's sidecar was not written
};

struct DownloadHooks {
    std::function<void()> transferStarted;                             // the read request went out
    std::function<void(uint64_t records, int64_t expected)> progress;  // every 0.1 s
    std::function<bool()> cancelRequested;
    // Writing the file failed (disk full, I/O error); called from the
    // progress poll, once per failing run.
    std::function<void(const std::string& why)> writeFailing;
    // Store messages (write errors) raised while records arrive. Called from
    // inside data delivery: the receiver must not run a modal loop there.
    std::function<void(const std::string& message, const std::string& title)> storeMessage;
};

// Seconds of silence after which a running download counts as timed out.
inline constexpr double kSilenceTimeout = 10.0;

struct ClockTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
};
// The computer's local time, with milliseconds.
ClockTime localClockNow();
// "YYYY-MM-DD hh:mm:ss" into a ClockTime (msec 0); false when the text is
// not a valid date and time of the years the sensor's clock carries (2000..2255).
bool parseClockTime(const std::string& text, ClockTime& into);
// True when `a` is earlier than `b`.
bool clockTimeBefore(const ClockTime& a, const ClockTime& b);

// What a look at a sensor finds: firmware, battery, memory and clock.
struct SensorStatus {
    std::string firmVersion;
    float batteryVoltage = 0;  // 0 when the sensor did not say
    MemoryStatus memory;
    timebase::ClockReading clock;  // answered false when the sensor did not say its time
};

struct RecordingStart {
    std::optional<ClockTime> at;  // none: start now
    bool setClock = false;        // set the sensor's clock to the computer's first
    // With setClock: the clock is then probed, and the reading goes here.
    timebase::ClockReading* probed = nullptr;
};

struct LiveRequest {
    std::string saveFolder;
    double seconds = 0;  // 0: until stopped
    int lineLimit = 0;   // 0: one file; N: parts of N lines
    bool setClock = false;
    // The records the session holds in memory: those of the last
    // `keepSeconds` (at least), the file has them all. Negative: every record.
    double keepSeconds = -1;
};

// Sensor time against host receive time is noted this often (sensor time).
inline constexpr uint64_t kTimePairEveryMs = 1000;

struct LiveProgress {
    double elapsed = 0;
    uint64_t records = 0;
    // Indexed by measure::Kind.
    std::array<uint64_t, measure::kKindCount> recordsPerKind{};
    std::array<double, measure::kKindCount>
        ratePerKind{};  // records per second over the last second
    float batteryVoltage = 0;
    std::string filePath;  // the file being written
    bool writeFailing = false;
    std::optional<TimePair> lastTimePair;  // the latest (sensor time, host receive time)
};

struct LiveHooks {
    // The start command was accepted; streaming into filePath.
    std::function<void(const std::string& filePath)> started;
    // Every 0.1 s while live (the window redraws here).
    std::function<void(const LiveProgress&)> tick;
    // Polled; true ends the session with the stop command.
    std::function<bool()> stopRequested;
    std::function<void(const std::string& why)> writeFailing;
    std::function<void(const std::string& message, const std::string& title)> storeMessage;
};

struct LiveReport {
    std::vector<std::string> files;  // the finished files, in order
    // The (sensor time, host receive time) pairs beside them: "<first file
    // without .csv>.timemap.tsv"; empty when no record came.
    std::string timeMapPath;
    uint64_t records = 0;
    std::array<uint64_t, measure::kKindCount> recordsPerKind{};  // indexed by measure::Kind
    bool stoppedByUser = false;
    bool stopAcknowledged = false;
    std::string fileError;
    std::string sidecarError;  // why a file's sidecar was not written
};

class SensorSession {
  public:
    SensorSession(const std::string& name, const std::string& address);
    ~SensorSession();
    SensorSession(const SensorSession&) = delete;
    SensorSession& operator=(const SensorSession&) = delete;

    VRAXSensor& sensor() { return *vraxSensor; }
    // Asked while a connect waits (the page of a sensor that is off or out
    // of range can take many seconds); true cancels it: Result::cancelled.
    void setCancelCheck(std::function<bool()> check);
    bool running() const { return running_; }

    // Whole user actions; each ends disconnected.
    Outcome listMemory(MemoryListing& listing, bool readBattery = false);
    Outcome downloadEntry(const DownloadRequest& request, const DownloadHooks& hooks,
                          DownloadReport& report);
    Outcome eraseMemory();

    // Measuring. Each connects, stops any measurement, works, and ends disconnected.
    // Sets the clock to `time`.
    Outcome setClock(const ClockTime& time);
    // Sets the clock to the host's local time at the moment of sending, then
    // probes it: `achieved` is the offset that setting left (answered false
    // when the sensor does not say its time; the setting still counts).
    // `setTo` receives the time sent.
    Outcome setClock(timebase::ClockReading& achieved, ClockTime* setTo = nullptr);
    // Reads the clock: connect, stop, probe, disconnect. A sensor that does
    // not answer getd gives a done outcome with reading.answered false.
    Outcome readClock(timebase::ClockReading& reading);
    // Connects, stops, reads firmware, battery, memory status and clock,
    // disconnects. Only the memory status is required; a silent battery or
    // clock leaves its field unset.
    Outcome readStatus(SensorStatus& status);
    Outcome identify();  // beep
    Outcome calibrateCompass();
    // Settings, optional clock, start; the sensor then records on its own.
    Outcome startRecording(const measure::Config& config, const RecordingStart& start);
    Outcome stopMeasuring();
    // Settings, optional clock, start now, then streams the measurement
    // frames through the parser and store into a CSV in the download line
    // format until stopRequested, `seconds`, a closed channel or silence
    // (kSilenceTimeout); then sends stop and ends the file. During the
    // session sensor().getSensorDataObject() holds the live records.
    Outcome runLive(const measure::Config& config, const LiveRequest& request,
                    const LiveHooks& hooks, LiveReport& report);

    // Seconds without data after which a download or a live session counts
    // as timed out: kSilenceTimeout unless set (the tests shorten it).
    void setSilenceTimeout(double seconds) { silenceTimeout_ = seconds; }
    double silenceTimeout() const { return silenceTimeout_; }

    // The steps, for callers that string them themselves.
    Outcome openSensorAndStop();
    Outcome getMemStatus(MemoryStatus& status);
    Outcome readEntries(uint32_t entryCount, std::vector<EntryInfo>& entries);
    Outcome readBattery(float& volts);
    Outcome eraseDataEntry();
    void simpleDisconnectSensor();
    // Sends the configuration's settings in order (connected session).
    Outcome applySettings(const measure::Config& config);
    // Probes the clock (connected session). A sensor that does not answer
    // getd is not a failure: reading.answered false says it; a closed
    // channel is (Step::clockProbe).
    Outcome probeClock(timebase::ClockReading& reading, int probes = timebase::kDefaultProbes);
    // Sets the clock to the host's local time at the moment of sending, then
    // probes it (connected session). `setTo` receives the time sent.
    Outcome setClockAndProbe(timebase::ClockReading& reading, ClockTime* setTo = nullptr);

    // The host clock the probes read (tests shift it) and the wait for each
    // getd answer in seconds.
    void setHostClock(timebase::HostClock clock) { hostClock = std::move(clock); }
    void setClockAnswerWait(double seconds) { clockAnswerWait = seconds; }

    // Polls the OK flag in 0.01 s slices for `timeOut` seconds' worth of
    // slices; an NG answer (with checkNG) or a closed channel ends it early.
    static bool waitOK(VRAXSensor* s, float timeOut, bool checkNG);

  private:
    Outcome failure(Step step) const;  // refused, timed out or closed, from the link's state
    Outcome sendClock(const ClockTime& time);
    // Connects, stops, sends the settings and, when asked, the clock; ends
    // disconnected when any of it fails.
    Outcome connectAndConfigure(const measure::Config& config, bool setClock,
                                timebase::ClockReading* probed = nullptr);
    // Connects and stops, does `work` on the connected sensor, disconnects.
    Outcome whileConnected(const std::function<Outcome()>& work);
    // Connects and stops, sends one command and waits for its answer
    // (with `retry`, sends it once more when none came), disconnects.
    Outcome oneCommand(Step step, const char* name,
                       const std::function<void(VRAXSensor&, int32_t&)>& send, bool retry = true);
    // Sends, waits for the answer (NG ends the wait), and sends once more
    // when none came, unless the channel closed.
    bool sendWithRetry(const std::function<void()>& send, float firstWait, float secondWait);

    // The download's clock probe and its log line; never fails the download.
    void probeBeforeDownload(const DownloadRequest& request, DownloadReport& report);
    // The range settings as the sensor gives them now; never fails the download.
    void readRanges(DownloadReport& report);

    std::unique_ptr<VRAXSensor> vraxSensor;
    timebase::HostClock hostClock;
    double clockAnswerWait = timebase::kProbeAnswerWait;
    bool running_ = false;
    bool connected_ = false;
    double silenceTimeout_ = kSilenceTimeout;
};

}  // namespace session
