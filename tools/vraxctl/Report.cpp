#include "tools/vraxctl/Report.h"

#include <cstring>

#include "store/FileIO.h"
#include "tools/vraxctl/Cli.h"

namespace cli {
namespace {

using session::Outcome;
using session::Result;
using session::Step;

const char* stepText(Step step) {
    switch (step) {
        case Step::connect:
            return "connecting";
        case Step::stop:
            return "the stop command";
        case Step::deviceInfo:
            return "reading the device information";
        case Step::memoryStatus:
            return "reading the memory status";
        case Step::entryList:
            return "reading the entry list";
        case Step::folder:
            return "making the day folder";
        case Step::file:
            return "creating the file";
        case Step::download:
            return "the download";
        case Step::erase:
            return "erasing the memory";
        case Step::battery:
            return "reading the battery status";
        case Step::setting:
            return "a measurement setting";
        case Step::clock:
            return "setting the clock";
        case Step::clockProbe:
            return "reading the clock";
        case Step::identify:
            return "the beep";
        case Step::calibrate:
            return "the compass calibration";
        case Step::start:
            return "the start command";
        case Step::stopMeasure:
            return "stopping the measurement";
        case Step::live:
            return "the live session";
    }
    return "the sequence";
}

std::string connectReason(int32_t status) {
    if (status == PlatformStatus::exclusiveAccess) return "it is in use by another program";
    if (status == PlatformStatus::bluetoothOff)
        return describe(BluetoothPlatform::current().state());
    if (status == PlatformStatus::noSerialPortService) return "it offers no serial port service";
    if (status < 0) return std::strerror(-status);
    return "status " + std::to_string(status);
}

// Where a live session's records are, or why no file was kept.
std::string keptText(const std::string& path) {
    if (path.empty()) return "no record arrived, so no file was kept";
    return "the records are in " + shown(path);
}

}  // namespace

const char* resultText(Result result) {
    switch (result) {
        case Result::done:
            return "done";
        case Result::timedOut:
            return "the sensor went silent";
        case Result::channelClosed:
            return "the connection was lost";
        case Result::cancelled:
            return "interrupted";
        case Result::missingRecords:
            return "records were missing";
        case Result::fileError:
            return "the file could not be written";
        default:
            return "failed";
    }
}

int report(const Outcome& o, const std::string& rawName) {
    const std::string name = shown(rawName);
    switch (o.result) {
        case Result::done:
            return Exit::ok;
        case Result::connectFailed:
            if (o.platformStatus == PlatformStatus::bluetoothOff)
                error(name + ": could not connect: " + connectReason(o.platformStatus));
            else
                error(name + ": could not connect (" + connectReason(o.platformStatus) +
                      "); is the sensor on and in range?");
            return Exit::connectFailed;
        case Result::refused:
            if (!o.setting.empty() && (o.step == Step::setting || o.step == Step::start)) {
                error(name + ": the sensor refused the setting \"" + o.setting + "\"");
                return Exit::noAnswer;
            }
            error(name + ": the sensor refused " + stepText(o.step));
            return Exit::noAnswer;
        case Result::badSetting:
            error(name + ": " + o.setting + "; nothing was sent");
            return Exit::usage;
        case Result::timedOut:
            if (o.step == Step::download) {
                error(name + ": the sensor went silent during the download");
                return Exit::incomplete;
            }
            if (!o.setting.empty() && (o.step == Step::setting || o.step == Step::start)) {
                error(name + ": the sensor did not answer the setting \"" + o.setting + "\"");
                return Exit::noAnswer;
            }
            if (o.step == Step::live) {
                error(name + ": the sensor went silent; " + keptText(o.path));
                return Exit::incomplete;
            }
            error(name + ": the sensor did not answer in time (" + stepText(o.step) + ")");
            return Exit::noAnswer;
        case Result::channelClosed:
            if (o.step == Step::live) {
                error(name + ": the connection was lost; " + keptText(o.path));
                return Exit::incomplete;
            }
            error(name + ": the connection was lost during " + stepText(o.step));
            return o.step == Step::download ? Exit::incomplete : Exit::connectFailed;
        case Result::notSent:
            error(name + ": a command could not be sent (" + stepText(o.step) + ")");
            return Exit::connectFailed;
        case Result::fileError:
            if (o.step == Step::download)
                error(name + ": the download could not be written completely");
            else if (o.step == Step::live)
                error(name + ": the file could not be written completely; " + keptText(o.path));
            else if (const std::string why = fileio::whyNoFolder(o.path); !why.empty())
                error(name + ": cannot create " + shown(o.path) + " (" + shown(why) + ")");
            else
                error(name + ": cannot create " + shown(o.path));
            return Exit::fileError;
        case Result::cancelled:
            error(name + (o.step == Step::connect ? ": interrupted while connecting"
                                                  : ": the download was interrupted"));
            return Exit::incomplete;
        case Result::busy:
            error(name + ": the sensor is busy with another sequence");
            return Exit::connectFailed;
        case Result::missingRecords:
            error(name + ": the sensor sent fewer records than the entry holds (frames were lost)");
            return Exit::incomplete;
    }
    return Exit::connectFailed;
}

}  // namespace cli
