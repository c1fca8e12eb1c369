#include "app/OutcomeText.h"

#include "app/Messages.h"
#include "app/StdText.h"
#include "link/platform/BluetoothPlatform.h"

namespace {

QString failedStepText(const session::Outcome& o, const QString& name) {
    using session::Result;
    using session::Step;
    if (o.result == Result::connectFailed)
        return o.platformStatus == PlatformStatus::exclusiveAccess ? msg::sensorInUse(name)
                                                                   : msg::connectFailed(name);
    switch (o.step) {
        case Step::stop:
            return msg::setupFailed(name);
        case Step::deviceInfo:
            return msg::firmwareCheckFailed(name);
        case Step::erase:
            return msg::eraseFailed(name);
        case Step::folder:
            return msg::folderFailed(qs(o.path));
        case Step::file:
            return msg::fileFailed(qs(o.path));
        case Step::setting:
        case Step::clock:
        case Step::identify:
        case Step::calibrate:
        case Step::start:
        case Step::stopMeasure:
        case Step::live:
            // A refused configuration comes with the message naming its value.
            return o.result == Result::badSetting
                       ? msg::configInvalid(qs(o.setting))
                       : msg::measureStepFailed(name, msg::measureStepName(o), o.result);
        default:  // memory status, entry list, battery, download
            return msg::dataReadFailed(name);
    }
}

}  // namespace

OutcomeMessage outcomeMessage(const session::Outcome& o, const QString& name) {
    using session::Result;
    using Kind = OutcomeMessage::Kind;
    if (o.ok()) return {};
    if (o.result == Result::cancelled)
        return {Kind::cancelled,
                o.step == session::Step::connect ? msg::connectCancelled(name) : QString()};
    if (o.result == Result::connectFailed && o.platformStatus == PlatformStatus::bluetoothOff)
        return {Kind::bluetoothOff, {}};
    return {Kind::error, failedStepText(o, name)};
}

bool failedOpening(const session::Outcome& o) {
    using session::Step;
    return !o.ok() &&
           (o.step == Step::connect || o.step == Step::stop || o.step == Step::deviceInfo);
}

QString downloadFailureText(const QString& name, const session::Outcome& o,
                            const session::DownloadReport& r) {
    // A file error as the result: the transfer itself ended well.
    QString text = o.result == session::Result::fileError
                       ? msg::receivedButNotSaved(name)
                       : msg::endedEarly(name, msg::incompleteReason(o.result));
    text += r.expected > 0 ? msg::receivedOf(r.records, r.expected) : msg::received(r.records);
    if (!r.fileError.empty()) text += msg::writeOrRenameFailed(qs(r.fileError));
    // Every record written and only the final move failed: the file holds the whole entry.
    const bool wholeEntry = o.result == session::Result::fileError && r.fileComplete;
    if (r.filePath.empty())
        text += msg::noFileKept();
    else if (!r.fileComplete)
        text += msg::fileIncomplete(qs(r.filePath));
    else if (wholeEntry)
        text += msg::wholeEntryKeptIn(qs(r.filePath));
    else
        text += msg::partKeptIn(qs(r.filePath));
    return text;
}
