// The sensors overview's texts: a row's result after an action, why a sensor
// cannot be reached, and the overview's messages and questions.
#pragma once

#include <QString>
#include <QStringList>

#include "link/platform/BluetoothPlatform.h"
#include "sensor/SensorSession.h"

namespace overview {

inline QString failureText(const session::Outcome& o) {
    using session::Result;
    switch (o.result) {
        case Result::done:
            return {};
        case Result::connectFailed:
            if (o.platformStatus == PlatformStatus::exclusiveAccess)
                return QStringLiteral("別の機器で使用中です");
            if (o.platformStatus == PlatformStatus::bluetoothOff)
                return QStringLiteral("Bluetoothがオフです");
            return QStringLiteral("接続出来ませんでした（電源や距離を確認してください）");
        case Result::refused:
            return QStringLiteral("センサが拒否しました");
        case Result::timedOut:
            return QStringLiteral("センサが応答しませんでした");
        case Result::channelClosed:
            return QStringLiteral("接続が切れました");
        case Result::notSent:
            return QStringLiteral("送信出来ませんでした");
        case Result::cancelled:
            return QStringLiteral("中止しました");
        case Result::busy:
            return QStringLiteral("別の処理が実行中です");
        case Result::badSetting:
            return QStringLiteral("設定が無効です: ") + QString::fromStdString(o.setting);
        case Result::fileError:
            return QStringLiteral("ファイルを作成出来ませんでした: ") +
                   QString::fromStdString(o.path);
        case Result::missingRecords:
            return QStringLiteral("データが欠けています");
    }
    return QStringLiteral("失敗しました");
}

// Why a connect failed, for the state column (English like the column).
inline QString unreachableWhy(const session::Outcome& o) {
    if (o.platformStatus == PlatformStatus::bluetoothOff) return QStringLiteral("Bluetooth is off");
    if (o.platformStatus == PlatformStatus::noSerialPortService)
        return QStringLiteral("no serial port service");
    if (o.result == session::Result::cancelled) return QStringLiteral("cancelled");
    return QStringLiteral("off or out of range");
}

inline QString read() {
    return QStringLiteral("読み取りました");
}
inline QString notReadWhileRecording() {
    return QStringLiteral("記録中のため読み取りません（接続すると記録が止まります）");
}
inline QString clockSet() {
    return QStringLiteral("時計を合わせました");
}
inline QString recordingStarted() {
    return QStringLiteral("記録を開始しました");
}
inline QString recordingScheduled(const QString& when) {
    return when + QStringLiteral(" に記録を開始します");
}
inline QString stopped() {
    return QStringLiteral("停止しました");
}
inline QString beeped() {
    return QStringLiteral("ビープ音を鳴らしました");
}
inline QString erased() {
    return QStringLiteral("メモリを消去しました");
}
inline QString nothingSelected() {
    return QStringLiteral("センサが選択されていません");
}
inline QString selectOne() {
    return QStringLiteral("ラベルを付けるセンサを一つ選択してください");
}
inline QString startInPast() {
    return QStringLiteral("開始時刻が過ぎています．未来の時刻を指定してください");
}
inline QString configUnreadable(const QString& path, const QString& why) {
    return QStringLiteral("設定ファイルを読み込めませんでした: ") + path + QStringLiteral("\n") +
           why;
}
inline QString labelNotSaved(const QString& why) {
    return QStringLiteral("ラベルを保存出来ませんでした: ") + why;
}
inline QString eraseQuestion(const QStringList& lines) {
    return QStringLiteral(
               "次のセンサのメモリを全て消去します．消去したデータは元に戻せません．\n\n") +
           lines.join('\n');
}
inline QString eraseLine(const QString& name, int entries, int downloaded) {
    if (entries == 0) return name + QStringLiteral(": データなし");
    if (downloaded == entries)
        return name + QStringLiteral(": %1 件，全てダウンロード済み").arg(entries);
    return name + QStringLiteral(": %1 件，ダウンロードされていないデータが %2 件あります")
                      .arg(entries)
                      .arg(entries - downloaded);
}
inline QString eraseNotListed(const QString& name) {
    return name + QStringLiteral(": 読み取れないため消去しません");
}
inline QStringList eraseButtons() {
    return {QStringLiteral("Cancel"), QStringLiteral("Erase")};
}

inline QString nothingNew() {
    return QStringLiteral("新しいデータはありません");
}
inline QString downloadProgress(int entry, int entries, int percent) {
    return QStringLiteral("ダウンロード中 %1/%2 件目 (%3%)").arg(entry).arg(entries).arg(percent);
}
inline QString downloaded(int count) {
    return QStringLiteral("%1 件ダウンロードしました").arg(count);
}
// A transfer that did not bring its whole entry: where what arrived is.
inline QString downloadIncomplete(int done, const QString& file) {
    return QStringLiteral("%1 件ダウンロード後に中断しました．途中までのデータ: %2")
        .arg(done)
        .arg(file);
}
inline QString existingFilesQuestion(const QStringList& files) {
    return QStringLiteral(
               "次のファイルが既にあります（完全なダウンロードではありません）．"
               "残して別名で保存するか，置き換えるか選んでください．\n\n") +
           files.join('\n');
}

}  // namespace overview
