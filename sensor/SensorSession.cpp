#include "sensor/SensorSession.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "link/BtUtilClass.h"
#include "link/EventWait.h"
#include "sensor/Provenance.h"
#include "sensor/RunGuard.h"

namespace session {
namespace {

void pause(double seconds) {
    eventwait::runFor(seconds);
}

// Forwards the store's messages to the front end, except while the session
// handles them itself.
class HookReporter : public StoreReporter {
  public:
    std::function<void(const std::string&, const std::string&)> forward;
    bool muted = false;
    void storeMessage(const std::string& message, const std::string& title) override {
        if (!muted && forward) forward(message, title);
    }
};

}  // namespace

SensorSession::SensorSession(const std::string& name, const std::string& address)
    : vraxSensor(std::make_unique<VRAXSensor>()) {
    vraxSensor->setName(name);
    vraxSensor->setAddress(address);
    vraxSensor->setTitle(name);
    vraxSensor->setSensorType(BtUtilClass::checkSensorType(name));
}

void SensorSession::setCancelCheck(std::function<bool()> check) {
    vraxSensor->rfCommControl()->cancelConnect = std::move(check);
}

SensorSession::~SensorSession() {
    vraxSensor->getSensorDataObject().setReporter(nullptr);
    simpleDisconnectSensor();
}

bool SensorSession::waitOK(VRAXSensor* s, float timeOut, bool checkNG) {
    return s && s->waitOK(timeOut, checkNG);
}

bool SensorSession::sendWithRetry(const std::function<void()>& send, float firstWait,
                                  float secondWait) {
    VRAXSensor* s = vraxSensor.get();
    send();
    if (waitOK(s, firstWait, true)) return true;
    if (s->channelClosed()) return false;
    pause(0.01);
    send();
    return waitOK(s, secondWait, true);
}

Outcome SensorSession::failure(Step step) const {
    RFCommControl* link = vraxSensor->rfCommControl();
    Result r = Result::timedOut;
    if (link->channelClosed())
        r = Result::channelClosed;
    else if (link->ngFlag())
        r = Result::refused;
    return Outcome::failed(r, step);
}

void SensorSession::simpleDisconnectSensor() {
    if (connected_) vraxSensor->disconnect();
    connected_ = false;
}

Outcome SensorSession::openSensorAndStop() {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::connect);
    simpleDisconnectSensor();
    VRAXSensor* s = vraxSensor.get();

    pause(0.1);
    int32_t err = 0;
    const ConnectResult status = s->connect(err);
    pause(0.1);
    if (status != kConnected)
        return Outcome::platformFailure(
            err == PlatformStatus::cancelled ? Result::cancelled : Result::connectFailed,
            Step::connect, err);
    connected_ = true;

    // Stop any measurement, then ask for the device information.
    pause(0.2);
    pause(0.01);
    s->sendStopAllCommand(err);
    if (!waitOK(s, 2.0f, true)) {
        Outcome o = failure(Step::stop);
        simpleDisconnectSensor();
        return o;
    }
    s->clearSensorData();
    pause(0.01);
    s->sendGetSensorInfoCommand(err);
    if (!waitOK(s, 1.0f, true) || !waitOK(s, 1.0f, true)) {
        Outcome o = failure(Step::deviceInfo);
        simpleDisconnectSensor();
        return o;
    }
    return {};
}

Outcome SensorSession::getMemStatus(MemoryStatus& status) {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::memoryStatus);
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    pause(0.2);
    pause(0.01);
    if (!sendWithRetry([&] { s->sendMemEntryCount(err); }, 5.0f, 3.0f))
        return failure(Step::memoryStatus);
    s->getMemEntryCount(status.entryCount);
    pause(0.01);
    s->sendMemFreeSize(err);
    if (!waitOK(s, 2.0f, true)) return failure(Step::memoryStatus);
    s->getMemFreeSize(status.freeEntryCount, status.freeRecordCount);
    s->clearSensorData();
    return {};
}

Outcome SensorSession::readEntries(uint32_t entryCount, std::vector<EntryInfo>& entries) {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::entryList);
    for (uint32_t e = 1; e <= entryCount; ++e) {
        EntryInfo info;
        EntryStart& t = info.start;
        int32_t err = 0;
        if (!vraxSensor->getMemEntry(int32_t(e), t.year, t.month, t.day, t.hour, t.minute, t.second,
                                     t.millisecond, info.records, err))
            return failure(Step::entryList);
        info.startText = formatEntryStart(t);
        entries.push_back(std::move(info));
    }
    return {};
}

Outcome SensorSession::readBattery(float& volts) {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::battery);
    VRAXSensor* s = vraxSensor.get();
    s->setBatteryVoltage(0);
    int32_t err = 0;
    if (s->sendBatteryStatusCommand(err) != kSent)
        return Outcome::failed(Result::notSent, Step::battery);
    // The answer raises no flag: wait for the voltage itself.
    const bool answered =
        eventwait::runUntil([s] { return s->batteryVoltage() > 0 || s->channelClosed(); }, 1.0);
    volts = s->batteryVoltage();
    if (!answered || volts <= 0) return failure(Step::battery);
    return {};
}

Outcome SensorSession::listMemory(MemoryListing& listing, bool readBatteryToo) {
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    listing.firmVersion = vraxSensor->firmVersion();
    if (readBatteryToo) {
        float volts = 0;
        if (readBattery(volts).ok()) listing.batteryVoltage = volts;
        vraxSensor->clearSensorData();
    }
    o = getMemStatus(listing.status);
    if (o.ok()) o = readEntries(listing.status.entryCount, listing.entries);
    simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::eraseDataEntry() {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::erase);
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    pause(0.2);
    pause(0.01);
    if (!sendWithRetry([&] { s->clearAllMemEntry(err); }, 2.0f, 2.0f)) return failure(Step::erase);
    s->clearSensorData();
    return {};
}

