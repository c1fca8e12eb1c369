// The "Measurement Settings" group of the Measure panel: a row per kind
// (enabled, rate, average, record), the ranges, external ports, 16-bit AD
// gains, buzzer volume and overwrite mode, each the sensor's own setting
// value, read as a measure::Config and set from one.
#pragma once

#include <QGroupBox>
#include <array>

#include "sensor/MeasureConfig.h"

class QCheckBox;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

class MeasureSettingsForm : public QGroupBox {
    Q_OBJECT
  public:
    explicit MeasureSettingsForm(QWidget* parent);

    measure::Config config() const;
    void setConfig(const measure::Config& config);

    // Open… and Save… of a configuration file.
    QPushButton* openButton() const { return openFile; }
    QPushButton* saveButton() const { return saveFile; }

  private:
    struct KindRow {
        QCheckBox* enabled;
        QSpinBox* rate;
        QSpinBox* average;
        QCheckBox* record;
    };
    void addKindRows(QVBoxLayout* column);
    void addDeviceSettings(QVBoxLayout* column);

    std::array<KindRow, measure::kKindCount> kindRows{};
    QSpinBox* accRange = nullptr;
    QSpinBox* gyroRange = nullptr;
    QCheckBox* extPortsSet = nullptr;
    std::array<QSpinBox*, 4> extPorts{};
    std::array<QSpinBox*, 4> ad16Gains{};
    QSpinBox* buzzerVolume = nullptr;
    QSpinBox* overwriteMode = nullptr;
    QPushButton* openFile = nullptr;
    QPushButton* saveFile = nullptr;
};
