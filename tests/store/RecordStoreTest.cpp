#include <tuple>

#include "StoreFixture.h"

TEST(RecordStore, RecordImageHoldsTimeTextsAndOnlyTheTypesValues) {
    VRAXSensorData store;
    store.setCurDate(2014, 3, 5);
    int32_t v[14];
    for (int i = 0; i < 14; ++i) v[i] = 100 + i;
    store.appendSensorData(3723004, geo, v);  // 01:02:03.004
    store.appendSensorData(0, 9, v);          // no such kind: not stored

    ASSERT_EQ(store.count(), 1u);
    const SensorDataRecord& r = *store.getDataByIndex(0);
    EXPECT_EQ(r.dataType, geo);
    EXPECT_EQ(r.msTime, 3723004u);
    EXPECT_STREQ(r.dateStr, "20140305");
    EXPECT_STREQ(r.timeStr, "010203004");
    const int32_t geoOnly[14] = {100, 101, 102};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(r.values[i], geoOnly[i]) << i;
    EXPECT_EQ(std::tuple(r.padding0, r.padding1, r.padding2), std::tuple(0u, 0, 0u));
    EXPECT_EQ(store.getDataByIndex(1), nullptr);
}

TEST(RecordStore, RecordsKeepTheirAddressesAsTheStoreGrows) {
    VRAXSensorData store;
    appendAgs(store, 10);
    const SensorDataRecord* first = store.getDataByIndex(0);
    const SensorDataRecord* ninth = store.getDataByIndex(9);
    appendAgs(store, 50000, 10);
    EXPECT_EQ(store.getDataByIndex(0), first);
    EXPECT_EQ(store.getDataByIndex(9), ninth);
    EXPECT_EQ(store.getDataByIndex(50009)->values[0], 50009);
    EXPECT_EQ(store.getPassedMSTimeFirstSample(), 0u);
    EXPECT_EQ(store.getPassedMSTimeLastSample(), 500090u);
}

TEST(RecordStore, TimeLookupFindsTheWindowAroundATime) {
    VRAXSensorData store;
    uint64_t index = 77;
    EXPECT_FALSE(store.getDataByTheMSTime(0, 0, index, false));
    EXPECT_EQ(index, 77u);  // untouched on an empty store
    uint64_t t = 0, d = 0;
    EXPECT_FALSE(store.getFirstDataTime(t, d));
    EXPECT_EQ(store.getPassedMSTimeLastSample(), 0u);

    const int32_t v[6] = {};
    for (uint64_t ms : {10, 20, 20, 30}) store.appendSensorData(ms, ags, v);

    ASSERT_TRUE(store.getDataByTheMSTime(20, 0, index, false));
    EXPECT_EQ(index, 3u);  // first record after 20
    ASSERT_TRUE(store.getDataByTheMSTime(20, 0, index, true));
    EXPECT_EQ(index, 2u);                                       // last record at or before 20
    EXPECT_FALSE(store.getDataByTheMSTime(5, 0, index, true));  // nothing at or before 5
    ASSERT_TRUE(store.getDataByTheMSTime(30, 0, index, false));
    EXPECT_EQ(index, 3u);  // exactly the last time
    EXPECT_FALSE(store.getDataByTheMSTime(31, 0, index, false));
    ASSERT_TRUE(store.getDataByTheMSTime(99, 1, index, true));
    EXPECT_EQ(index, 3u);
    EXPECT_FALSE(store.getDataByTheMSTime(0, 4, index, false));  // start beyond the end
    EXPECT_TRUE(store.getFirstDataTime(t, d));
}
