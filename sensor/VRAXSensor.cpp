#include "sensor/VRAXSensor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "link/EventWait.h"
#include "protocol/CommandTable.h"
#include "protocol/Frame.h"

VRAXSensor::VRAXSensor() {
    setRfCommControl(std::make_unique<RFCommControl>(this));
}

VRAXSensor::~VRAXSensor() = default;

bool VRAXSensor::setValueOffset(int32_t value, int32_t sensor, int32_t axis) {
    if (sensor < 0 || sensor > 6 || axis < 0 || axis > 13) return false;
    valueOffset_[size_t(sensor)][size_t(axis)] = value;
    return true;
}

int32_t VRAXSensor::valueOffset(int32_t kind, int32_t axis) const {
    if (kind < 0 || kind > 6 || axis < 0 || axis > 13) return 0;
    return valueOffset_[size_t(kind)][size_t(axis)];
}

void VRAXSensor::setAd16Gain(int gain, int Port) {
    if (Port >= 0 && Port < 4) ad16Gain[size_t(Port)] = gain;
    ++ad16GainAnswers_;
}

int32_t VRAXSensor::getAd16Gain(int port) {
    return port >= 0 && port < 4 ? ad16Gain[size_t(port)] : 0;
}

void VRAXSensor::setMEmEntryData(const uint8_t* frame, int resLength) {
    // No answer carries more than a frame's payload; never trust a length past it.
    const int n = std::min({resLength, kMaxFrameLength - 3, kResponseSize});
    if (n <= 0) return;
    std::memcpy(responseData_.data(), frame + 2, size_t(n));
}

ConnectResult VRAXSensor::connect(int32_t& err) {
    if (!rfCommControl_) return kNoLink;
    const ConnectResult status = rfCommControl_->connectSensor(address_, err);
    if (status == kConnected) sensorStatus_ = 1;
    return status;
}

void VRAXSensor::disconnect() {
    if (!rfCommControl_) return;
    rfCommControl_->disconnect();
    sensorStatus_ = 0;
}

void VRAXSensor::clearSensorData() {
    if (rfCommControl_) {
        rfCommControl_->clearStream();
        rfCommControl_->clearFlags();
    }
    sensorData.clearSensorData();
    timeOffset_ = 0;
}

bool VRAXSensor::saveToFileByText(const std::string& path, int32_t limitLines, int32_t lineFeedCode,
                                  int32_t interval, int64_t timeOffset, uint64_t startTimeMS,
                                  uint64_t endTimeMS, uint64_t dataChopTimeMS) {
    return sensorData.saveToFileByText(path, this, limitLines, lineFeedCode, interval, timeOffset,
                                       startTimeMS, endTimeMS, dataChopTimeMS) &
           0xFF;
}

uint64_t VRAXSensor::getPassedMSTimeFirstSample() const {
    return sensorData.getPassedMSTimeFirstSample() + uint64_t(timeOffset_);
}

uint64_t VRAXSensor::getPassedMSTimeLastSample() const {
    return sensorData.getPassedMSTimeLastSample() + uint64_t(timeOffset_);
}

bool VRAXSensor::scanDrawIndexFrom(uint64_t& from, uint64_t& last, uint64_t windowTime,
                                   uint64_t endTimeMs, uint64_t searchAfterIndexOf) const {
    last = 0;
    from = 0;
    if (sensorData.count() < searchAfterIndexOf) return false;
    const uint64_t t = endTimeMs - uint64_t(timeOffset_);
    const uint64_t start = t < windowTime ? 0 : t - windowTime;
    if (!sensorData.getDataByTheMSTime(start, searchAfterIndexOf, from, false)) return false;
    return sensorData.getDataByTheMSTime(t, from, last, true);
}

SendResult VRAXSensor::sendBinCommand(const uint8_t* message, int length, int32_t& errCode) {
    uint8_t frame[32];
    if (length < 1 || length + 2 > int(sizeof frame)) return kBadArgument;
    const int n = buildSendPacket(message, length, frame);
    return rfCommControl_->sendBinCommand(frame, n, errCode);
}

SendResult VRAXSensor::sendCommand(std::initializer_list<uint8_t> bytes, int32_t& err,
                                   bool clearFlags) {
    if (clearFlags) rfCommControl_->clearFlags();
    return sendBinCommand(bytes.begin(), int(bytes.size()), err);
}

// --- measurement control and settings -------------------------------------

SendResult VRAXSensor::sendSensStartCommand(int32_t& err) {
    return sendCommand({commandCode("sens"), 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x01, 0x01, 0x00, 0x00, 0x00},
                       err);
}

SendResult VRAXSensor::sendSensStartCommand(int32_t year, int32_t mont, int32_t day, int32_t hour,
                                            int32_t min, int32_t sec, int32_t& result) {
    return sendCommand(
        {commandCode("sens"), 0x01, uint8_t(year - 2000), uint8_t(mont), uint8_t(day),
         uint8_t(hour), uint8_t(min), uint8_t(sec), 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00},
        result);
}