Outcome SensorSession::whileConnected(const std::function<Outcome()>& work) {
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    o = work();
    simpleDisconnectSensor();
    return o;
}

Outcome SensorSession::eraseMemory() {
    return whileConnected([this] { return eraseDataEntry(); });
}

namespace {
constexpr float kRangeAnswerWait = 0.5f;
}

void SensorSession::readRanges(DownloadReport& report) {
    VRAXSensor* s = vraxSensor.get();
    int32_t err = 0;
    // Older firmware may not answer: a short wait each, and no retry.
    if (s->sendGetAccRangeCommand(err) == kSent && s->waitOK(kRangeAnswerWait, true))
        report.accRange = s->accRangeRead();
    if (s->sendGetGyrRangeCommand(err) == kSent && s->waitOK(kRangeAnswerWait, true))
        report.gyrRange = s->gyrRangeRead();
}

std::string dayFolderOf(const DownloadRequest& request) {
    int year = request.year, month = request.month, day = request.day;
    if (year == 0) localToday(year, month, day);
    return dayFolderPath(request.saveFolder, year, month, day);
}

std::string targetPathOf(const DownloadRequest& request, const std::string& sensorName) {
    EntryStart start;
    parseEntryStart(request.startText, start);
    return csvFilePath(dayFolderOf(request), sensorName, start, request.filtered,
                       request.numberInName ? request.entryRow + 1 : 0);
}

Outcome SensorSession::downloadEntry(const DownloadRequest& request, const DownloadHooks& hooks,
                                     DownloadReport& report) {
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    RunGuard guard(running_);
    VRAXSensor* s = vraxSensor.get();
    VRAXSensorData& store = s->getSensorDataObject();

    const std::string folder = dayFolderOf(request);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
        simpleDisconnectSensor();
        return Outcome::fileError(Step::folder, folder);
    }

    // The clock before the transfer, so the entry can be put on UTC later.
    probeBeforeDownload(request, report);
    readRanges(report);
    s->clearSensorData();
    s->setWriteAD16FilterdData(request.filtered ? 1 : 0);
    int32_t err = 0;
    const uint64_t gainAnswersBefore = s->ad16GainAnswers();
    if (BtUtilClass::checkSensorType2(s->name()) == 2)
        s->getMemEntryInfo2(request.entryRow + 1, err);

    report.targetPath = targetPathOf(request, s->name());
    report.expected = request.expectedRecords;

    HookReporter reporter;
    reporter.forward = hooks.storeMessage;
    reporter.muted = true;
    const ScopedReporter reporting(store, reporter);
    s->setSaveFilename(report.targetPath);
    reporter.muted = false;
    if (store.hadWriteError()) {
        report.fileError = store.saveFileError();
        s->clearSaveFilename();
        simpleDisconnectSensor();
        return Outcome::fileError(Step::file, report.targetPath);
    }
    s->setSaveFlag();

    Result result = Result::done;
    if (!s->readMemData(request.entryRow + 1, err)) {
        result = Result::notSent;
    } else {
        if (hooks.transferStarted) hooks.transferStarted();
        pause(0.01);
        RFCommControl* link = s->rfCommControl();
        uint64_t lastBytes = link->receivedBytes();
        auto lastChange = std::chrono::steady_clock::now();
        bool toldFailing = false;
        while (!s->memDataReadCompleat()) {
            if (link->channelClosed()) {
                result = Result::channelClosed;
                break;
            }
            if (hooks.cancelRequested && hooks.cancelRequested()) {
                result = Result::cancelled;
                break;
            }
            pause(0.1);
            if (hooks.progress) hooks.progress(store.count(), request.expectedRecords);
            // Said at once while it lasts, not only at the end.
            const bool failing = store.isWriteFailing();
            if (failing && !toldFailing && hooks.writeFailing)
                hooks.writeFailing(store.saveFileError());
            toldFailing = failing;
            const auto now = std::chrono::steady_clock::now();
            if (link->receivedBytes() != lastBytes) {
                lastBytes = link->receivedBytes();
                lastChange = now;
            } else if (std::chrono::duration<double>(now - lastChange).count() >= silenceTimeout_) {
                result = Result::timedOut;
                break;
            }
        }
        report.endSeen = s->memDataReadCompleat();
    }

    s->flashWriteBuffer();
    s->clearSaveFlag();
    report.records = store.count();
    if (s->ad16GainAnswers() != gainAnswersBefore) {
        std::array<int, 4> gains{};
        for (int port = 0; port < 4; ++port) gains[size_t(port)] = s->getAd16Gain(port);
        report.ad16Gains = gains;
    }
    // The last report is the final count, also for a transfer shorter than one poll.
    if (hooks.progress && result != Result::notSent)
        hooks.progress(report.records, request.expectedRecords);
    simpleDisconnectSensor();

    // Complete: the end arrived, with the entry's record count when it has one.
    const bool countMatches =
        request.expectedRecords <= 0 || int64_t(report.records) == request.expectedRecords;
    if (result == Result::done && !countMatches) result = Result::missingRecords;
    const SaveFileEnd end = store.finishSaveFile(result == Result::done, request.existing);
    report.fileComplete = end.allWritten;
    report.complete = end.kind == SaveFileEnd::complete;
    report.filePath = end.path;
    report.fileError = end.error;
    if (result == Result::done && !report.complete) result = Result::fileError;
    provenance::writeDownloadSidecar(*s, request, report, result, report.sidecarError);
    return Outcome::aboutPath(result, Step::download, report.filePath);
}

}  // namespace session
