// The sensors the window offers: the paired sensors of the supported models
// in the pop-up, looked up by position, name or address, and the line under
// the pop-up that says a connect waits, a connect was cancelled, or why no
// sensor can be listed or reached.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "link/platform/BluetoothPlatform.h"

class QComboBox;
class QLabel;
class ActionRunner;

class SensorList : public QObject {
    Q_OBJECT
  public:
    // The pop-up's text when no sensor is paired.
    static inline const QString kNoSensor = QStringLiteral("---");

    SensorList(QComboBox* popUp, QLabel* line, const ActionRunner* runner, QObject* parent);
    ~SensorList() override;

    // Calls `changed` when Bluetooth's paired list or state changes.
    void listenToPlatform(std::function<void()> changed);

    // Reads the paired list; fills the pop-up from it (the first one chosen).
    void setUpSensorList();
    void setUpSensorListPopUpButton();
    // Both afresh, the chosen sensor kept while it is still paired; false
    // when it is gone (or none was chosen).
    bool reload();

    QString selectedTitle() const;
    bool noneSelected() const { return selectedTitle() == kNoSensor; }
    QString addressOf(const QString& name) const;
    void getSensorDataByIndex(int index, QString& name, QString& address) const;
    void getSensorDataByName(const QString& name, QString& addr, int& index) const;
    void getSensorDataByAddr(const QString& address, QString& name, int& index) const;

    // True when Bluetooth can reach a sensor; otherwise says why.
    bool bluetoothUsable();
    // A connect failed because Bluetooth went off: the line and a message say so.
    void tellBluetoothOff();
    // A note on the line until the next action (a cancelled connect).
    void setNote(const QString& note);
    void updateSensorLine();

  private:
    QComboBox* popUp;
    QLabel* line;
    const ActionRunner* runner;
    QStringList pairdSensorPoolArray;  // name, address, name, address, ...
    BluetoothPlatform* listenedPlatform = nullptr;
    BluetoothState bluetoothState = BluetoothState::ready;
    bool pairedListAvailable = true;
    QString sensorNote;
};
