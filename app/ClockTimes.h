// A date and time of the window's editors as the sensor clock's time.
#pragma once

#include <QDateTime>

#include "sensor/SensorSession.h"

// The whole seconds of `t` (milliseconds dropped).
session::ClockTime clockTimeOf(const QDateTime& t);
