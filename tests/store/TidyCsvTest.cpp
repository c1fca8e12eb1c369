// Tidy CSV files of a store: one file per kind present, header names from the
// one column table, exact times and values, the filtered 16-bit AD columns
// only when asked, and the safe-output rules (nothing replaced unless asked,
// nothing left behind on failure).
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "StoreFixture.h"
#include "store/TidyColumns.h"
#include "store/TidyCsv.h"

namespace {

// One record of every kind but geo, the first at 1000 ms.
void fillEveryKindButGeo(VRAXSensorData& store) {
    const int32_t a[6] = {1, -2, 3, -4, 5, -6};
    const int32_t p[2] = {101325, -25};
    const int32_t b[2] = {420, 100};
    const int32_t e[6] = {1, 0, 1, 0, -300, 32767};
    const int32_t q[10] = {10000, -1, 2, -3, 4, 5, 6, 7, 8, 9};
    const int32_t d[12] = {1, 2, 10, 15, 100, -200, 300, -400, 98, -196, 294, -392};
    store.appendSensorData(1000, ags, a);
    store.appendSensorData(1005, press, p);
    store.appendSensorData(1010, batt, b);
    store.appendSensorData(1015, ext, e);
    store.appendSensorData(1020, qags, q);
    store.appendSensorData(1025, ext16ad, d);
    store.appendSensorData(3500, ags, a);
}

TEST(TidyColumns, NamesEveryValueOfEveryKindOnce) {
    for (int type = 0; type <= 6; ++type) {
        const std::vector<std::string> names = tidy::columnNames(type, true);
        ASSERT_EQ(names.size(), size_t(2 + valueCount(type))) << type;
        EXPECT_EQ(names[0], "time_ms");
        EXPECT_EQ(names[1], "time_s");
        for (size_t i = 0; i < names.size(); ++i)
            for (size_t k = i + 1; k < names.size(); ++k) EXPECT_NE(names[i], names[k]) << type;
    }
    EXPECT_EQ(tidy::columnNames(ext16ad, false).back(), "raw_3");
    EXPECT_EQ(tidy::columnNames(ext16ad, true).back(), "filtered_3");
    EXPECT_TRUE(tidy::columnNames(7, true).empty());
    EXPECT_EQ(tidy::kindName(7), nullptr);

    std::string s;
    for (int64_t ms : {int64_t(0), int64_t(1005), int64_t(-1005), int64_t(-7), INT64_MIN}) {
        tidy::appendSeconds(s, ms);
        s += ' ';
    }
    EXPECT_EQ(s, "0.000 1.005 -1.005 -0.007 -9223372036854775.808 ");
}

// A scaled column's name is its column's and its unit's, in letters, digits
// and underscores, so that pandas and HDF5 take it as it is.
TEST(TidyColumns, ScaledColumnsAreNamedAfterColumnAndUnit) {
    for (const auto& [column, unit, name] : std::vector<std::array<const char*, 3>>{
             {"acc_x", "m/s^2", "acc_x_m_per_s2"},
             {"gyro_z", "deg/s", "gyro_z_deg_per_s"},
             {"pressure", "hPa", "pressure_hPa"},
             {"temperature",
              "\xC2\xB0"
              "C",
              "temperature_C"},
             {"acc_y", "m s-2", "acc_y_m_s_2"},
             {"q0", "1", "q0_1"},
             {"geo_x", "uT ", "geo_x_uT"},
         })
        EXPECT_EQ(tidy::scaledName(column, unit), name) << unit;
    tidy::Scales scales;
    EXPECT_FALSE(scales.any());
    scales.slots[press][1] = {0.5, "K"};
    EXPECT_TRUE(scales.any());
    EXPECT_TRUE(scales.of(press, 1).set());
    EXPECT_FALSE(scales.of(press, 0).set());
    EXPECT_FALSE(scales.of(9, 1).set());
    EXPECT_FALSE(scales.of(press, 12).set());
}

TEST(TidyCsv, OneFilePerKindWithHeaderExactValuesAndLfEnds) {
    TempDir dir;
    VRAXSensorData store;
    fillEveryKindButGeo(store);
    tidy::CsvReport report;
    ASSERT_TRUE(tidy::writeCsvFiles(store, dir.path().string(), "run", false,
                                    safeout::Existing::refuse, report))
        << report.error;
    ASSERT_EQ(report.files.size(), 6u);  // no geo file
    EXPECT_EQ(report.files[0], dir / "run_ags.csv");
    EXPECT_FALSE(std::filesystem::exists(dir / "run_geo.csv"));

    EXPECT_EQ(readFile(dir / "run_ags.csv"),
              "time_ms,time_s,acc_x,acc_y,acc_z,gyro_x,gyro_y,gyro_z\n"
              "1000,0.000,1,-2,3,-4,5,-6\n"
              "3500,2.500,1,-2,3,-4,5,-6\n");
    EXPECT_EQ(readFile(dir / "run_press.csv"),
              "time_ms,time_s,pressure,temperature\n1005,0.005,101325,-25\n");
    EXPECT_EQ(readFile(dir / "run_batt.csv"),
              "time_ms,time_s,battery,battery_level\n1010,0.010,420,100\n");
    EXPECT_EQ(readFile(dir / "run_ext.csv"),
              "time_ms,time_s,port_0,port_1,port_2,port_3,ad_0,ad_1\n"
              "1015,0.015,1,0,1,0,-300,32767\n");
    EXPECT_EQ(readFile(dir / "run_qags.csv"),
              "time_ms,time_s,q0,q1,q2,q3,acc_x,acc_y,acc_z,gyro_x,gyro_y,gyro_z\n"
              "1020,0.020,10000,-1,2,-3,4,5,6,7,8,9\n");
    // Without the filtered values: gains and raw readings only.
    EXPECT_EQ(readFile(dir / "run_ext16ad.csv"),
              "time_ms,time_s,gain_0,gain_1,gain_2,gain_3,raw_0,raw_1,raw_2,raw_3\n"
              "1025,0.025,1,2,10,15,100,-200,300,-400\n");
    EXPECT_TRUE(tidy::hasFilteredAd16(store));

    // The filtered columns when asked; existing files only replaced when asked.
    EXPECT_FALSE(tidy::writeCsvFiles(store, dir.path().string(), "run", true,
                                     safeout::Existing::refuse, report));
    ASSERT_TRUE(tidy::writeCsvFiles(store, dir.path().string(), "run", true,
                                    safeout::Existing::replace, report));
    EXPECT_EQ(readFile(dir / "run_ext16ad.csv"),
              "time_ms,time_s,gain_0,gain_1,gain_2,gain_3,raw_0,raw_1,raw_2,raw_3,filtered_0,"
              "filtered_1,filtered_2,filtered_3\n"
              "1025,0.025,1,2,10,15,100,-200,300,-400,98,-196,294,-392\n");
}

TEST(TidyCsv, TimesBeforeTheFirstSampleAndNegativeStampsStayExact) {
    TempDir dir;
    VRAXSensorData store;
    const int32_t g[3] = {7, 8, 9};
    // A stamp that was negative on the wire is kept negative, as the CSV lines print it.
    store.appendSensorData(uint64_t(int64_t(-2147483648)), geo, g);
    store.appendSensorData(500, geo, g);
    tidy::CsvReport report;
    ASSERT_TRUE(tidy::writeCsvFiles(store, dir.path().string() + "/", "x", false,
                                    safeout::Existing::refuse, report));
    EXPECT_EQ(readFile(dir / "x_geo.csv"),
              "time_ms,time_s,geo_x,geo_y,geo_z\n-2147483648,0.000,7,8,9\n"
              "500,2147484.148,7,8,9\n");
}

TEST(TidyCsv, AFailedWriteLeavesNothingAndKeepsExistingFiles) {
    TempDir dir;
    VRAXSensorData store;
    fillEveryKindButGeo(store);
    // The last kind's name is taken: the files made before it are removed again.
    writeFile(dir / "run_ext16ad.csv", "mine");
    tidy::CsvReport report;
    EXPECT_FALSE(tidy::writeCsvFiles(store, dir.path().string(), "run", false,
                                     safeout::Existing::refuse, report));
    EXPECT_FALSE(report.error.empty());
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"run_ext16ad.csv"});
    EXPECT_EQ(readFile(dir / "run_ext16ad.csv"), "mine");

    // A folder that cannot be written: no file, an error in words.
    EXPECT_FALSE(tidy::writeCsvFiles(store, dir / "missing", "run", false,
                                     safeout::Existing::refuse, report));
    EXPECT_FALSE(report.error.empty());
}

}  // namespace
