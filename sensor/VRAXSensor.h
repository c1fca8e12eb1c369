// One sensor as an object: its state, its link and sample store, a sender
// for each command, and the memory-entry operations. Senders never wait;
// callers wait for the link's flags (waitResult or the session's waits).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/RFCommControl.h"
#include "protocol/SensorEvents.h"
#include "store/VRAXSensorData.h"

class VRAXSensor : public SensorEvents {
  public:
    static constexpr int kResponseSize = 1024;

    VRAXSensor();
    ~VRAXSensor() override;
    VRAXSensor(const VRAXSensor&) = delete;
    VRAXSensor& operator=(const VRAXSensor&) = delete;

    // Accessors.
    const std::string& name() const { return name_; }
    void setName(const std::string& v) { name_ = v; }
    const std::string& address() const { return address_; }
    void setAddress(const std::string& v) { address_ = v; }
    const std::optional<std::string>& title() const { return title_; }
    void setTitle(const std::string& v) { title_ = v; }
    int32_t sensorType() const { return sensorType_; }
    void setSensorType(int32_t v) { sensorType_ = v; }
    const std::string& firmVersion() const { return firmVersion_; }
    float batteryVoltage() const { return batteryVoltage_; }
    uint32_t batteryCheckInterval() const { return batteryCheckInterval_; }
    int32_t accRangeIndex() const { return accRangeIndex_; }
    void setAccRangeIndex(int32_t v) { accRangeIndex_ = v; }
    int32_t sensorStatus() const { return sensorStatus_; }
    int64_t timeOffset() const { return timeOffset_; }
    void setTimeOffset(int64_t v) { timeOffset_ = v; }
    RFCommControl* rfCommControl() const { return rfCommControl_.get(); }
    void setRfCommControl(std::unique_ptr<RFCommControl> link) { rfCommControl_ = std::move(link); }
    VRAXSensorData& getSensorDataObject() { return sensorData; }
    const uint8_t* responseData() const { return responseData_.data(); }

    // Offsets and gains; out-of-range kinds, axes and ports are ignored.
    bool setValueOffset(int32_t value, int32_t sensor, int32_t axis);
    int32_t valueOffset(int32_t kind, int32_t axis) const;
    int32_t getAd16Gain(int port) override;
    // How many gains the sensor has given so far (four per entry answer).
    uint64_t ad16GainAnswers() const { return ad16GainAnswers_; }

    // What the receive parser and decoders deliver.
    void setFirmVersion(const std::string& version) override { firmVersion_ = version; }
    void setMEmEntryData(const uint8_t* frame, int resLength) override;
    void setBatteryVoltage(float volts) override { batteryVoltage_ = volts; }
    void setAd16Gain(int gain, int Port) override;
    void appendSensorData(uint64_t time, SensorDataType dataType, const int32_t* data) override {
        sensorData.appendSensorData(time, dataType, data);
    }
    void setSensorStatus(int status) override { sensorStatus_ = status; }
    void setSensorDateTime(const uint8_t* payload) override;
    void setAccRange(int range) override { accRangeRead_ = range; }
    void setGyrRange(int range) override { gyrRangeRead_ = range; }

    // Connection.
    ConnectResult connect(int32_t& err);
    void disconnect();
    void clearSensorData();
    // True once the channel was closed under the link (sensor off, out of range).
    bool channelClosed() const { return rfCommControl_ && rfCommControl_->channelClosed(); }

    // Store forwarding.
    bool saveToFileByCSV(const std::string& path, int32_t limitLines, int32_t lineFeedCode) {
        return sensorData.saveToFileByCSV(path, limitLines, lineFeedCode);
    }
    bool saveToFileByText(const std::string& path, int32_t limitLines, int32_t lineFeedCode,
                          int32_t interval, int64_t timeOffset, uint64_t startTimeMS,
                          uint64_t endTimeMS, uint64_t dataChopTimeMS);
    void setCurDate(int32_t year, int32_t month, int32_t day) {
        sensorData.setCurDate(year, month, day);
    }
    void clearSaveFilename() { sensorData.clearSaveFilename(); }
    void setSaveFilename(const std::string& path) { sensorData.setSaveFilename(path); }
    void setSaveFilenameOnly(const std::string& path) { sensorData.setSaveFilenameOnly(path); }
    std::optional<std::string> filename() const { return sensorData.filename(); }
    void clearSaveFlag() { sensorData.clearSaveFlag(); }
    void setSaveFlag() { sensorData.setSaveFlag(); }
    bool flashWriteBuffer() { return sensorData.flashWriteBuffer(); }
    std::string getAXISString() const { return sensorData.getAXISString(); }
    void setWriteAD16FilterdData(uint8_t value) { sensorData.setWriteAD16FilterdData(value != 0); }
    uint64_t getPassedMSTimeFirstSample() const;
    uint64_t getPassedMSTimeLastSample() const;
    bool scanDrawIndexFrom(uint64_t& from, uint64_t& last, uint64_t windowTime, uint64_t endTimeMs,
                           uint64_t searchAfterIndexOf) const;
    bool saveToFileByBin(const std::string& path) { return sensorData.saveToFileByBin(path); }
    bool loadFromFileByBin(const std::string& path) { return sensorData.loadFromFileByBin(path); }
    bool loadFromFileByCSV(const std::string& path) { return sensorData.loadFromFileByCSV(path); }

    // Frames a message (code and parameters) and writes it through the link.
    SendResult sendBinCommand(const uint8_t* message, int length, int32_t& errCode);

