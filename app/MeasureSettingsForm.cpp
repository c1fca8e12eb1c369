#include "app/MeasureSettingsForm.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QSpinBox* spin(QWidget* parent, const QString& name, int lo, int hi, int value = 0) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

// A spin box whose lowest value (-1) means that the setting is not sent.
QSpinBox* optionalSpin(QWidget* parent, const QString& name, int hi) {
    QSpinBox* s = spin(parent, name, -1, hi, -1);
    s->setSpecialValueText(QStringLiteral("not set"));
    return s;
}

std::optional<int> optionalValue(const QSpinBox* s) {
    if (s->value() < 0) return std::nullopt;
    return s->value();
}

}  // namespace

MeasureSettingsForm::MeasureSettingsForm(QWidget* parent)
    : QGroupBox(QStringLiteral("Measurement Settings"), parent) {
    auto* column = new QVBoxLayout(this);
    addKindRows(column);
    addDeviceSettings(column);
    auto* fileRow = new QHBoxLayout;
    openFile = new QPushButton(QStringLiteral("&Open…"), this);
    saveFile = new QPushButton(QStringLiteral("&Save…"), this);
    fileRow->addWidget(openFile);
    fileRow->addWidget(saveFile);
    fileRow->addStretch();
    column->addLayout(fileRow);
}

void MeasureSettingsForm::addKindRows(QVBoxLayout* column) {
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    const char* headers[] = {"Kind", "Enabled", "Rate", "Average", "Record"};
    for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(QString::fromLatin1(headers[c])), 0, c);
    for (size_t i = 0; i < measure::kKindCount; ++i) {
        const measure::Kind kind = measure::kKindsInOrder[i];
        const QString key = QString::fromLatin1(measure::kindKey(kind));
        const int row = int(i) + 1;
        auto* label = new QLabel(
            kind == measure::Kind::ext16ad ? key + QStringLiteral(" (VRAX650)") : key, this);
        grid->addWidget(label, row, 0);
        KindRow& r = kindRows[size_t(kind)];
        r.enabled = new QCheckBox(this);
        r.enabled->setObjectName(QStringLiteral("enabled_") + key);
        r.record = new QCheckBox(this);
        r.record->setObjectName(QStringLiteral("record_") + key);
        r.record->setToolTip(QStringLiteral("Record into the sensor's memory"));
        grid->addWidget(r.enabled, row, 1);
        if (kind == measure::Kind::batt) {
            r.rate = r.average = nullptr;  // the battery has no rate or averaging
        } else {
            r.rate = spin(this, QStringLiteral("rate_") + key, 0, 255);
            r.average = spin(this, QStringLiteral("average_") + key, 0, 255);
            grid->addWidget(r.rate, row, 2);
            grid->addWidget(r.average, row, 3);
        }
        grid->addWidget(r.record, row, 4);
    }
    auto* note = new QLabel(
        QStringLiteral("Rate, average and the values below are the sensor's own setting values."),
        this);
    note->setWordWrap(true);
    column->addWidget(note);
}

void MeasureSettingsForm::addDeviceSettings(QVBoxLayout* column) {
    auto* form = new QFormLayout;
    column->addLayout(form);
    accRange = optionalSpin(this, QStringLiteral("accRange"), 3);
    gyroRange = optionalSpin(this, QStringLiteral("gyroRange"), 3);
    form->addRow(QStringLiteral("Acceleration range:"), accRange);
    form->addRow(QStringLiteral("Gyro range:"), gyroRange);
    auto* portsRow = new QHBoxLayout;
    extPortsSet = new QCheckBox(QStringLiteral("Set"), this);
    extPortsSet->setObjectName(QStringLiteral("extPortsSet"));
    portsRow->addWidget(extPortsSet);
    for (int i = 0; i < 4; ++i) {
        extPorts[size_t(i)] = spin(this, QStringLiteral("extPort%1").arg(i + 1), 0, 5);
        portsRow->addWidget(extPorts[size_t(i)]);
    }
    form->addRow(QStringLiteral("External ports:"), portsRow);
    auto* gainsRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        ad16Gains[size_t(i)] = spin(this, QStringLiteral("ad16Gain%1").arg(i + 1), 0, 255);
        gainsRow->addWidget(ad16Gains[size_t(i)]);
    }
    form->addRow(QStringLiteral("16-bit AD gains:"), gainsRow);
    buzzerVolume = optionalSpin(this, QStringLiteral("buzzerVolume"), 255);
    overwriteMode = optionalSpin(this, QStringLiteral("overwriteMode"), 1);
    form->addRow(QStringLiteral("Buzzer volume:"), buzzerVolume);
    form->addRow(QStringLiteral("Overwrite mode:"), overwriteMode);
}

measure::Config MeasureSettingsForm::config() const {
    measure::Config c;
    for (size_t k = 0; k < measure::kKindCount; ++k) {
        const KindRow& r = kindRows[k];
        c.kinds[k].enabled = r.enabled->isChecked();
        c.kinds[k].record = r.record->isChecked();
        c.kinds[k].rate = r.rate ? r.rate->value() : 0;
        c.kinds[k].average = r.average ? r.average->value() : 0;
    }
    c.accRange = optionalValue(accRange);
    c.gyroRange = optionalValue(gyroRange);
    if (extPortsSet->isChecked())
        c.extPorts = std::array<int, 4>{extPorts[0]->value(), extPorts[1]->value(),
                                        extPorts[2]->value(), extPorts[3]->value()};
    for (size_t i = 0; i < 4; ++i) c.ad16Gains[i] = ad16Gains[i]->value();
    c.buzzerVolume = optionalValue(buzzerVolume);
    c.overwriteMode = optionalValue(overwriteMode);
    return c;
}

void MeasureSettingsForm::setConfig(const measure::Config& c) {
    for (size_t k = 0; k < measure::kKindCount; ++k) {
        KindRow& r = kindRows[k];
        r.enabled->setChecked(c.kinds[k].enabled);
        r.record->setChecked(c.kinds[k].record);
        if (r.rate) r.rate->setValue(c.kinds[k].rate);
        if (r.average) r.average->setValue(c.kinds[k].average);
    }
    accRange->setValue(c.accRange.value_or(-1));
    gyroRange->setValue(c.gyroRange.value_or(-1));
    extPortsSet->setChecked(c.extPorts.has_value());
    for (size_t i = 0; i < 4; ++i) {
        extPorts[i]->setValue(c.extPorts ? (*c.extPorts)[i] : 0);
        ad16Gains[i]->setValue(c.ad16Gains[i]);
    }
    buzzerVolume->setValue(c.buzzerVolume.value_or(-1));
    overwriteMode->setValue(c.overwriteMode.value_or(-1));
}
