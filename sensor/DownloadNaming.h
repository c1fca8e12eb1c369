// Names of the download output: the day folder and the CSV file.
#pragma once

#include <string>

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

// A device name made safe as part of a file name: "/", control characters
// and invalid UTF-8 become "_", and the name is cut to at most 100 bytes (at
// a character boundary). The name shown to the user stays as it is.
std::string safeFileNamePart(const std::string& name);

// "<dayFolder>/memdata_<name>_YYYY-MM-DD_hhmmss.mmm[-FILT].csv".
std::string csvFilePath(const std::string& dayFolder, const std::string& sensorName,
                        const EntryStart& start, bool filtered);