    // Measurement control and settings.
    SendResult sendSensStartCommand(int32_t& err);
    SendResult sendSensStartCommand(int32_t year, int32_t mont, int32_t day, int32_t hour,
                                    int32_t min, int32_t sec, int32_t& result);
    SendResult sendCalibGEOCommand(int32_t& err);
    SendResult sendStopAllCommand(int32_t& err);
    SendResult sendGetSensorInfoCommand(int32_t& err);
    SendResult sendBatteryStatusCommand(int32_t& err);
    SendResult sendSetDateTimeCommand(int32_t& err, int32_t year, int32_t month, int32_t day,
                                      int32_t hour, int32_t min, int32_t sec, int32_t msec);
    SendResult sendMemoryClearCommand(int32_t& err);
    SendResult sendSetMemOverwriteModeCommand(uint8_t mode, int32_t& err);
    SendResult sendSetAccRangeCommand(int32_t range, int32_t& err);
    SendResult sendSetGyrRangeCommand(int32_t range, int32_t& err);
    SendResult sendSetExtPortConfigCommand(const int32_t* ports, int32_t& err);
    SendResult sendSetBuzzerVolumeCommand(int32_t volume, int32_t& err);
    SendResult sendSetOptBtnDisableCommand(int32_t& err);
    SendResult sendSetAgsCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                 bool saveMem, int32_t& err);
    SendResult sendSetQagsCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                  bool saveMem, int32_t& err);
    SendResult sendSetGeoCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                 bool saveMem, int32_t& err);
    SendResult sendSetPressCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                   bool saveMem, int32_t& err);
    SendResult sendSetBattCommand(uint8_t enable, bool saveMem, int32_t& err);
    SendResult sendSetExtCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                 bool saveMem, int32_t& err);
    SendResult sendSetExt16ADCommand(uint8_t enable, uint8_t samplingRate, uint8_t aveRage,
                                     bool saveMem, int32_t port1Gain, int32_t port2Gain,
                                     int32_t port3Gain, int32_t port4Gain, int32_t& err);
    SendResult sendSetI2CDisableCommand(int32_t& err);
    SendResult sendBeep1Command(int32_t& err);
    // Asks for the sensor's date and time (getd); the answer raises the OK
    // flag and lands in sensorDateTime().
    SendResult sendGetDateTimeCommand(int32_t& err);
    // Ask for the range settings (getaccrange, getgyrrange); each answer
    // raises the OK flag and lands in accRangeRead() / gyrRangeRead().
    SendResult sendGetAccRangeCommand(int32_t& err);
    SendResult sendGetGyrRangeCommand(int32_t& err);
    // The last range answers; none until one came.
    std::optional<int> accRangeRead() const { return accRangeRead_; }
    std::optional<int> gyrRangeRead() const { return gyrRangeRead_; }
    // The last date and time answer, as its 8 bytes, and how many came so far.
    const std::array<uint8_t, 8>& sensorDateTime() const { return dateTime_; }
    uint64_t dateTimeAnswers() const { return dateTimeAnswers_; }
    // Called as each date and time answer arrives (the probe notes the host time there).
    std::function<void()> dateTimeArrived;

    // Memory entries.
    bool sendMemEntryCount(int32_t& err);
    void getMemEntryCount(uint32_t& count) const;
    bool sendMemFreeSize(int32_t& err);
    void getMemFreeSize(uint32_t& freeEntries, uint32_t& freeRecord) const;
    bool getMemEntry(int32_t entry, int32_t& startYear, int32_t& startMonth, int32_t& startDay,
                     int32_t& startHour, int32_t& startMin, int32_t& startSec, int32_t& startMs,
                     int32_t& recordSize, int32_t& err);
    // Runs the event loop in 0.01 s slices until the OK flag is up (true) or
    // `seconds` worth of slices have passed; ends at once if the channel
    // closed or, with checkNG, when the sensor answered NG.
    bool waitOK(float seconds, bool checkNG);
    bool waitResult(float seconds) { return waitOK(seconds, false); }
    bool getMemEntryInfo2(int32_t entry, int32_t& err);
    bool readMemData(int32_t entry, int32_t& err);
    bool memDataReadCompleat() const;
    bool clearAllMemEntry(int32_t& err);

  private:
    // Clears the flags (unless told not to) and sends a command's bytes.
    SendResult sendCommand(std::initializer_list<uint8_t> bytes, int32_t& err,
                           bool clearFlags = true);
    SendResult sendMeasurementSetting(const char* command, uint8_t enable, uint8_t rate,
                                      uint8_t average, bool saveMem, int trailingZeros,
                                      int32_t& err);

    std::string name_;
    std::string address_;
    std::optional<std::string> title_;
    int32_t sensorType_ = 1;
    std::string firmVersion_;
    float batteryVoltage_ = 0.0f;
    uint32_t batteryCheckInterval_ = 5000;
    int32_t accRangeIndex_ = 2;
    int64_t timeOffset_ = 0;
    std::array<std::array<int32_t, 14>, 7> valueOffset_{};
    int32_t sensorStatus_ = 0;
    std::array<uint8_t, kResponseSize> responseData_{};
    std::array<int32_t, 4> ad16Gain{};
    std::array<uint8_t, 8> dateTime_{};
    uint64_t dateTimeAnswers_ = 0;
    uint64_t ad16GainAnswers_ = 0;
    std::optional<int> accRangeRead_;
    std::optional<int> gyrRangeRead_;
    VRAXSensorData sensorData;
    std::unique_ptr<RFCommControl> rfCommControl_;
};
