// What the window says about a failed action, by the step that failed and
// why; and about a download that did not end with its whole entry.
#include <gtest/gtest.h>

#include "app/OutcomeText.h"

namespace {

using session::Outcome;
using session::Result;
using session::Step;
using Kind = OutcomeMessage::Kind;

}  // namespace

TEST(OutcomeTextTest, MessageByStepAndResult) {
    const struct {
        Outcome outcome;
        Kind kind;
        QString text;
        bool failedOpening;
    } cases[] = {
        {{Result::done, Step::download, 0, {}, {}}, Kind::none, {}, false},
        {{Result::cancelled, Step::connect, 0, {}, {}},
         Kind::cancelled,
         "S1への接続を中止しました",
         true},
        {{Result::cancelled, Step::download, 0, {}, {}}, Kind::cancelled, {}, false},
        {{Result::connectFailed, Step::connect, PlatformStatus::bluetoothOff, {}, {}},
         Kind::bluetoothOff,
         {},
         true},
        {{Result::connectFailed, Step::connect, PlatformStatus::exclusiveAccess, {}, {}},
         Kind::error,
         "S1は別の機器で使用中です",
         true},
        {{Result::connectFailed, Step::connect, 0, {}, {}},
         Kind::error,
         "S1に接続出来ませんでした．\nセンサの電源が入っているかや正しくペアリングされて"
         "いるか，接続数等を確認してください",
         true},
        {{Result::timedOut, Step::stop, 0, {}, {}},
         Kind::error,
         "S1センサの初期設定に失敗しました",
         true},
        {{Result::refused, Step::deviceInfo, 0, {}, {}},
         Kind::error,
         "S1のファーム確認に失敗しました",
         true},
        {{Result::timedOut, Step::memoryStatus, 0, {}, {}},
         Kind::error,
         "S1センサのデータ取得に失敗しました",
         false},
        {{Result::channelClosed, Step::download, 0, {}, {}},
         Kind::error,
         "S1センサのデータ取得に失敗しました",
         false},
        {{Result::refused, Step::erase, 0, {}, {}},
         Kind::error,
         "S1センサのデータ全消去に失敗しました",
         false},
        {{Result::fileError, Step::folder, 0, "/data/2026", {}},
         Kind::error,
         "データ書き込みフォルダの作成に失敗しました．\n(/data/2026)",
         false},
        {{Result::fileError, Step::file, 0, "/data/a.csv", {}},
         Kind::error,
         "データファイルを作成できませんでした．\n(/data/a.csv)",
         false},
        {{Result::badSetting, Step::setting, 0, {}, "rate 300"},
         Kind::error,
         "測定設定に送信できない値があります．何も送信していません．\nrate 300",
         false},
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
        const OutcomeMessage m = outcomeMessage({Result::timedOut, step, 0, {}, {}}, "S1");
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
        {Result::timedOut,
         500,
         {},
         false,
         {},
         "S1：",
         "受信したレコード：120 / 500 レコード\n",
         "ファイルは残していません．"},
        {Result::channelClosed,
         0,
         file,
         false,
         {},
         "S1：",
         "受信したレコード：120 レコード\n",
         "ファイルは不完全です（一部のデータを書き込めませんでした）．\n(/data/S1-incomplete.csv)"},
        {Result::missingRecords,
         500,
         file,
         true,
         {},
         "S1：",
         "/ 500 レコード\n",
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
        const QString text = downloadFailureText("S1", {c.result, Step::download, 0, {}, {}}, r);
        SCOPED_TRACE(text.toStdString());
        EXPECT_TRUE(text.startsWith(c.begins));
        EXPECT_TRUE(text.contains(c.contains));
        EXPECT_TRUE(text.endsWith(c.ends));
    }
}
