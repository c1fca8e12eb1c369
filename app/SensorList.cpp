#include "app/SensorList.h"

#include <QComboBox>
#include <QLabel>

#include "app/ActionRunner.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "link/BtUtilClass.h"

SensorList::SensorList(QComboBox* popUp, QLabel* line, const ActionRunner* runner, QObject* parent)
    : QObject(parent), popUp(popUp), line(line), runner(runner) {
    // The line keeps its height while empty, so the window does not jump.
    line->setMinimumHeight(line->fontMetrics().height());
}

SensorList::~SensorList() {
    if (listenedPlatform && &BluetoothPlatform::current() == listenedPlatform)
        listenedPlatform->setChangeListener(nullptr);
}

void SensorList::listenToPlatform(std::function<void()> changed) {
    listenedPlatform = &BluetoothPlatform::current();
    listenedPlatform->setChangeListener(std::move(changed));
}

void SensorList::setUpSensorList() {
    pairdSensorPoolArray.clear();
    bluetoothState = BluetoothPlatform::current().state();
    const int n = BtUtilClass::getPairdVRAXSensors();
    pairedListAvailable = n >= 0;
    for (int i = 0; i < n; ++i) {
        std::string name, address;
        if (!BtUtilClass::getSensorDeviceInfoByIndex(i, name, address)) continue;
        pairdSensorPoolArray << QString::fromStdString(name) << QString::fromStdString(address);
    }
}

void SensorList::setUpSensorListPopUpButton() {
    popUp->clear();
    if (pairdSensorPoolArray.isEmpty()) {
        popUp->addItem(kNoSensor);
        return;
    }
    for (int i = 0; i < int(pairdSensorPoolArray.size() / 2); ++i) {
        QString name, address;
        getSensorDataByIndex(i, name, address);
        popUp->addItem(name);
    }
    popUp->setCurrentIndex(0);
}

bool SensorList::reload() {
    QString keptName, keptAddress;
    getSensorDataByIndex(popUp->currentIndex(), keptName, keptAddress);
    setUpSensorList();
    setUpSensorListPopUpButton();
    int index = -1;
    if (!keptAddress.isEmpty()) getSensorDataByAddr(keptAddress, keptName, index);
    if (index < 0) return false;
    popUp->setCurrentIndex(index);
    return true;
}

QString SensorList::selectedTitle() const {
    return popUp->currentText();
}

QString SensorList::addressOf(const QString& name) const {
    QString address;
    int index = -1;
    getSensorDataByName(name, address, index);
    return address;
}

void SensorList::getSensorDataByIndex(int index, QString& name, QString& address) const {
    name.clear();
    address.clear();
    if (index < 0 || index >= int(pairdSensorPoolArray.size() / 2)) return;
    name = pairdSensorPoolArray[2 * index];
    address = pairdSensorPoolArray[2 * index + 1];
}

void SensorList::getSensorDataByName(const QString& name, QString& addr, int& index) const {
    addr.clear();
    index = -1;
    for (int i = 0; i + 1 < int(pairdSensorPoolArray.size()); i += 2) {
        if (pairdSensorPoolArray[i] != name) continue;
        index = i / 2;
        QString ignored;
        getSensorDataByIndex(index, ignored, addr);
        return;
    }
}

void SensorList::getSensorDataByAddr(const QString& address, QString& name, int& index) const {
    name.clear();
    index = -1;
    for (int i = 1; i < int(pairdSensorPoolArray.size()); i += 2) {
        if (pairdSensorPoolArray[i] != address) continue;
        index = i / 2;
        QString ignored;
        getSensorDataByIndex(index, name, ignored);
        return;
    }
}

bool SensorList::bluetoothUsable() {
    bluetoothState = BluetoothPlatform::current().state();
    updateSensorLine();
    if (bluetoothState == BluetoothState::ready) return true;
    MyTools::dispMessageOK(msg::cannotConnect(bluetoothState), msg::warning());
    return false;
}

void SensorList::tellBluetoothOff() {
    bluetoothState = BluetoothPlatform::current().state();
    updateSensorLine();
    MyTools::dispMessageOK(msg::cannotConnect(bluetoothState), msg::warning());
}

void SensorList::setNote(const QString& note) {
    sensorNote = note;
    updateSensorLine();
}

void SensorList::updateSensorLine() {
    QString text;
    if (runner->connecting())
        text = msg::connecting(runner->connectingName());
    else if (bluetoothState != BluetoothState::ready)
        text = msg::bluetoothState(bluetoothState);
    else if (!pairedListAvailable)
        text = msg::bluetoothState(BluetoothState::noBlueZ);
    else if (!sensorNote.isEmpty())
        text = sensorNote;
    else if (pairdSensorPoolArray.isEmpty())
        text = msg::noPairedSensor();
    line->setText(text);
}