SendResult VRAXSensor::sendCalibGEOCommand(int32_t& err) {
    return sendCommand({commandCode("geocalib"), 0x00}, err);
}

SendResult VRAXSensor::sendStopAllCommand(int32_t& err) {
    return sendCommand({commandCode("stop"), 0x00}, err);
}

SendResult VRAXSensor::sendGetSensorInfoCommand(int32_t& err) {
    return sendCommand({commandCode("devinfo"), 0x00}, err);
}

SendResult VRAXSensor::sendBatteryStatusCommand(int32_t& err) {
    return sendCommand({commandCode("getbattstatus"), 0x00}, err);
}

SendResult VRAXSensor::sendSetDateTimeCommand(int32_t& err, int32_t year, int32_t month,
                                              int32_t day, int32_t hour, int32_t min, int32_t sec,
                                              int32_t msec) {
    return sendCommand(
        {commandCode("setd"), uint8_t(year - 2000), uint8_t(month), uint8_t(day), uint8_t(hour),
         uint8_t(min), uint8_t(sec), uint8_t(msec & 0xFF), uint8_t(msec / 256)},
        err);
}

SendResult VRAXSensor::sendMemoryClearCommand(int32_t& err) {
    return sendCommand({commandCode("clearmem"), 0x00}, err);
}

SendResult VRAXSensor::sendSetMemOverwriteModeCommand(uint8_t mode, int32_t& err) {
    return sendCommand({commandCode("setoverwritemode"), uint8_t(mode == 0 ? 0x01 : 0x00)}, err);
}

SendResult VRAXSensor::sendSetAccRangeCommand(int32_t range, int32_t& err) {
    if (range < 0 || range > 3) return kBadArgument;
    return sendCommand({commandCode("setaccrange"), uint8_t(range)}, err);
}

SendResult VRAXSensor::sendSetGyrRangeCommand(int32_t range, int32_t& err) {
    if (range < 0 || range > 3) return kBadArgument;
    return sendCommand({commandCode("setgyrrange"), uint8_t(range)}, err);
}

SendResult VRAXSensor::sendSetExtPortConfigCommand(const int32_t* ports, int32_t& err) {
    if (!ports) return kBadArgument;
    auto map = [](int32_t v) -> uint8_t {
        switch (v) {
            case 1:
                return 0x01;
            case 2:
                return 0x08;
            case 3:
                return 0x09;
            case 4:
            case 5:
                return 0x0A;
            default:
                return 0x00;
        }
    };
    return sendCommand(
        {commandCode("setextconf"), map(ports[0]), map(ports[1]), map(ports[2]), map(ports[3])},
        err);
}

SendResult VRAXSensor::sendSetBuzzerVolumeCommand(int32_t volume, int32_t& err) {
    return sendCommand({commandCode("setbuzvol"), uint8_t(volume)}, err);
}

SendResult VRAXSensor::sendSetOptBtnDisableCommand(int32_t& err) {
    return sendCommand({commandCode("setbtnmode"), 0x00}, err);
}

SendResult VRAXSensor::sendMeasurementSetting(const char* command, uint8_t enable, uint8_t rate,
                                              uint8_t average, bool saveMem, int trailingZeros,
                                              int32_t& err) {
    std::vector<uint8_t> m = {commandCode(command), 0, 0, 0};
    if (enable) {
        m[1] = rate;
        m[2] = average;
        m[3] = saveMem ? average : 0;
    }
    m.resize(m.size() + size_t(trailingZeros), 0);
    rfCommControl_->clearFlags();
    return sendBinCommand(m.data(), int(m.size()), err);
}

SendResult VRAXSensor::sendSetAgsCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                         bool saveMem, int32_t& err) {
    return sendMeasurementSetting("setags", enable, samplingRate, aveRage, saveMem, 0, err);
}

SendResult VRAXSensor::sendSetQagsCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                          bool saveMem, int32_t& err) {
    return sendMeasurementSetting("setqags", enable, samplingRate, aveRage, saveMem, 0, err);
}

SendResult VRAXSensor::sendSetGeoCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                         bool saveMem, int32_t& err) {
    return sendMeasurementSetting("setgeo", enable, samplingRate, aveRage, saveMem, 0, err);
}

SendResult VRAXSensor::sendSetPressCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                           bool saveMem, int32_t& err) {
    return sendMeasurementSetting("setpres", enable, samplingRate, aveRage, saveMem, 0, err);
}

SendResult VRAXSensor::sendSetBattCommand(uint8_t enable, bool saveMem, int32_t& err) {
    return sendCommand(
        {commandCode("setbatt"), uint8_t(enable ? 0x01 : 0x00), uint8_t(enable && saveMem)}, err);
}

