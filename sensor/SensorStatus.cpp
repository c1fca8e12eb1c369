// A look at a sensor for the overview of several sensors: one connection
// that reads what a user checks before a session (battery, free memory,
// clock) and changes nothing but the stopped measurement every connect makes.
#include "sensor/SensorSession.h"

namespace session {

Outcome SensorSession::readStatus(SensorStatus& status) {
    if (running_) return Outcome::busy(Step::connect);
    Outcome o = openSensorAndStop();
    if (!o.ok()) return o;
    status.firmVersion = vraxSensor->firmVersion();
    float volts = 0;
    if (readBattery(volts).ok()) status.batteryVoltage = volts;
    vraxSensor->clearSensorData();
    o = getMemStatus(status.memory);
    if (o.ok()) o = probeClock(status.clock);
    simpleDisconnectSensor();
    return o;
}

}  // namespace session
