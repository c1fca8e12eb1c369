// The markers of a live session in the window: events.tsv in the session's
// day folder (the store's events writer, as vraxctl's live writes it) and
// the marker waiting for its label (the time of the Mark press, the label
// typed after it).
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "store/MarkerLog.h"

class LiveMarkers {
  public:
    // A new session of `sensors` (their names) saving into `saveFolder`.
    void begin(const std::string& saveFolder, const std::vector<std::string>& sensors,
               int64_t startUtcMs);
    bool active() const { return log.has_value(); }
    void setTimePair(size_t sensor, const TimePair& pair);

    // A marker at `utcMs` waits for its label (a waiting one is added first).
    // False when that one could not be written.
    bool hold(int64_t utcMs);
    bool holding() const { return heldAt.has_value(); }
    std::optional<int64_t> heldTime() const { return heldAt; }
    // Adds the waiting marker with `label` (empty: unnamed); false when it
    // could not be written (error() says why).
    bool commit(const QString& label);
    void drop() { heldAt.reset(); }

    // Adds a marker at once; false when it could not be written.
    bool add(const QString& label, int64_t utcMs);
    uint64_t events() const { return log ? log->events() : 0; }
    // Ends the session: the waiting marker is added with `label`, events.tsv
    // published. Its path, or empty (none written, or error() says why).
    QString finish(const QString& label);
    QString error() const { return why; }

  private:
    std::optional<markers::MarkerLog> log;
    std::optional<int64_t> heldAt;
    QString why;
};
