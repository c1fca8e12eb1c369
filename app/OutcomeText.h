// What the window tells the user about an action that failed: by the step
// that failed and why, and for a download also how much arrived and where.
#pragma once

#include <QString>

#include "sensor/SensorSession.h"

struct OutcomeMessage {
    enum class Kind {
        none,          // it went well: nothing to say
        cancelled,     // asked for by the user: `text` (maybe empty) goes on the sensor line
        bluetoothOff,  // the adapter is off or gone: the caller says so from its state
        error,         // `text` in an error message
    };
    Kind kind = Kind::none;
    QString text;
};

OutcomeMessage outcomeMessage(const session::Outcome& outcome, const QString& name);

// True when the sensor was never opened and stopped (no device information).
bool failedOpening(const session::Outcome& outcome);

// A download that did not end with its whole entry in the file: why, how
// many records arrived, and where they are.
QString downloadFailureText(const QString& name, const session::Outcome& outcome,
                            const session::DownloadReport& report);
