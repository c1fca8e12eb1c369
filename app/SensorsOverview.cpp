#include "app/SensorsOverview.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <map>

#include "app/ActionHost.h"
#include "app/MyTools.h"
#include "app/OverviewText.h"
#include "app/StdText.h"
#include "link/BtUtilClass.h"
#include "link/platform/BluetoothPlatform.h"
#include "store/ClockLog.h"
#include "store/SensorLabels.h"

SensorsOverview::SensorsOverview(ActionHost* host, QWidget* parent)
    : QWidget(parent),
      host(host),
      rows(new OverviewModel(this)),
      sorted(new QSortFilterProxyModel(this)),
      sensors(new SensorFleet(this)) {
    sorted->setSourceModel(rows);
    sorted->setSortRole(Qt::UserRole);
    build();
    connect(host, &ActionHost::busyChanged, this, &SensorsOverview::setBusy);
    // Closing the window cancels the connects that wait.
    sensors->setStopCheck([host] { return host->stopAsked(); });
}

void SensorsOverview::build() {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    auto button = [&](const char* text, const char* tip, void (SensorsOverview::*slot)()) {
        auto* b = new QPushButton(QString::fromUtf8(text));
        b->setToolTip(QString::fromUtf8(tip));
        b->setObjectName(
            QString::fromUtf8(text).remove('&').remove(QStringLiteral("…")).remove(' '));
        connect(b, &QPushButton::clicked, this, slot);
        buttons.push_back(b);
        return b;
    };
    auto* actions = new QHBoxLayout;
    actions->addWidget(button("&Refresh", "Read every selected sensor (all when none is selected)",
                              &SensorsOverview::refresh));
    actions->addWidget(button("Set &Clocks", "Set the selected sensors' clocks to this computer's",
                              &SensorsOverview::setClocks));
    actions->addWidget(
        button("&Identify", "Make the selected sensors beep", &SensorsOverview::identify));
    actions->addWidget(
        button("S&top", "Stop the selected sensors' recordings", &SensorsOverview::stop));
    actions->addWidget(button("&Download All New",
                              "Download every entry not yet in the save folder",
                              &SensorsOverview::downloadAllNew));
    actions->addWidget(
        button("&Erase…", "Erase the memory of the selected sensors", &SensorsOverview::erase));
    actions->addWidget(
        button("&Label…", "Name the selected sensor's body location", &SensorsOverview::editLabel));
    actions->addStretch(1);
    layout->addLayout(actions);

    auto* start = new QHBoxLayout;
    start->addWidget(new QLabel(QStringLiteral("Configuration:")));
    configLabel = new QLabel(QStringLiteral("Measure panel settings"));
    start->addWidget(configLabel);
    auto* open = new QPushButton(QStringLiteral("Open…"));
    open->setObjectName(QStringLiteral("OpenConfig"));
    open->setToolTip(
        QStringLiteral("Start with a configuration file instead of the Measure panel's settings"));
    connect(open, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getOpenFileName(this, QStringLiteral("Configuration"), host->saveFolder(),
                                         QStringLiteral("Configuration (*.json)"));
        if (!path.isEmpty()) useConfigFile(path);
    });
    buttons.push_back(open);
    start->addWidget(open);
    startAtBox = new QCheckBox(QStringLiteral("Start &at"));
    startAtEdit = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(60));
    startAtEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    start->addWidget(startAtBox);
    start->addWidget(startAtEdit);
    start->addWidget(button("&Start Recording", "Send the configuration and start recording",
                            &SensorsOverview::startRecording));
    start->addStretch(1);
    layout->addLayout(start);

    view = new QTableView;
    view->setObjectName(QStringLiteral("overviewTable"));
    view->setModel(sorted);
    view->setSortingEnabled(true);
    view->sortByColumn(OverviewModel::sensor, Qt::AscendingOrder);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->setVisible(false);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setMinimumHeight(160);
    layout->addWidget(view, 1);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(content);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
}

