#include "app/OverviewModel.h"

#include <QColor>
#include <QLocale>
#include <cmath>

namespace {

QString signedNumber(double v, int decimals) {
    return (v >= 0 ? QStringLiteral("+") : QString()) + QString::number(v, 'f', decimals);
}

// Milliseconds while the offset is small; a clock far off (never set) in
// seconds or days.
QString clockText(const timebase::ClockReading& c) {
    if (!c.answered) return QStringLiteral("not read");
    const double a = std::fabs(c.offsetMs);
    const QString offset = a < 10'000 ? signedNumber(c.offsetMs, 1) + QStringLiteral(" ms")
                           : a < 86'400'000
                               ? signedNumber(c.offsetMs / 1000, 1) + QStringLiteral(" s")
                               : signedNumber(c.offsetMs / 86'400'000, 1) + QStringLiteral(" days");
    return offset + QStringLiteral(" ± ") + QString::number(c.boundMs, 'f', 1) +
           QStringLiteral(" ms");
}

}  // namespace

int OverviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(all.size());
}

int OverviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columnTotal);
}

QString OverviewModel::stateText(const OverviewRow& r) {
    using S = OverviewRow::State;
    switch (r.state) {
        case S::unknown:
            return QStringLiteral("not read");
        case S::idle:
            return QStringLiteral("idle");
        case S::recording:
            return QStringLiteral("recording");
        case S::scheduled:
            return QStringLiteral("recording scheduled at ") +
                   r.startAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        case S::working:
            return QStringLiteral("working…");
        case S::busy:
            return QStringLiteral("busy elsewhere");
        case S::unreachable:
            return r.why.isEmpty() ? QStringLiteral("not reachable")
                                   : QStringLiteral("not reachable (") + r.why + ')';
    }
    return {};
}

QVariant OverviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(all.size())) return {};
    const OverviewRow& r = all[index.row()];
    const auto& st = r.status;
    const bool display = role == Qt::DisplayRole || role == Qt::ToolTipRole;
    const bool sortKey = role == Qt::UserRole;
    if (!display && !sortKey) {
        if (role == Qt::ForegroundRole && index.column() == result && r.failed)
            return QColor(Qt::red);
        return {};
    }
    switch (index.column()) {
        case sensor:
            return r.name;
        case label:
            return r.label;
        case model:
            return r.model;
        case battery:
            if (!st || st->batteryVoltage <= 0) return sortKey ? QVariant(-1.0) : QVariant();
            if (sortKey) return double(st->batteryVoltage);
            return QString::number(double(st->batteryVoltage), 'f', 2) + QStringLiteral(" V");
        case firmware:
            return st ? QString::fromStdString(st->firmVersion) : QString();
        case entries:
            if (!st) return sortKey ? QVariant(-1) : QVariant();
            return sortKey ? QVariant(qint64(st->memory.entryCount))
                           : QVariant(QString::number(st->memory.entryCount));
        case freeMemory:
            if (!st) return sortKey ? QVariant(-1) : QVariant();
            if (sortKey) return qint64(st->memory.freeRecordCount);
            return QStringLiteral("%1 entries, %2 records")
                .arg(st->memory.freeEntryCount)
                .arg(QLocale::c().toString(qint64(st->memory.freeRecordCount)));
        case clock:
            if (!r.clock) return sortKey ? QVariant(qInf()) : QVariant();
            if (sortKey) return r.clock->answered ? std::fabs(r.clock->offsetMs) : qInf();
            return clockText(*r.clock);
        case drift:
            if (!r.driftPpm) return sortKey ? QVariant(qInf()) : QVariant();
            if (sortKey) return std::fabs(*r.driftPpm);
            return QString::number(*r.driftPpm, 'f', 1) + QStringLiteral(" ppm");
        case state:
            return sortKey ? QVariant(int(r.state)) : QVariant(stateText(r));
        case lastRead:
            if (sortKey) return r.lastRead;
            return r.lastRead.isValid() ? r.lastRead.toString(QStringLiteral("HH:mm:ss"))
                                        : QString();
        case result:
            return r.result;
        default:
            return {};
    }
}

QVariant OverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const titles[] = {"Sensor",   "Label",   "Model",       "Battery",
                                         "Firmware", "Entries", "Free memory", "Clock offset",
                                         "Drift",    "State",   "Last read",   "Result"};
    return section >= 0 && section < int(columnTotal) ? QString::fromUtf8(titles[section])
                                                      : QVariant();
}

void OverviewModel::setSensors(const QVector<OverviewRow>& paired) {
    beginResetModel();
    QVector<OverviewRow> next;
    for (const OverviewRow& p : paired) {
        const int old = rowOf(p.address);
        OverviewRow r = old >= 0 ? all[old] : p;
        r.name = p.name;
        r.model = p.model;
        r.label = p.label;
        next.push_back(r);
    }
    all = next;
    endResetModel();
}

int OverviewModel::rowOf(const QString& address) const {
    for (int i = 0; i < int(all.size()); ++i)
        if (all[i].address == address) return i;
    return -1;
}

void OverviewModel::update(int i, const std::function<void(OverviewRow&)>& change) {
    if (i < 0 || i >= int(all.size())) return;
    change(all[i]);
    Q_EMIT dataChanged(index(i, 0), index(i, int(columnTotal) - 1));
}
