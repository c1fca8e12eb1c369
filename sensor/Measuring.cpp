// The measuring actions of a session: clock, beep, compass calibration,
// settings, start and stop, and the live session.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "link/BtUtilClass.h"
#include "link/EventWait.h"
#include "protocol/DateTimeBytes.h"
#include "sensor/Provenance.h"
#include "sensor/RunGuard.h"
#include "sensor/SensorSession.h"
#include "store/TimeText.h"
#include "store/TsvSidecar.h"

namespace session {
namespace {

bool isVRAX650(const VRAXSensor& s) {
    return BtUtilClass::checkSensorType2(s.name()) == 2;
}

// Answer waits of one setting command: first try, then once more.
constexpr float kSettingWait = 2.0f;
// The start command is sent once: sent twice it could start two measurements.
constexpr float kStartWait = 3.0f;

class StoreHooks : public StoreReporter {
  public:
    std::function<void(const std::string&, const std::string&)> forward;
    void storeMessage(const std::string& message, const std::string& title) override {
        if (forward) forward(message, title);
    }
};

}  // namespace

ClockTime localClockNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t t = system_clock::to_time_t(now);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    return ClockTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     int(ms)};
}

bool parseClockTime(const std::string& text, ClockTime& into) {
    ClockTime c;
    int n = 0;
    if (text.size() != 19 ||
        std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &c.year, &c.month, &c.day, &c.hour,
                    &c.minute, &c.second, &n) != 6 ||
        n != 19)
        return false;
    if (text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return false;
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
    if (c.year < 2000 || c.year > 2255 || c.month < 1 || c.month > 12 || c.day < 1 ||
        c.day > kDays[c.month - 1] || (c.month == 2 && c.day == 29 && !leap) || c.hour > 23 ||
        c.minute > 59 || c.second > 59)
        return false;
    into = c;
    return true;
}

bool clockTimeBefore(const ClockTime& a, const ClockTime& b) {
    auto key = [](const ClockTime& c) {
        return std::array<int, 7>{c.year, c.month, c.day, c.hour, c.minute, c.second, c.msec};
    };
    return key(a) < key(b);
}

Outcome SensorSession::applySettings(const measure::Config& config) {
    VRAXSensor* s = vraxSensor.get();
    if (std::string e = measure::validate(config, isVRAX650(*s)); !e.empty())
        return Outcome::aboutSetting(Result::badSetting, Step::setting, e);
    if (running_) return Outcome::busy(Step::setting);
    for (const measure::SettingStep& step : measure::settingSteps(config, isVRAX650(*s))) {
        int32_t err = 0;
        eventwait::runFor(0.01);
        if (!sendWithRetry([&] { step.send(*s, err); }, kSettingWait, kSettingWait)) {
            Outcome o = failure(Step::setting);
            o.setting = step.name;
            return o;
        }
    }
    // The 16-bit AD records carry the gains the sensor was given.
    for (int port = 0; port < 4; ++port) s->setAd16Gain(config.ad16Gains[size_t(port)], port);
    return {};
}

Outcome SensorSession::sendClock(const ClockTime& t) {
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    if (!sendWithRetry(
            [&] {
                s->sendSetDateTimeCommand(err, t.year, t.month, t.day, t.hour, t.minute, t.second,
                                          t.msec);
            },
            kSettingWait, kSettingWait)) {
        Outcome o = failure(Step::clock);
        o.setting = "clock";
        return o;
    }
    return {};
}