void SensorsOverview::setBusy(bool busy) {
    for (QPushButton* b : buttons) b->setEnabled(!busy);
}

bool SensorsOverview::useConfigFile(const QString& path) {
    if (path.isEmpty()) {
        fileConfig.reset();
        configLabel->setText(QStringLiteral("Measure panel settings"));
        return true;
    }
    measure::Config c;
    std::string error;
    if (!measure::loadConfigFile(path.toStdString(), c, error)) {
        MyTools::dispMessageOK(overview::configUnreadable(path, qs(error)),
                               QStringLiteral("Error"));
        return false;
    }
    fileConfig = c;
    configLabel->setText(path);
    return true;
}

void SensorsOverview::setStartAt(std::optional<QDateTime> at) {
    startAtBox->setChecked(at.has_value());
    if (at) startAtEdit->setDateTime(*at);
}

void SensorsOverview::reloadSensors() {
    const QStringList kept = selectedAddresses();
    std::map<std::string, std::string> labelOf;
    std::string why;
    labels::readLabels(host->saveFolder().toStdString(), labelOf, why);
    QVector<OverviewRow> paired;
    const int n = BtUtilClass::getPairdVRAXSensors();
    for (int i = 0; i < n; ++i) {
        std::string name, address;
        if (!BtUtilClass::getSensorDeviceInfoByIndex(i, name, address)) continue;
        OverviewRow r;
        r.name = qs(name);
        r.address = qs(address);
        r.model = QString::fromUtf8(BtUtilClass::modelName(name));
        const auto it = labelOf.find(name);
        if (it != labelOf.end()) r.label = qs(it->second);
        paired.push_back(r);
    }
    rows->setSensors(paired);
    select(kept);
}

QStringList SensorsOverview::selectedAddresses() const {
    QStringList out;
    for (const QModelIndex& i : view->selectionModel()->selectedRows())
        out << rows->row(sorted->mapToSource(i).row()).address;
    return out;
}

void SensorsOverview::select(const QStringList& addresses) {
    view->clearSelection();
    for (const QString& a : addresses) {
        const int r = rows->rowOf(a);
        if (r < 0) continue;
        view->selectionModel()->select(sorted->mapFromSource(rows->index(r, 0)),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void SensorsOverview::tellFailure(OverviewRow& row, const session::Outcome& o) {
    row.failed = true;
    row.result = overview::failureText(o);
    if (o.result == session::Result::connectFailed) {
        if (o.platformStatus == PlatformStatus::exclusiveAccess) {
            row.state = OverviewRow::State::busy;
        } else {
            row.state = OverviewRow::State::unreachable;
            row.why = overview::unreachableWhy(o);
        }
    } else if (o.result == session::Result::timedOut && o.step == session::Step::stop) {
        row.state = OverviewRow::State::unreachable;
        row.why = QStringLiteral("no answer");
    }
}

void SensorsOverview::runOn(const QStringList& addresses, const SensorFleet::Work& work,
                            const std::function<void(OverviewRow&, const session::Outcome&)>& done,
                            Together together) {
    host->runGuarded([&] {
        QVector<SensorFleet::Sensor> list;
        QVector<OverviewRow::State> before;
        for (const QString& a : addresses) {
            const int i = rows->rowOf(a);
            if (i < 0) continue;
            list.push_back({rows->row(i).name, a});
            before.push_back(rows->row(i).state);
            rows->update(i, [](OverviewRow& r) {
                r.state = OverviewRow::State::working;
                r.result.clear();
                r.failed = false;
            });
        }
        const auto ended = [&](int k, const session::Outcome& o) {
            rows->update(rows->rowOf(list[k].address), [&](OverviewRow& r) {
                r.state = before[k];
                if (o.ok())
                    done(r, o);
                else
                    tellFailure(r, o);
            });
        };
        if (together == Together::onThreads)
            sensors->runEachOnThreads(list, work, ended);
        else
            sensors->runEach(list, work, ended);
    });
    view->resizeColumnsToContents();
}
