// Names of the download output: the day folder and the CSV file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct EntryStart {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// "YYYY/MM/DD hh:mm:ss.mmm", the start time text of an entry list row.
std::string formatEntryStart(const EntryStart& start);
// Reads the fields back from their fixed positions; false when the text is too short.
bool parseEntryStart(const std::string& text, EntryStart& start);

// Today's date in local time: the day folder of a download started now.
void localToday(int& year, int& month, int& day);

// "<saveFolder>/memdata_YYYYMMDD".
std::string dayFolderPath(const std::string& saveFolder, int year, int month, int day);

// A device name made safe as part of a file name: "/", "~", control and
// bidirectional control characters and invalid UTF-8 become "_", and the
// name is cut to at most 100 bytes (at a character boundary). A name that
// had to change gets "~" and a fingerprint of the original appended, so
// that different names never give the same file name. The name shown to
// the user stays as it is.
std::string safeFileNamePart(const std::string& name);

// "<dayFolder>/memdata_<name>_YYYY-MM-DD_hhmmss.mmm[-eN][-FILT].csv"; the
// entry number N is part of the name only when given (above 0).
std::string csvFilePath(const std::string& dayFolder, const std::string& sensorName,
                        const EntryStart& start, bool filtered, int entryNumber = 0);

// "<dayFolder>/live_<name>_YYYY-MM-DD_hhmmss.mmm[-P].csv": the file of a
// live session started at `start` (the computer's time); P, from 0, numbers
// the parts of a session split into files of N lines (none: not split).
std::string liveFilePath(const std::string& dayFolder, const std::string& sensorName,
                         const EntryStart& start, int part = -1);

// True when another entry of the list starts at the same time as the one at
// `row`: their files are told apart by the entry number.
bool entryNeedsNumber(const std::vector<std::string>& startTexts, size_t row);

// A complete earlier download of an entry: `todayPath`, or the file of the
// same name in any other day folder under `saveFolder`, holding `expected`
// records (any count when the entry gives none).
std::optional<std::string> completeDownload(const std::string& saveFolder,
                                            const std::string& todayPath, int64_t expected);
