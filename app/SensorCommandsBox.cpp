#include "app/SensorCommandsBox.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/ClockTimes.h"
#include "app/Messages.h"
#include "app/MyTools.h"

SensorCommandsBox::SensorCommandsBox(QWidget* parent)
    : QGroupBox(QStringLiteral("Sensor"), parent) {
    auto* column = new QVBoxLayout(this);
    auto* commandRow = new QHBoxLayout;
    clock = new QPushButton(QStringLiteral("Set &Clock"), this);
    identify = new QPushButton(QStringLiteral("&Identify"), this);
    calibrate = new QPushButton(QStringLiteral("Calibrate Co&mpass…"), this);
    commandRow->addWidget(clock);
    commandRow->addWidget(identify);
    commandRow->addWidget(calibrate);
    column->addLayout(commandRow);
    auto* startRow = new QHBoxLayout;
    startNow = new QRadioButton(QStringLiteral("Now"), this);
    startAt = new QRadioButton(QStringLiteral("At"), this);
    startNow->setChecked(true);
    startNow->setObjectName(QStringLiteral("startNow"));
    startAt->setObjectName(QStringLiteral("startAt"));
    startTime = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(60), this);
    startTime->setObjectName(QStringLiteral("startTime"));
    startTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    startTime->setCalendarPopup(true);
    startRow->addWidget(new QLabel(QStringLiteral("Start:"), this));
    startRow->addWidget(startNow);
    startRow->addWidget(startAt);
    startRow->addWidget(startTime);
    column->addLayout(startRow);
    clockFirst = new QCheckBox(QStringLiteral("Set the clock first"), this);
    clockFirst->setObjectName(QStringLiteral("setClockFirst"));
    clockFirst->setChecked(true);
    column->addWidget(clockFirst);
    auto* recordRow = new QHBoxLayout;
    start = new QPushButton(QStringLiteral("Start &Recording"), this);
    recordRow->addWidget(start);
    recordRow->addStretch();
    column->addLayout(recordRow);
    connect(startAt, &QRadioButton::toggled, startTime, &QWidget::setEnabled);
    startTime->setEnabled(false);
}

bool SensorCommandsBox::setClockFirst() const {
    return clockFirst->isChecked();
}

std::optional<session::RecordingStart> SensorCommandsBox::chosenStart(QString& when) const {
    session::RecordingStart s;
    s.setClock = clockFirst->isChecked();
    when.clear();
    if (startAt->isChecked()) {
        const QDateTime t = startTime->dateTime();
        s.at = clockTimeOf(t);
        when = t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        if (t <= QDateTime::currentDateTime()) {
            MyTools::dispMessageOK(msg::startInPast(when), msg::error());
            return std::nullopt;
        }
    }
    return s;
}
