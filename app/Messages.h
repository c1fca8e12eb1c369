// Every text of the main window in one place: messages and questions with
// their titles and buttons, the download overlay's lines, the memory and
// device lines, and the panels' titles. In the sensor texts "%@" stands for
// the sensor's name; the rest of a text is shown literally.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include "link/platform/BluetoothPlatform.h"
#include "sensor/SensorSession.h"

namespace msg {

inline QString withName(const char* text, const QString& name) {
    return QString::fromUtf8(text).replace(QStringLiteral("%@"), name);
}

// ---- titles ----------------------------------------------------------------

inline QString warning() {
    return QStringLiteral("Warning");
}
inline QString error() {
    return QStringLiteral("Error");
}

// ---- sensor sequences --------------------------------------------------------

inline QString noSensorSelected() {
    return QStringLiteral("有効なセンサが登録/選択されていません");
}
inline QString sensorInUse(const QString& name) {
    return withName("%@は別の機器で使用中です", name);
}
inline QString connectFailed(const QString& name) {
    return withName(
        "%@に接続出来ませんでした．\nセンサの電源が入っているかや正しくペアリングされて"
        "いるか，接続数等を確認してください",
        name);
}
inline QString setupFailed(const QString& name) {
    return withName("%@センサの初期設定に失敗しました", name);
}
inline QString firmwareCheckFailed(const QString& name) {
    return withName("%@のファーム確認に失敗しました", name);
}
inline QString dataReadFailed(const QString& name) {
    return withName("%@センサのデータ取得に失敗しました", name);
}
inline QString eraseFailed(const QString& name) {
    return withName("%@センサのデータ全消去に失敗しました", name);
}
inline QString folderFailed(const QString& path) {
    return QStringLiteral("データ書き込みフォルダの作成に失敗しました．\n(%1)").arg(path);
}
inline QString fileFailed(const QString& path) {
    return QStringLiteral("データファイルを作成できませんでした．\n(%1)").arg(path);
}

// ---- erase -------------------------------------------------------------------

inline QString eraseQuestion() {
    return QStringLiteral(
        "センサ内蔵メモリ内のデータを全て消去して良いですか？\n"
        "消去後したデータは永遠に失われます．");
}
// The first is the default, also when the box is closed.
inline QStringList eraseButtons() {
    return {QStringLiteral("No"), QStringLiteral("Yes")};
}
inline constexpr int kEraseYes = 1;

// ---- download ----------------------------------------------------------------

inline QString chooseEntry() {
    return QStringLiteral("取得するセンサ・エントリを選択して下さい");
}
inline QString existingFileQuestion(const QString& path, const QString& description) {
    return QStringLiteral(
               "保存先に同じ名前のファイルがあります．\n(%1)\n%2\n\n"
               "Keep Both：既存のファイルを残し，新しいデータは番号を付けた名前で"
               "保存します．\n"
               "Replace：ダウンロードが完了した時点で既存のファイルを置き換えます"
               "（中断した場合は置き換えません）．")
        .arg(path, description);
}
inline QStringList existingFileButtons() {
    return {QStringLiteral("Cancel"), QStringLiteral("Keep Both"), QStringLiteral("Replace")};
}
inline constexpr int kKeepBoth = 1;
inline constexpr int kReplace = 2;
inline QString existingFileDescription(const QString& size, const QString& when) {
    return QStringLiteral("サイズ %1 バイト，更新日時 %2").arg(size, when);
}

// Why a download ended before its end was reported.
inline QString incompleteReason(session::Result r) {
    switch (r) {
        case session::Result::cancelled:
            return QStringLiteral("ダウンロードを中止しました");
        case session::Result::channelClosed:
            return QStringLiteral("センサとの接続が切れました");
        case session::Result::timedOut:
            return QStringLiteral("センサからのデータが途絶えました");
        case session::Result::notSent:
            return QStringLiteral("データ読み出しの要求を送信できませんでした");
        case session::Result::fileError:
            return QStringLiteral("ファイルへの書き込みに失敗しました");
        case session::Result::missingRecords:
            return QStringLiteral("受信したレコード数がエントリのレコード数と一致しません");
        default:
            return QStringLiteral("ダウンロードが完了しませんでした");
    }
}
// The lines of the message after a download that did not end with its whole
// entry in the file, in the order they appear.
inline QString receivedButNotSaved(const QString& name) {
    return QStringLiteral("%1：データは全て受信しましたが，ファイルに保存できませんでした．\n")
        .arg(name);
}
inline QString endedEarly(const QString& name, const QString& reason) {
    return QStringLiteral("%1：%2．\n").arg(name, reason);
}
inline QString receivedOf(quint64 records, qint64 expected) {
    return QStringLiteral("受信したレコード：%1 / %2 レコード\n").arg(records).arg(expected);
}
inline QString received(quint64 records) {
    return QStringLiteral("受信したレコード：%1 レコード\n").arg(records);
}
inline QString writeOrRenameFailed(const QString& why) {
    return QStringLiteral("ファイルの書き込みまたは名前の変更に失敗しました（%1）．\n").arg(why);
}
inline QString noFileKept() {
    return QStringLiteral("ファイルは残していません．");
}
inline QString fileIncomplete(const QString& path) {
    return QStringLiteral("ファイルは不完全です（一部のデータを書き込めませんでした）．\n(%1)")
        .arg(path);
}
inline QString wholeEntryKeptIn(const QString& path) {
    return QStringLiteral("全データは次のファイルに残しています．\n(%1)").arg(path);
}
inline QString partKeptIn(const QString& path) {
    return QStringLiteral(
               "受信したデータは次のファイルに残しています"
               "（エントリの全データではありません）．\n(%1)")
        .arg(path);
}

// ---- download overlay ----------------------------------------------------------

inline QString downloading() {
    return QStringLiteral("データダウンロード中");
}
inline QString downloadDone() {
    return QStringLiteral("データダウンロード終了");
}
inline QString downloadStopped() {
    return QStringLiteral("データダウンロード中断");
}
inline QString counterUnknown() {
    return QStringLiteral("進捗：-- 行");
}
inline QString counter(quint64 records) {
    return QStringLiteral("進捗：　%1 行").arg(records);
}
inline QString writeFailing(const QString& why) {
    return QStringLiteral("ファイルへの書き込みに失敗しています（%1）").arg(why);
}
inline QString savedUnderOtherName(const QString& fileName) {
    return QStringLiteral("別の名前で保存しました：%1").arg(fileName);
}
inline QString overlayNoFileKept() {
    return QStringLiteral("ファイルは残していません");
}
inline QString receivedSavedTo(const QString& fileName) {
    return QStringLiteral("受信したデータの保存先：%1").arg(fileName);
}

// ---- window lines and panels ---------------------------------------------------

inline QString memoryDetail(quint32 entries, quint32 freeEntries, quint32 freeRecords) {
    return QStringLiteral("エントリ数:%1 空きエントリ：%2 空きレコード数:%3")
        .arg(entries)
        .arg(freeEntries)
        .arg(freeRecords);
}
// Firmware version (empty: not known) and battery voltage (0: not known).
inline QString deviceInfo(const QString& firmVersion, float volts) {
    QString text = QStringLiteral("ファームウェア %1")
                       .arg(firmVersion.isEmpty() ? QStringLiteral("?") : firmVersion);
    text += volts > 0 ? QStringLiteral("，バッテリ %1 V").arg(double(volts), 0, 'f', 2)
                      : QStringLiteral("，バッテリ電圧不明");
    return text;
}
inline QString folderNotWritable() {
    return QStringLiteral("選択したフォルダは書き込めません．");
}
inline QString noPreviewInBuild(const QString& path) {
    return QStringLiteral("このビルドにはグラフ表示の機能がありません．\n") + path;
}
inline QString saveFolderPanelTitle() {
    return QStringLiteral("Select Data Save Folder");
}
inline QString saveFolderPanelAccept() {
    return QStringLiteral("Choose");
}
inline QString previewPanelTitle() {
    return QStringLiteral("Preview CSV File");
}
inline QString previewPanelFilter() {
    return QStringLiteral("CSV files (*.csv);;All files (*)");
}

// ---- Bluetooth and the sensor list ---------------------------------------------

// The sensor line under the pop-up: why no sensor can be listed or reached
// (empty when Bluetooth is ready).
inline QString bluetoothState(BluetoothState state) {
    switch (state) {
        case BluetoothState::noSystemBus:
            return QStringLiteral(
                "システムの D-Bus に接続できないため，Bluetooth のセンサを一覧できません");
        case BluetoothState::noBlueZ:
            return QStringLiteral(
                "Bluetooth サービス（BlueZ）が動作していないため，センサを一覧できません");
        case BluetoothState::noAdapter:
            return QStringLiteral("Bluetooth アダプタが見つかりません");
        case BluetoothState::adapterOff:
            return QStringLiteral(
                "Bluetooth がオフになっています．センサに接続するには Bluetooth をオンにして"
                "ください");
        case BluetoothState::adapterBlocked:
            return QStringLiteral(
                "Bluetooth アダプタが rfkill でブロックされています．ブロックを解除してください");
        case BluetoothState::ready:
            break;
    }
    return {};
}
inline QString noPairedSensor() {
    return QStringLiteral(
        "ペアリング済みの VRAX610 / VRAX650 センサがありません．"
        "システムの Bluetooth 設定でセンサをペアリングしてください");
}
// A connect that cannot work in this Bluetooth state.
inline QString cannotConnect(BluetoothState state) {
    switch (state) {
        case BluetoothState::noSystemBus:
        case BluetoothState::noBlueZ:
            return QStringLiteral(
                "Bluetooth サービス（BlueZ）を利用できないため，センサに接続できません．");
        case BluetoothState::noAdapter:
            return QStringLiteral("Bluetooth アダプタが見つからないため，センサに接続できません．");
        case BluetoothState::adapterBlocked:
            return QStringLiteral(
                "Bluetooth アダプタが rfkill でブロックされているため，センサに接続できません．\n"
                "ブロックを解除してから，もう一度操作してください");
        case BluetoothState::adapterOff:
        case BluetoothState::ready:
            break;
    }
    return QStringLiteral(
        "Bluetooth がオフになっているため，センサに接続できません．\n"
        "Bluetooth をオンにしてから，もう一度操作してください");
}
inline QString connecting(const QString& name) {
    return withName("%@に接続しています…", name);
}
inline QString connectCancelled(const QString& name) {
    return withName("%@への接続を中止しました", name);
}

// ---- save folder -----------------------------------------------------------------

inline QString cannotOpenFolder(const QString& path) {
    return QStringLiteral(
               "フォルダを開けませんでした（フォルダを開くアプリケーションが見つかりません）．"
               "\n(%1)")
        .arg(path);
}

// ---- end of a download and closing -------------------------------------------

// The counter once writing the file has failed: the lines the file holds.
inline QString counterInFile(quint64 lines, quint64 received) {
    return QStringLiteral("ファイル内：%1 行（受信：%2 レコード）").arg(lines).arg(received);
}
inline QString cancelledKept(quint64 records, qint64 expected, const QString& fileName) {
    const QString count = expected > 0 ? QStringLiteral("%1 / %2").arg(records).arg(expected)
                                       : QString::number(records);
    return QStringLiteral(
               "ダウンロードを中止しました．受信した %1 レコードを %2 に残しています"
               "（エントリの全データではありません）")
        .arg(count, fileName);
}
inline QString cancelledNoFile() {
    return QStringLiteral("ダウンロードを中止しました．ファイルは残していません");
}
inline QString closeDuringDownloadQuestion() {
    return QStringLiteral(
        "ダウンロード中です．ダウンロードを中止してウィンドウを閉じますか？\n"
        "受信済みのデータは名前に -incomplete を付けたファイルに残します．");
}
// "Cancel" is the default, also for Escape and the close button.
inline QStringList closeDuringDownloadButtons() {
    return {QStringLiteral("Cancel"), QStringLiteral("Stop and Close")};
}
inline constexpr int kStopAndClose = 1;

// ---- measuring -------------------------------------------------------------------

// The name of a step of the Measure panel, for messages: the setting's key
// as the configuration file spells it, or what the step does.
inline QString measureStepName(const session::Outcome& o) {
    if (!o.setting.empty()) return QString::fromStdString(o.setting);
    switch (o.step) {
        case session::Step::clock:
            return QStringLiteral("clock");
        case session::Step::identify:
            return QStringLiteral("identify");
        case session::Step::calibrate:
            return QStringLiteral("geocalib");
        case session::Step::start:
            return QStringLiteral("start");
        case session::Step::stopMeasure:
            return QStringLiteral("stop");
        default:
            return QStringLiteral("live");
    }
}
// A setting or command of the Measure panel that the sensor refused, did
// not answer, or that could not be sent.
inline QString measureStepFailed(const QString& name, const QString& setting, session::Result r) {
    switch (r) {
        case session::Result::refused:
            return QStringLiteral("%1センサが設定「%2」を受け付けませんでした（NG）．")
                .arg(name, setting);
        case session::Result::timedOut:
            return QStringLiteral("%1センサから設定「%2」への応答がありませんでした．")
                .arg(name, setting);
        case session::Result::channelClosed:
            return QStringLiteral("%1センサとの接続が切れました（設定「%2」）．")
                .arg(name, setting);
        default:
            return QStringLiteral("%1センサに設定「%2」を送信できませんでした．")
                .arg(name, setting);
    }
}
// A configuration with values the senders do not take; `why` names them.
inline QString configInvalid(const QString& why) {
    return QStringLiteral("測定設定に送信できない値があります．何も送信していません．\n%1")
        .arg(why);
}
inline QString configOpenFailed(const QString& why, const QString& path) {
    return QStringLiteral("測定設定ファイルを読み込めませんでした．\n%1\n(%2)").arg(why, path);
}
inline QString configBeyondControls() {
    return QStringLiteral("パネルで扱えない値があります");
}
inline QString configSaveFailed(const QString& why, const QString& path) {
    return QStringLiteral("測定設定ファイルを保存できませんでした．\n%1\n(%2)").arg(why, path);
}
inline QString calibrateQuestion(const QString& name) {
    return withName(
        "%@センサの地磁気キャリブレーションを開始しますか？\n"
        "開始後はセンサをゆっくりと全方向に回転させてください．",
        name);
}
inline QStringList calibrateButtons() {
    return {QStringLiteral("Cancel"), QStringLiteral("Calibrate")};
}
inline constexpr int kCalibrate = 1;
// A live session that ended without the user's Stop.
inline QString liveEnded(const QString& name, session::Result r, const QString& files) {
    const QString why =
        r == session::Result::channelClosed ? QStringLiteral("センサとの接続が切れました")
        : r == session::Result::timedOut ? QStringLiteral("センサからのデータが途絶えました")
                                         : QStringLiteral("ファイルへの書き込みに失敗しました");
    QString text = QStringLiteral("%1：%2．ライブ表示を終了しました．\n").arg(name, why);
    text += files.isEmpty()
                ? QStringLiteral("ファイルは残していません．")
                : QStringLiteral("受信したデータは次のファイルに残しています．\n(%1)").arg(files);
    return text;
}
inline QString noLiveFile() {
    return QStringLiteral("ライブ表示のファイルが残っていません");
}
inline QString liveSaveFailed(const QString& why) {
    return QStringLiteral("ライブデータを保存できませんでした．\n%1").arg(why);
}
inline QString replaceFilesQuestion(const QStringList& paths) {
    return QStringLiteral("保存先に同じ名前のファイルがあります．置き換えますか？\n(%1)")
        .arg(paths.join(QStringLiteral("\n")));
}
inline QStringList replaceFilesButtons() {
    return {QStringLiteral("Cancel"), QStringLiteral("Replace")};
}
inline constexpr int kReplaceFiles = 1;
// Status lines of the Measure panel.
inline QString clockSet(const QString& when) {
    return QStringLiteral("センサの時計を設定しました（%1）").arg(when);
}
inline QString identified() {
    return QStringLiteral("センサのブザーを鳴らしました");
}
inline QString calibrationStarted() {
    return QStringLiteral("地磁気キャリブレーションを開始しました");
}
inline QString recordingStarted() {
    return QStringLiteral("記録を開始しました．センサは単独で記録を続けます");
}
inline QString startInPast(const QString& when) {
    return QStringLiteral("開始時刻 %1 は過ぎています．これから先の時刻を指定してください．")
        .arg(when);
}
inline QString recordingScheduled(const QString& when) {
    return QStringLiteral("%1 に記録を開始するよう設定しました").arg(when);
}
inline QString measuringStopped() {
    return QStringLiteral("測定を停止しました");
}
inline QString liveRunning(const QString& file) {
    return QStringLiteral("ライブ表示中：%1").arg(file);
}
inline QString liveStopped(quint64 records, const QString& files) {
    if (files.isEmpty() && records == 0)
        return QStringLiteral(
            "ライブ表示を停止しました．レコードを受信しなかったため，ファイルは残していません．");
    if (files.isEmpty())
        return QStringLiteral(
                   "ライブ表示を停止しました．%1 "
                   "レコードを受信しましたが，ファイルに保存できませんでした．")
            .arg(records);
    return QStringLiteral("ライブ表示を停止しました．%1 レコードを保存しました：%2")
        .arg(records)
        .arg(files);
}
// Several sensors live at once.
inline QString liveSeveralRunning(int sensors, const QString& folder) {
    return QStringLiteral("ライブ表示中（%1台）：%2").arg(sensors).arg(folder);
}
inline QString liveSeveralStopped(quint64 records, int sensors, const QString& files) {
    if (files.isEmpty())
        return QStringLiteral(
                   "ライブ表示を停止しました．%1台のセンサから%2 "
                   "レコードを受信しましたが，ファイルは残していません．")
            .arg(sensors)
            .arg(records);
    return QStringLiteral(
               "ライブ表示を停止しました．%1台のセンサから %2 レコードを保存しました：%3")
        .arg(sensors)
        .arg(records)
        .arg(files);
}
inline QString liveSeveralFailed(const QStringList& sensors) {
    return QStringLiteral("次のセンサはライブ表示を続けられませんでした．\n%1")
        .arg(sensors.join(QStringLiteral("\n")));
}
// Markers of a live session.
inline QString markerAdded(const QString& label) {
    return label.isEmpty() ? QStringLiteral("マーカーを追加しました")
                           : QStringLiteral("マーカーを追加しました：%1").arg(label);
}
inline QString markerFailed(const QString& why) {
    return QStringLiteral("マーカーを保存できませんでした．\n%1").arg(why);
}
inline QString markersSaved(quint64 count, const QString& path) {
    return QStringLiteral("マーカー %1 件を保存しました：%2").arg(count).arg(path);
}
inline QString liveSaved(const QString& files) {
    return QStringLiteral("保存しました：%1").arg(files);
}

// ---- control labels ----------------------------------------------------------------

inline QString connectLabel() {
    return QStringLiteral("&Connect");
}
inline QString cancelConnectLabel() {
    return QStringLiteral("&Cancel");
}
inline QString cancelLabel() {
    return QStringLiteral("&Cancel");
}
inline QString okLabel() {
    return QStringLiteral("OK");
}
inline QString previewLabel() {
    return QStringLiteral("グラフ表示");
}
inline QString openFolderLabel() {
    return QStringLiteral("&Open Folder");
}

}  // namespace msg
