// Markers of a recording-only session (vraxctl record): no process runs
// while the sensors record, so `record` notes the session in its --out
// folder (its start on host time and its events file, made at once) and
// `vraxctl mark` appends one whole line to that events file later: onset
// (seconds from the session's start), duration, trial_type, utc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sensor/SensorSession.h"
#include "store/MarkerLog.h"

namespace cli {

// The note of the recording sessions in the --out folder, one line each.
inline constexpr const char* kRecordingNote = "vraxctl-recording.tsv";
inline constexpr const char* kRecordingNoteHeader = "start_utc\tevents\n";
// Columns of the events file of a recording session (host time only).
using markers::kHostEventsHeader;

struct RecordingSession {
    int64_t startUtcMs = 0;
    std::string eventsPath;  // absolute
};

// Makes the events file of a session starting at `startUtcMs` (host UTC) in
// `dayFolder` (events.tsv, a numbered name when taken) and notes the session
// in `outFolder`. Its events file, or nothing with `why` set.
std::optional<std::string> noteRecordingSession(const std::string& outFolder,
                                                const std::string& dayFolder, int64_t startUtcMs,
                                                std::string& why);

// The session noted last in `outFolder`; nothing when none is noted (`why`
// empty) or the note cannot be read (`why` says so). Reads only the note's end.
std::optional<RecordingSession> lastRecordingSession(const std::string& outFolder,
                                                     std::string& why);

// Appends one event (text already a TSV field) at `utcMs` to the session's events file.
bool addRecordingMarker(const RecordingSession& session, const std::string& field, int64_t utcMs,
                        std::string& why);

// After `record` started (or scheduled, at `at`) a recording: notes the
// session in the save folder so that `vraxctl mark` can add events; says
// where they go, or warns.
void noteRecording(const std::string& saveFolder, const std::optional<session::ClockTime>& at);

}  // namespace cli