SendResult VRAXSensor::sendSetExtCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                         bool saveMem, int32_t& err) {
    return sendMeasurementSetting("setext", enable, samplingRate, aveRage, saveMem, 2, err);
}

SendResult VRAXSensor::sendSetExt16ADCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                             bool saveMem, int32_t port1Gain, int32_t port2Gain,
                                             int32_t port3Gain, int32_t port4Gain, int32_t& err) {
    if (!enable) return sendCommand({commandCode("setext16"), 0, 0, 0, 0, 0, 0, 0}, err);
    return sendCommand(
        {commandCode("setext16"), samplingRate, aveRage, uint8_t(saveMem ? aveRage : 0),
         uint8_t(port1Gain), uint8_t(port2Gain), uint8_t(port3Gain), uint8_t(port4Gain)},
        err);
}

SendResult VRAXSensor::sendSetI2CDisableCommand(int32_t& err) {
    return sendCommand({commandCode("seti2c"), 0x00, 0x00, 0x00}, err);
}

SendResult VRAXSensor::sendBeep1Command(int32_t& err) {
    return sendCommand({commandCode("buzzer"), 0x01}, err, /*clearFlags=*/false);
}

SendResult VRAXSensor::sendGetDateTimeCommand(int32_t& err) {
    return sendCommand({commandCode("getd"), 0x00}, err);
}

SendResult VRAXSensor::sendGetAccRangeCommand(int32_t& err) {
    return sendCommand({commandCode("getaccrange"), 0x00}, err);
}

SendResult VRAXSensor::sendGetGyrRangeCommand(int32_t& err) {
    return sendCommand({commandCode("getgyrrange"), 0x00}, err);
}

void VRAXSensor::setSensorDateTime(const uint8_t* payload) {
    std::copy(payload, payload + dateTime_.size(), dateTime_.begin());
    ++dateTimeAnswers_;
    if (dateTimeArrived) dateTimeArrived();
}

// --- memory entries -----------------------------------------------------------

bool VRAXSensor::sendMemEntryCount(int32_t& err) {
    return sendCommand({commandCode("memcount"), 0x00}, err) == kSent;
}

void VRAXSensor::getMemEntryCount(uint32_t& count) const {
    count = responseData_[0];
}

bool VRAXSensor::sendMemFreeSize(int32_t& err) {
    return sendCommand({commandCode("getmemfreesize"), 0x00}, err) == kSent;
}

void VRAXSensor::getMemFreeSize(uint32_t& freeEntries, uint32_t& freeRecord) const {
    freeEntries = responseData_[0];
    freeRecord = uint32_t(conv3Byte2Int(responseData_.data() + 1));
}

bool VRAXSensor::getMemEntry(int32_t entry, int32_t& startYear, int32_t& startMonth,
                             int32_t& startDay, int32_t& startHour, int32_t& startMin,
                             int32_t& startSec, int32_t& startMs, int32_t& recordSize,
                             int32_t& err) {
    if (sendCommand({commandCode("getmementry"), uint8_t(entry)}, err) != kSent) return false;
    if (!waitResult(5.0f)) return false;
    const uint8_t* r = responseData_.data();
    startYear = r[0] + 2000;
    startMonth = r[1];
    startDay = r[2];
    startHour = r[3];
    startMin = r[4];
    startSec = r[5];
    startMs = bin2Short(r + 6);
    recordSize = conv3Byte2Int(r + 8);
    return true;
}

bool VRAXSensor::waitOK(float seconds, bool checkNG) {
    if (!rfCommControl_ || !(seconds > 0)) return false;
    RFCommControl* link = rfCommControl_.get();
    return eventwait::runUntil(
               [link, checkNG] {
                   return link->okFlag() || (checkNG && link->ngFlag()) || link->channelClosed();
               },
               seconds) &&
           link->okFlag();
}

bool VRAXSensor::getMemEntryInfo2(int32_t entry, int32_t& err) {
    return sendCommand({commandCode("getmementryinfo2"), uint8_t(entry)}, err) == kSent;
}

bool VRAXSensor::readMemData(int32_t entry, int32_t& err) {
    const uint8_t m[] = {commandCode("readmemdata"), uint8_t(entry)};
    if (sendBinCommand(m, 2, err) != kSent) {
        eventwait::runFor(0.5);
        if (sendBinCommand(m, 2, err) != kSent) return false;
    }
    rfCommControl_->setMemDataReadCompleat(false);
    return true;
}

bool VRAXSensor::memDataReadCompleat() const {
    return rfCommControl_ && rfCommControl_->memDataReadCompleat();
}

bool VRAXSensor::clearAllMemEntry(int32_t& err) {
    // Flags are cleared first, so that only the sensor's own answer to the
    // erase can satisfy the wait that follows.
    if (sendCommand({commandCode("clearmem"), 0x00}, err) != kSent) return false;
    rfCommControl_->setMemDataReadCompleat(false);
    return true;
}
