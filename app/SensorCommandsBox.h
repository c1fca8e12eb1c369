// The "Sensor" group of the Measure panel: Set Clock, Identify, Calibrate
// Compass…, and Start Recording now or at a chosen time, the clock set
// first or not.
#pragma once

#include <QGroupBox>
#include <optional>

#include "sensor/SensorSession.h"

class QCheckBox;
class QDateTimeEdit;
class QPushButton;
class QRadioButton;

class SensorCommandsBox : public QGroupBox {
    Q_OBJECT
  public:
    explicit SensorCommandsBox(QWidget* parent);

    QPushButton* clockButton() const { return clock; }
    QPushButton* identifyButton() const { return identify; }
    QPushButton* calibrateButton() const { return calibrate; }
    QPushButton* startButton() const { return start; }
    bool setClockFirst() const;
    // The start chosen: now, or at the time set (`when` its text); none
    // after telling the user that the time has passed.
    std::optional<session::RecordingStart> chosenStart(QString& when) const;

  private:
    QPushButton* clock = nullptr;
    QPushButton* identify = nullptr;
    QPushButton* calibrate = nullptr;
    QRadioButton* startNow = nullptr;
    QRadioButton* startAt = nullptr;
    QDateTimeEdit* startTime = nullptr;
    QCheckBox* clockFirst = nullptr;
    QPushButton* start = nullptr;
};
