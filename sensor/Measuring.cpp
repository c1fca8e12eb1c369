// The measuring actions of a session: clock, beep, compass calibration,
// settings, start and stop, and the live session.
#include "sensor/SensorSession.h"

namespace session {

ClockTime localClockNow() {
    return {};
}

bool parseClockTime(const std::string&, ClockTime&) {
    return false;
}

Outcome SensorSession::setClock(const ClockTime&) {
    return Outcome{Result::notSent, Step::clock, 0, {}, "clock"};
}
Outcome SensorSession::identify() {
    return Outcome{Result::notSent, Step::identify, 0, {}, {}};
}
Outcome SensorSession::calibrateCompass() {
    return Outcome{Result::notSent, Step::calibrate, 0, {}, {}};
}
Outcome SensorSession::startRecording(const measure::Config&, const RecordingStart&) {
    return Outcome{Result::notSent, Step::start, 0, {}, "start"};
}
Outcome SensorSession::stopMeasuring() {
    return Outcome{Result::notSent, Step::stopMeasure, 0, {}, "stop"};
}
Outcome SensorSession::runLive(const measure::Config&, const LiveRequest&, const LiveHooks&,
                               LiveReport&) {
    return Outcome{Result::notSent, Step::live, 0, {}, {}};
}
Outcome SensorSession::applySettings(const measure::Config&) {
    return Outcome{Result::notSent, Step::setting, 0, {}, {}};
}

}  // namespace session
