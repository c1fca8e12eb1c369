// export --scale: the user's scale factors, per sensor model and range
// setting, that turn raw counts into physical units. The records carry
// counts of known bit widths but no units, so vraxctl never has factors of
// its own: only the ones the user wrote in this file.
//
//   {"scales": [
//     {"model": "VRAX610", "quantity": "acc", "accRange": 0,
//      "factor": 0.000123, "unit": "g"},
//     {"model": "VRAX610", "quantity": "pressure", "factor": 0.01, "unit": "hPa"}]}
//
// Quantities: acc and gyro (each needs its range setting, "accRange" or
// "gyroRange", 0-3, as in the measurement configuration), geo, quaternion,
// pressure, temperature, battery, ad (ext's ad_0 and ad_1), ad16 (ext16ad's
// raw and filtered values).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/TidyColumns.h"

namespace cli {

struct ScaleRule {
    std::string model, quantity;
    std::optional<int> range;  // the range setting, for acc and gyro
    double factor = 0;
    std::string unit;
};

// What a source's sidecar says about it.
struct ScaleSubject {
    std::string model;
    std::optional<int> accRange, gyroRange;
};

class ScaleFile {
  public:
    // Reads and checks the file (at most 64 KiB); false with `error` naming
    // the line or the entry and key at fault, and unreadable() when the
    // file could not be read at all.
    bool load(const std::string& path, std::string& error);
    bool unreadable() const { return unreadable_; }
    // Reads the text itself (what load reads), for tests.
    bool parse(const std::string& text, std::string& error);
    // The scales that apply to `subject`; `notes` gets why a quantity the
    // file has for its model stays in counts (its range is not known).
    tidy::Scales scalesFor(const ScaleSubject& subject, std::vector<std::string>& notes) const;
    const std::vector<ScaleRule>& rules() const { return rules_; }

  private:
    std::vector<ScaleRule> rules_;
    bool unreadable_ = false;
};

}  // namespace cli
