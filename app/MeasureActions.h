// The Measure panel's one-shot actions on the window's selected sensor:
// set the clock, identify, calibrate the compass, start a recording, stop
// measuring. Each is one session under the window's guard; a failure is
// told the window's way, a success in the panel's status line.
#pragma once

#include <QString>
#include <functional>

#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"

class ActionHost;

class MeasureActions {
  public:
    using Status = std::function<void(const QString& text)>;
    MeasureActions(ActionHost* host, Status status);

    void setClock();
    void identify();
    // Asks first: once started, the sensor is to be turned slowly every way.
    void calibrateCompass(const QString& sensor);
    // `when`: the text of a dated start (empty: now).
    void startRecording(const measure::Config& config, const session::RecordingStart& start,
                        const QString& when);
    void stopMeasuring();

  private:
    // Runs `work` on a fresh session of the selected sensor; `onSuccess` after it went well.
    void run(const std::function<session::Outcome(session::SensorSession&)>& work,
             const std::function<void()>& onSuccess);

    ActionHost* host;
    Status status;
};
