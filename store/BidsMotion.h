// The pieces of a BIDS motion dataset that depend on our records only:
// labels, file names, the channels of each kind of record, and the rows of
// the motion and channels tables. The front end strings them together.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/SensorDataRecord.h"
#include "store/TidyColumns.h"

namespace bids {

inline constexpr const char* kBidsVersion = "1.9.0";

// A BIDS label: letters and digits only ("VRAX610-001" -> "VRAX610001");
// empty when nothing is left.
std::string label(const std::string& text);

struct Entities {
    std::string subject, session, task;  // labels; session may be empty
};

// "sub-S[_ses-X]".
std::string subjectPrefix(const Entities& e);
// "sub-S[/ses-X]/motion".
std::string motionFolder(const Entities& e);
// "sub-S[_ses-X]_task-T_tracksys-K_<suffix>" (suffix: "motion.tsv", "channels.tsv", "motion.json").
std::string motionName(const Entities& e, const std::string& tracksys, const std::string& suffix);
// "sub-S[_ses-X]_task-T_events.tsv".
std::string eventsName(const Entities& e);
// "sub-S[/ses-X]/sub-S[_ses-X]_scans.tsv".
std::string scansPath(const Entities& e);

struct Channel {
    std::string name;       // our column name ("acc_x")
    std::string type;       // ACCEL, GYRO, MAGN, ORNT, LATENCY, MISC
    std::string component;  // x, y, z, quat_w..., n/a
    std::string units;      // "s" for latency; raw "count" (or the scale file's unit)
};

// The channels of a kind's motion table, in column order: a latency
// channel (seconds from the first sample), then the kind's values: raw
// counts, or in the unit of the value's scale where `scales` has one.
std::vector<Channel> channels(int dataType, const std::string& trackedPoint,
                              const tidy::Scales& scales = {});

// Channel counts of a motion sidecar ("ACCELChannelCount": n, ...) as JSON
// members with a trailing comma each, plus "MotionChannelCount".
std::string channelCountMembers(const std::vector<Channel>& chans);

// The channels table (with header).
std::string channelsTable(const std::vector<Channel>& chans, const std::string& trackedPoint,
                          double samplingFrequency);

// One motion row: latency in seconds from `originMs`, then the values
// (scaled where `scales` has a scale). Tab separated, no header (the
// channels table names the columns).
void appendMotionRow(std::string& out, const SensorDataRecord& r, int64_t originMs,
                     const tidy::Scales& scales = {});

}  // namespace bids
