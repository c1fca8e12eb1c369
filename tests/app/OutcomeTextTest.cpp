// What the window says about a failed action, by the step that failed and
// why; and about a download that did not end with its whole entry.
#include <gtest/gtest.h>

#include "app/OutcomeText.h"

namespace {

using session::Outcome;
using session::Result;
using session::Step;
using Kind = OutcomeMessage::Kind;

Outcome failed(Result r, Step s, int32_t status = 0, std::string path = {},
               std::string detail = {}) {
    return {r, s, status, path, detail};
}

}  // namespace

TEST(OutcomeTextTest, MessageByStepAndResult) {
    using R = Result;
    using S = Step;
    const struct {
        Outcome outcome;
        Kind kind;
        QString text;
        bool failedOpening;
    } cases[] = {
        {failed(R::done, S::download), Kind::none, {}, false},
        {failed(R::cancelled, S::connect), Kind::cancelled, "S1への接続を中止しました", true},
        {failed(R::cancelled, S::download), Kind::cancelled, {}, false},
        {failed(R::connectFailed, S::connect, PlatformStatus::bluetoothOff), Kind::bluetoothOff,
         QString(), true},
        {failed(R::connectFailed, S::connect, PlatformStatus::exclusiveAccess), Kind::error,
         "S1は別の機器で使用中です", true},
        {failed(R::connectFailed, S::connect), Kind::error,
         "S1に接続出来ませんでした．\nセンサの電源が入っているかや正しくペアリングされて"
         "いるか，接続数等を確認してください",
         true},
        {failed(R::timedOut, S::stop), Kind::error, "S1センサの初期設定に失敗しました", true},
        {failed(R::refused, S::deviceInfo), Kind::error, "S1のファーム確認に失敗しました", true},
        {failed(R::timedOut, S::memoryStatus), Kind::error, "S1センサのデータ取得に失敗しました",
         false},
        {failed(R::channelClosed, S::download), Kind::error, "S1センサのデータ取得に失敗しました",
         false},
        {failed(R::refused, S::erase), Kind::error, "S1センサのデータ全消去に失敗しました", false},
        {failed(R::fileError, S::folder, 0, "/data/2026"), Kind::error,
         "データ書き込みフォルダの作成に失敗しました．\n(/data/2026)", false},
        {failed(R::fileError, S::file, 0, "/data/a.csv"), Kind::error,
         "データファイルを作成できませんでした．\n(/data/a.csv)", false},
        {failed(R::badSetting, S::setting, 0, {}, "rate 300"), Kind::error,
         "測定設定に送信できない値があります．何も送信していません．\nrate 300", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const OutcomeMessage m = outcomeMessage(c.outcome, "S1");
        EXPECT_EQ(m.kind, c.kind);
        EXPECT_EQ(m.text, c.text);
        EXPECT_EQ(failedOpening(c.outcome), c.failedOpening);
    }
    // A measuring step that failed names the sensor (and is not a read failure).
    for (const Step step : {Step::clock, Step::identify, Step::calibrate, Step::start,
                            Step::stopMeasure, Step::live}) {
        const OutcomeMessage m = outcomeMessage(failed(Result::timedOut, step), "S1");
        EXPECT_EQ(m.kind, Kind::error);
        EXPECT_TRUE(m.text.contains("S1")) << m.text.toStdString();
        EXPECT_NE(m.text, "S1センサのデータ取得に失敗しました");
    }
}

TEST(OutcomeTextTest, DownloadFailureSaysWhereTheRecordsAre) {
    const std::string file = "/data/S1-incomplete.csv";
    const struct {
        Result result;
        int64_t expected;
        std::string path;
        bool fileComplete;
        std::string fileError;
        QString begins, contains, ends;
    } cases[] = {
        {Result::timedOut, 500, "", false, "", "S1：", "受信したレコード：120 / 500 レコード\n",
         "ファイルは残していません．"},
        {Result::channelClosed, 0, file, false, "", "S1：", "受信したレコード：120 レコード\n",
         "ファイルは不完全です（一部のデータを書き込めませんでした）．\n(/data/S1-incomplete.csv)"},
        {Result::missingRecords, 500, file, true, "", "S1：", "/ 500 レコード\n",
         "受信したデータは次のファイルに残しています（エントリの全データではありません）．\n"
         "(/data/S1-incomplete.csv)"},
        // Every record written and only the final move failed.
        {Result::fileError, 500, file, true, "rename: No space left on device",
         "S1：データは全て受信しましたが，ファイルに保存できませんでした．\n",
         "（rename: No space left on device）",
         "全データは次のファイルに残しています．\n(/data/S1-incomplete.csv)"},
    };
    for (const auto& c : cases) {
        session::DownloadReport r;
        r.records = 120;
        r.expected = c.expected;
        r.filePath = c.path;
        r.fileComplete = c.fileComplete;
        r.fileError = c.fileError;
        const QString text = downloadFailureText("S1", failed(c.result, Step::download), r);
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(text.startsWith(c.begins));
        EXPECT_TRUE(text.contains(c.contains));
        EXPECT_TRUE(text.endsWith(c.ends));
    }
}
