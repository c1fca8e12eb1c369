// Every text the preview shows, in one place. The status line and the
// messages are Japanese, like the main window's; control labels, chart
// titles, track names and axis titles are English. "%1", "%L1"… are filled
// in with QString::arg ("%L": the locale's digit grouping). No Qt here: the
// file loader, which builds without Qt, takes its texts from this table too.
#pragma once

#include <array>
#include <string>

namespace preview::text {

// ---- status line (Japanese) ---------------------------------------------------

// Records, seconds from the first to the last sample, missing stretches.
inline constexpr const char* kStatus = "%L1 レコード，%2 秒，欠損 %3 箇所";
// Appended when some lines of the file gave no record.
inline constexpr const char* kStatusSkipped = "，読み取れない行 %L1 行";

// ---- messages (Japanese) ------------------------------------------------------

inline constexpr const char* kUnreadableFile =
    "ファイルを読み込めないか，テキストファイルではありません．";
inline constexpr const char* kNoSamples = "ファイルに既知の種類のデータがありません．";

// A message with the file it is about on a line of its own, as the main
// window shows paths.
inline std::string withPath(const char* message, const std::string& path) {
    return std::string(message) + "\n(" + path + ")";
}

// ---- the same reasons in English, for command lines -------------------------

inline constexpr const char* kUnreadableFileEnglish = "cannot be read, or it is not a text file";
inline constexpr const char* kNoSamplesEnglish = "holds no samples of a known kind";

// ---- controls (English) -------------------------------------------------------

inline constexpr const char* kShowAll = "Show All";
inline constexpr const char* kHint =
    "Drag: zoom in · wheel: zoom · middle button or Ctrl-drag: pan · double-click: all · "
    "legend: show or hide · Esc: close";

// ---- axes (English) -----------------------------------------------------------

inline constexpr const char* kTimeAxis = "Time (s)";
// Value labels scaled by 10^3, 10^6 and 10^9.
inline constexpr std::array<const char*, 3> kThousandsSuffixes = {"k", "M", "G"};

// ---- chart titles and track names (English) -----------------------------------

inline constexpr const char* kAccelerationAgs = "Acceleration (ags)";
inline constexpr const char* kAngularVelocityAgs = "Angular velocity (ags)";
inline constexpr const char* kQuaternionQags = "Quaternion (qags)";
inline constexpr const char* kAccelerationQags = "Acceleration (qags)";
inline constexpr const char* kAngularVelocityQags = "Angular velocity (qags)";
inline constexpr const char* kGeomagnetism = "Geomagnetism";
inline constexpr const char* kPressure = "Pressure";
inline constexpr const char* kTemperature = "Temperature";
inline constexpr const char* kBattery = "Battery";
inline constexpr const char* kExternalPorts = "External inputs: ports";
inline constexpr const char* kExternalAd = "External inputs: AD";
inline constexpr const char* kAd16Raw = "16-bit AD raw";
inline constexpr const char* kAd16Filtered = "16-bit AD filtered";

inline constexpr std::array<const char*, 3> kAccTracks = {"acc x", "acc y", "acc z"};
inline constexpr std::array<const char*, 3> kGyroTracks = {"gyro x", "gyro y", "gyro z"};
inline constexpr std::array<const char*, 4> kQuaternionTracks = {"q0", "q1", "q2", "q3"};
inline constexpr std::array<const char*, 3> kGeoTracks = {"geo x", "geo y", "geo z"};
inline constexpr std::array<const char*, 1> kPressureTracks = {"pressure"};
inline constexpr std::array<const char*, 1> kTemperatureTracks = {"temperature"};
inline constexpr std::array<const char*, 2> kBatteryTracks = {"battery value 0", "battery value 1"};
inline constexpr std::array<const char*, 4> kPortTracks = {"port 0", "port 1", "port 2", "port 3"};
inline constexpr std::array<const char*, 2> kAdTracks = {"AD 0", "AD 1"};
inline constexpr std::array<const char*, 4> kAd16Tracks = {"AD16 0", "AD16 1", "AD16 2", "AD16 3"};
inline constexpr std::array<const char*, 4> kAd16FilteredTracks = {
    "AD16 0 filtered", "AD16 1 filtered", "AD16 2 filtered", "AD16 3 filtered"};

}  // namespace preview::text