Outcome SensorSession::oneCommand(Step step, const char* name,
                                  const std::function<void(VRAXSensor&, int32_t&)>& send,
                                  bool retry) {
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    eventwait::runFor(0.01);
    bool answered = false;
    if (retry) {
        answered = sendWithRetry([&] { send(*s, err); }, kSettingWait, kSettingWait);
    } else {
        send(*s, err);
        answered = waitOK(s, kStartWait, true);
    }
    if (!answered) {
        o = failure(step);
        o.setting = name;
    }
    simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::setClock(const ClockTime& time) {
    return whileConnected([&] { return sendClock(time); });
}

Outcome SensorSession::identify() {
    return oneCommand(Step::identify, "identify", [](VRAXSensor& s, int32_t& err) {
        // The beep's sender keeps the flags; only its own answer may count.
        s.rfCommControl()->clearFlags();
        s.sendBeep1Command(err);
    });
}

Outcome SensorSession::calibrateCompass() {
    return oneCommand(Step::calibrate, "calibrate",
                      [](VRAXSensor& s, int32_t& err) { s.sendCalibGEOCommand(err); });
}

Outcome SensorSession::stopMeasuring() {
    // Connecting sends the stop command already.
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (o.step == Step::stop && !o.ok()) {
        o.step = Step::stopMeasure;
        o.setting = "stop";
    }
    simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::connectAndConfigure(const measure::Config& config, bool setClock,
                                           timebase::ClockReading* probed) {
    if (running_) return Outcome::busy(Step::connect);
    if (std::string e = measure::validate(config, isVRAX650(*vraxSensor)); !e.empty())
        return Outcome::aboutSetting(Result::badSetting, Step::setting, e);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    o = applySettings(config);
    if (o.ok() && setClock) o = probed ? setClockAndProbe(*probed) : sendClock(localClockNow());
    if (!o.ok()) simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::startRecording(const measure::Config& config, const RecordingStart& start) {
    Outcome o = connectAndConfigure(config, start.setClock, start.probed);
    if (!o.ok()) return o;
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    eventwait::runFor(0.01);
    if (start.at) {
        const ClockTime& t = *start.at;
        s->sendSensStartCommand(t.year, t.month, t.day, t.hour, t.minute, t.second, err);
    } else {
        s->sendSensStartCommand(err);
    }
    if (!waitOK(s, kStartWait, true)) {
        o = failure(Step::start);
        o.setting = "start";
    }
    simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::runLive(const measure::Config& config, const LiveRequest& request,
                               const LiveHooks& hooks, LiveReport& report) {
    report = LiveReport{};
    if (Outcome o = connectAndConfigure(config, request.setClock); !o.ok()) return o;

    VRAXSensor* s = vraxSensor.get();
    VRAXSensorData& store = s->getSensorDataObject();
    const ClockTime now = localClockNow();
    const std::string folder = dayFolderPath(request.saveFolder, now.year, now.month, now.day);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        simpleDisconnectSensor();
        return Outcome::fileError(Step::folder, folder);
    }
    const EntryStart startName{now.year,   now.month,  now.day, now.hour,
                               now.minute, now.second, now.msec};
    const bool split = request.lineLimit > 0;
    const std::string first = liveFilePath(folder, s->name(), startName, split ? 0 : -1);

    StoreHooks reporter;
    reporter.forward = hooks.storeMessage;
    const ScopedReporter reporting(store, reporter);
    s->setWriteAD16FilterdData(0);
    store.setSavePartLimit(split ? uint64_t(request.lineLimit) : 0,
                           [folder, name = s->name(), startName](int part) {
                               return liveFilePath(folder, name, startName, part);
                           });
    s->setSaveFilename(first);
    if (store.hadWriteError()) {
        report.fileError = store.saveFileError();
        s->clearSaveFilename();
        simpleDisconnectSensor();
        return Outcome::fileError(Step::file, first);
    }
    s->setSaveFlag();
    // The time map: sparse (sensor time, host receive time) pairs of the records.
    TsvSidecar timeMap;
    std::string mapPath = liveFilePath(folder, s->name(), startName, -1);
    mapPath.replace(mapPath.size() - 4, 4, ".timemap.tsv");
    if (!timeMap.open(mapPath, "sensor_ms\thost_utc_ms\thost_utc") && hooks.writeFailing)
        hooks.writeFailing(timeMap.error());
    store.noteTimePairs(kTimePairEveryMs);
    auto mapPairs = [&](LiveProgress* p) {
        for (const TimePair& pair : store.takeTimePairs()) {
            timeMap.addRow(std::to_string(pair.sensorMs) + "\t" + std::to_string(pair.hostUtcMs) +
                           "\t" + timetext::isoUtc(pair.hostUtcMs));
            if (p) p->lastTimePair = pair;
        }
    };

    RunGuard guard(running_);
    int32_t err = 0;
    eventwait::runFor(0.01);
    // The host's time around the start command: the records' time 0 lies between.
    const timebase::HostClock clock =
        hostClock ? hostClock : timebase::HostClock(timebase::realHostTime);
    const timebase::HostTime sent = clock();
    s->sendSensStartCommand(err);
    Result result = Result::done;
    Step step = Step::live;
    const bool startAnswered = waitOK(s, kStartWait, true);
    const timebase::HostTime answered = clock();
    provenance::LiveStart liveStart;
    liveStart.startUtcMs = int64_t(std::llround((sent.utcMs + answered.utcMs) / 2));
    liveStart.boundMs = (answered.monoMs - sent.monoMs) / 2;
    {
        const datetime::SensorDateTime t =
            datetime::fromMsSinceEpoch(liveStart.startUtcMs + answered.zoneMs);
        liveStart.start = ClockTime{t.year, t.month, t.day, t.hour, t.minute, t.second, t.msec};
    }
    if (!startAnswered) {
        const Outcome f = failure(Step::start);
        result = f.result;
        step = Step::start;
    } else {
        if (hooks.started) hooks.started(s->filename().value_or(first));
        LiveProgress p;
        RFCommControl* link = s->rfCommControl();
        const auto began = std::chrono::steady_clock::now();
        auto lastChange = began;
        uint64_t lastBytes = link->receivedBytes();
        uint64_t counted = 0;
        // Records per kind of the last ten ticks, for the rate over the last second.
        std::array<std::array<uint64_t, measure::kKindCount>, 10> recent{};
        size_t tickNo = 0;
        float battery = 0;
        bool toldFailing = false;
        for (;;) {
            if (link->channelClosed()) {
                result = Result::channelClosed;
                break;
            }
            if (hooks.stopRequested && hooks.stopRequested()) {
                report.stoppedByUser = true;
                break;
            }
            eventwait::runFor(0.1);
            const auto t = std::chrono::steady_clock::now();
            p.elapsed = std::chrono::duration<double>(t - began).count();
            std::array<uint64_t, measure::kKindCount>& slot = recent[tickNo++ % recent.size()];
            slot.fill(0);
            for (; counted < store.count(); ++counted) {
                const SensorDataRecord* r = store.getDataByIndex(counted);
                const std::optional<measure::Kind> kind =
                    r ? measure::kindOfDataType(r->dataType) : std::nullopt;
                if (!kind) continue;
                const size_t k = size_t(*kind);
                ++report.recordsPerKind[k];
                ++slot[k];
                if (kind == measure::Kind::batt) battery = float(r->values[0]) / 100.0f;
            }
            const double window = std::min<double>(double(std::min(tickNo, recent.size())) * 0.1,
                                                   std::max(p.elapsed, 0.1));
            for (size_t k = 0; k < measure::kKindCount; ++k) {
                uint64_t n = 0;
                for (const auto& tick : recent) n += tick[k];
                p.ratePerKind[k] = double(n) / window;
            }
            mapPairs(&p);
            if (request.keepSeconds >= 0) {
                // Memory stays flat: the file has every record, the session the latest.
                double rate = 0;
                for (double r : p.ratePerKind) rate += r;
                store.keepLatest(uint64_t(rate * (request.keepSeconds + 2.0) * 2.0) + 1000);
            }
            p.records = store.count();
            p.recordsPerKind = report.recordsPerKind;
            p.batteryVoltage = battery;
            p.filePath = s->filename().value_or(std::string());
            const bool failing = store.isWriteFailing();
            p.writeFailing = failing;
            if (failing && !toldFailing && hooks.writeFailing)
                hooks.writeFailing(store.saveFileError());
            toldFailing = failing;
            if (hooks.tick) hooks.tick(p);
            if (request.seconds > 0 && p.elapsed >= request.seconds) break;
            if (link->receivedBytes() != lastBytes) {
                lastBytes = link->receivedBytes();
                lastChange = t;
            } else if (std::chrono::duration<double>(t - lastChange).count() >= silenceTimeout_) {
                result = Result::timedOut;
                break;
            }
        }
        if (!link->channelClosed()) {
            // Frames measured before the stop arrive ahead of its answer.
            eventwait::runFor(0.01);
            s->sendStopAllCommand(err);
            report.stopAcknowledged = waitOK(s, kSettingWait, true);
        }
        // Records that came after the last tick; the last tick shows the final count.
        for (; counted < store.count(); ++counted) {
            const SensorDataRecord* r = store.getDataByIndex(counted);
            if (const auto kind = r ? measure::kindOfDataType(r->dataType) : std::nullopt)
                ++report.recordsPerKind[size_t(*kind)];
        }
        mapPairs(&p);
        p.records = store.count();
        p.recordsPerKind = report.recordsPerKind;
        if (hooks.tick) hooks.tick(p);
    }

    s->flashWriteBuffer();
    mapPairs(nullptr);
    store.noteTimePairs(0);
    report.timeMapPath = timeMap.finish();
    report.records = store.count();
    simpleDisconnectSensor();
    // A live file has no expected count: what arrived is the file. A file
    // that received nothing is not kept.
    const bool anyInFile = store.writtenRecords() + store.queuedRecords() > 0;
    const SaveFileEnd end = store.finishSaveFile(anyInFile);
    report.files = store.finishedParts();
    if (!end.path.empty()) report.files.push_back(end.path);
    if (!end.error.empty()) report.fileError = end.error;
    store.setSavePartLimit(0, nullptr);
    liveStart.lastComplete = end.kind == SaveFileEnd::complete;
    if (!report.files.empty())
        provenance::writeLiveSidecars(*s, request, config, liveStart, report.files,
                                      report.sidecarError);
    const std::string where = report.files.empty() ? std::string() : report.files.back();
    // A file that failed while records arrived: `where` is what was kept of it.
    if (result == Result::done && anyInFile && end.kind != SaveFileEnd::complete)
        return Outcome::fileError(Step::live, where);
    if (result == Result::done && !report.fileError.empty())
        return Outcome::fileError(Step::live, where);
    Outcome outcome = Outcome::aboutPath(result, step, where);
    if (step == Step::start) outcome.setting = "start";
    return outcome;
}

}  // namespace session
