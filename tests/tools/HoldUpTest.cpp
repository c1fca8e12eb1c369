// vraxctl under closed pipes, a closed terminal, a file-size limit, signals
// that come early, damaged captures and files, and outputs that cannot take
// their names: each ends with a message and an exit code, keeps what
// arrived, and leaves no working file and no half-made output behind.
#include <gtest/gtest.h>

#include "support/VraxctlRun.h"

namespace {

namespace fs = std::filesystem;

using HoldUpTest = VraxctlRunTest;

const std::string kEntryStem1 = "memdata_VRAX610-001_2026-11-28_090030.000";
const std::string kEntryStem2 = "memdata_VRAX610-001_2026-11-29_101530.250";

// A closed pipe, a closed terminal and a file-size limit end a run through
// its normal failure path: what arrived is kept as "-incomplete", no
// working file stays, and the exit code is vraxctl's own, never a signal's.
TEST_F(HoldUpTest, SignalsAndLimitsTakeTheNormalFailurePath) {
    // The reader of the output goes away after the first line.
    Result r = shell(
        "\"$VRAXCTL\" download --demo VRAX610-001 --all --out pipe | head -1; "
        "exit ${PIPESTATUS[0]}");
    EXPECT_TRUE(r.code == 0 || r.code == 7) << r;
    EXPECT_FALSE(anyWorkingFile(dir / "pipe")) << r;
    r = shell(
        "\"$VRAXCTL\" download --demo --parallel 2 --all-sensors --out ppipe 2>&1 | head -1; "
        "exit ${PIPESTATUS[0]}");
    EXPECT_TRUE(r.code == 0 || r.code == 7 || r.code == 8) << r;
    EXPECT_FALSE(anyWorkingFile(dir / "ppipe")) << r;

    // A live session whose progress lines find no reader stops the sensor
    // and finishes its file (the first plain progress line comes after 5 s).
    writeFile(dir / "ok.json", R"({"ags": {"enabled": true, "rate": 5, "average": 1}})");
    r = shell(
        "\"$VRAXCTL\" live --demo VRAX610-001 --config ok.json --out live --seconds 30 "
        "2>&1 | head -1; exit ${PIPESTATUS[0]}",
        QString());
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_FALSE(anyWorkingFile(dir / "live")) << r;
    const std::vector<std::string> live = filesIn(dir / "live" / dayFolder, true);
    ASSERT_EQ(live.size(), 2u) << r;  // the file and its time map
    EXPECT_EQ(live[1], live[0].substr(0, live[0].size() - 4) + ".timemap.tsv") << r;

    // A file-size limit: the download's file stops growing and is kept.
    r = run("download --demo VRAX610-001 2 --out limit", QStringLiteral("fast"), 20000);
    EXPECT_EQ(r.code, 6) << r;
    EXPECT_FALSE(anyWorkingFile(dir / "limit")) << r;
    EXPECT_TRUE(fs::exists(dir / "limit" / dayFolder / (kEntryStem2 + "-incomplete.csv"))) << r;
    // The same for export and convert: nothing is left behind.
    writeFile(dir / "big.csv",
              readFile(dir / "limit" / dayFolder / (kEntryStem2 + "-incomplete.csv")));
    for (const char* line : {"export big.csv --hdf5 big.h5", "export big.csv --tidy tidy",
                             "convert big.csv --to bin --output big2"}) {
        r = run(line, QStringLiteral("fast"), 4000);
        EXPECT_EQ(r.code, 6) << line << "\n" << r;
        EXPECT_EQ(filesIn(dir / "tidy", true), std::vector<std::string>{}) << line;
        for (const char* name : {"big.h5", "big.h5.part", "big2.bin", "big2.bin.part"})
            EXPECT_FALSE(fs::exists(dir / name)) << line << " " << name;
    }

    // A closed terminal (SIGHUP) ends a download as Ctrl-C does.
    const fs::path part = dir / "hup" / dayFolder / (kEntryStem2 + ".csv.part");
    r = run("download --demo VRAX610-001 2 --out hup", QString(), RLIM_INFINITY,
            [&](QProcess& p) { signalAt(p, part, 20000, SIGHUP); });
    EXPECT_EQ(r.code, 7) << r;
    EXPECT_GE(fs::file_size(dir / "hup" / dayFolder / (kEntryStem2 + "-incomplete.csv")), 20000u);
    EXPECT_FALSE(fs::exists(part));
}

// A Ctrl-C just after a parallel download starts interrupts every child: none
// is killed by it before its own handler is in place.
TEST_F(HoldUpTest, AnEarlyInterruptReachesEveryParallelChildAsAnInterrupt) {
    Result r =
        run("download --demo --parallel 3 --all --out early VRAX650-EXTRA-01 "
            "VRAX650-EXTRA-02 VRAX650-EXTRA-03",
            QStringLiteral("extra:3:30000"), RLIM_INFINITY, [&](QProcess& p) {
                // As soon as the children are there.
                const std::string children = "/proc/" + std::to_string(p.processId()) + "/task/" +
                                             std::to_string(p.processId()) + "/children";
                for (int i = 0; i < 3000 && readFile(children).size() < 2; ++i)
                    QThread::usleep(200);
                ::kill(pid_t(p.processId()), SIGINT);
            });
    EXPECT_EQ(r.code, 7) << r;
    EXPECT_FALSE(r.says("ended by a signal")) << r;
    EXPECT_FALSE(anyWorkingFile(dir / "early")) << r;
}

// A capture rewritten record by record: `edit` changes each marker's text.
std::string rewriteCapture(const std::string& cap, const std::function<void(std::string&)>& edit) {
    std::string out = cap.substr(0, 12);
    for (size_t at = 12; at + 13 <= cap.size();) {
        const uint32_t length =
            uint32_t(uint8_t(cap[at + 9])) | uint32_t(uint8_t(cap[at + 10])) << 8 |
            uint32_t(uint8_t(cap[at + 11])) << 16 | uint32_t(uint8_t(cap[at + 12])) << 24;
        std::string data = cap.substr(at + 13, length);
        if (cap[at] == 'M') edit(data);
        std::string head = cap.substr(at, 9);
        for (int i = 0; i < 4; ++i) head += char((data.size() >> (8 * i)) & 0xFF);
        out += head + data;
        at += 13 + length;
    }
    return out;
}

// In the transfer markers, `key`'s value becomes `value` ("" removes the line).
std::function<void(std::string&)> setField(const std::string& key, const std::string& value,
                                           bool add = false) {
    return [=](std::string& text) {
        if (text.find("event=transfer\n") == std::string::npos) return;
        if (add) {
            text += key + "=" + value + "\n";
            return;
        }
        const size_t at = text.find(key + "=");
        if (at == std::string::npos) return;
        const size_t end = text.find('\n', at);
        text.replace(at, end + 1 - at, value.empty() ? "" : key + "=" + value + "\n");
    };
}

// A capture whose markers are damaged is refused before any file or folder
// appears; one that passes is replayed whole.
TEST_F(HoldUpTest, DamagedCaptureMarkersAreRefusedBeforeAnyFile) {
    ASSERT_EQ(run("download --demo VRAX610-001 1 2 --out o --capture c.cap").code, 0);
    const std::string cap = readFile(dir / "c.cap");
    struct Case {
        const char* name;
        std::string capture;
        const char* says;
    };
    const Case cases[] = {
        {"start", rewriteCapture(cap, setField("start", "2026/13/45 99:99:99.999")), "start time"},
        {"day", rewriteCapture(cap, setField("day", "00000000")), "bad day"},
        {"records", rewriteCapture(cap, setField("records", "-5")), "record count"},
        {"entry", rewriteCapture(cap, setField("entry", "+1")), "entry number"},
        {"flag", rewriteCapture(cap, setField("filtered", "yes")), "neither 0 nor 1"},
        {"twice", rewriteCapture(cap, setField("entry", "2", true)), "twice"},
        {"trailing", cap + "x", "data after its end record"},
    };
    for (const Case& c : cases) {
        writeFile(dir / "bad.cap", c.capture);
        const Result r = run("replay bad.cap --out bad");
        EXPECT_EQ(r.code, 6) << c.name << "\n" << r;
        EXPECT_TRUE(r.says(c.says)) << c.name << "\n" << r;
        EXPECT_FALSE(fs::exists(dir / "bad")) << c.name;
    }
    // Entries with the same start, the markers silent on numbering: told
    // apart by their entry numbers, as a download does.
    const std::string start1 = "start=2026/11/28 09:00:30.000";
    std::string same = rewriteCapture(cap, [&](std::string& text) {
        setField("numbered", "")(text);
        const size_t at = text.find("start=");
        if (at != std::string::npos && text.find("event=transfer\n") != std::string::npos)
            text.replace(at, start1.size(), start1);
    });
    writeFile(dir / "same.cap", same);
    Result r = run("replay same.cap --out same");
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_EQ(filesIn(dir / "same" / dayFolder, true),
              (std::vector<std::string>{kEntryStem1 + "-e1.csv", kEntryStem1 + "-e2.csv"}))
        << r;
}

// Files that cannot take their names, damaged inputs and the small faults:
// a clear message and exit code, no new file left, nothing replaced.
TEST_F(HoldUpTest, FailedRunsLeaveNothingAndSayWhy) {
    ASSERT_EQ(run("download --demo VRAX610-001 1 --out o").code, 0);
    fs::copy_file(dir / "o" / dayFolder / (kEntryStem1 + ".csv"), dir / "e.csv");
    // --force where one output is a folder: no CSV file appears.
    fs::create_directory(dir / "folder.h5");
    Result r = run("export e.csv --tidy tidy --hdf5 folder.h5 --force");
    EXPECT_EQ(r.code, 6) << r;
    EXPECT_TRUE(r.says("folder.h5")) << r;
    EXPECT_FALSE(fs::exists(dir / "tidy")) << r;
    // A part of a split conversion is a folder: the message names it, no part stays.
    const std::string e = readFile(dir / "e.csv");
    ASSERT_GT(std::count(e.begin(), e.end(), '\n'), 20);
    writeFile(dir / "s-0.csv", "kept");
    fs::create_directory(dir / "s-1.csv");
    r = run("convert e.csv --to csv --lines 10 --output s --force");
    EXPECT_EQ(r.code, 6) << r;
    EXPECT_TRUE(r.says("s-1.csv")) << r;
    EXPECT_EQ(readFile(dir / "s-0.csv"), "kept");
    EXPECT_FALSE(fs::exists(dir / "s-2.csv"));
    // A count that divides evenly makes no empty last part.
    size_t twenty = 0;
    for (int i = 0; i < 20; ++i) twenty = e.find('\n', twenty) + 1;
    writeFile(dir / "twenty.csv", e.substr(0, twenty));
    r = run("convert twenty.csv --to csv --lines 10 --output t");
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_TRUE(fs::exists(dir / "t-1.csv"));
    EXPECT_FALSE(fs::exists(dir / "t-2.csv")) << r;

    // A random .bin is refused by convert as export refuses it.
    std::string noise(96 * 50, '\0');
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = char((i * 2654435761u) >> 13);
    writeFile(dir / "noise.bin", noise);
    for (const char* line : {"convert noise.bin --to csv", "export noise.bin --tidy nt"}) {
        r = run(line);
        EXPECT_EQ(r.code, 6) << line << "\n" << r;
        EXPECT_TRUE(r.says("no records of a known kind")) << r;
    }
    EXPECT_FALSE(fs::exists(dir / "noise.csv"));

    // A CSV line cut after a comma is left out; a time that is no number is counted.
    writeFile(dir / "cut.csv", "ags,1000,1,2,3,4,5,6\nags,1010,1,2,3,4,5,\nags,x,1,2,3,4,5,6\n");
    r = run("convert cut.csv --to csv --output cutout");
    EXPECT_EQ(r.code, 0) << r;
    EXPECT_TRUE(r.says("1 lines were not understood and were left out")) << r;
    EXPECT_TRUE(r.says("1 lines have a time or value that was not understood")) << r;

    // Usage and configuration faults named for what they are.
    r = run("download --demo --parallel 2 --all VRAX610-001 1");
    EXPECT_EQ(r.code, 2) << r;
    EXPECT_TRUE(r.says("entry numbers cannot be given with --all")) << r;
    for (const char* content : {"null", "42"}) {
        writeFile(dir / "c.json", content);
        r = run("live --demo VRAX610-001 --config c.json --out o --seconds 1");
        EXPECT_NE(r.code, 0) << r;
        EXPECT_TRUE(r.says("must be a JSON object")) << content << "\n" << r;
    }
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    r = run("export e.csv --tidy dangling");
    EXPECT_EQ(r.code, 6) << r;
    EXPECT_TRUE(r.says("does not exist")) << r;
    writeFile(dir / "afile", "x");
    r = run("download --demo VRAX610-001 1 --out afile");
    EXPECT_EQ(r.code, 6) << r;
    EXPECT_TRUE(r.says("afile is in the way and is not a folder")) << r;
}

}  // namespace
