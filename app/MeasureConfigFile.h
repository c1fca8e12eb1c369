// The measurement configuration as a JSON file: opened into the settings
// form, saved from a configuration, and the dialogs that choose the file.
#pragma once

#include <QString>

#include "sensor/MeasureConfig.h"

class MeasureSettingsForm;
class QWidget;

namespace configfile {

// Sets the form from the file; false after telling the user why (the form
// is left as it was, also when the file holds a value its controls cannot).
bool open(MeasureSettingsForm& form, const QString& path);
// Saves `config`; a file in the way is replaced only when the user agrees.
// False after a message, or when the user declined.
bool save(const measure::Config& config, const QString& path);

// The file dialogs; an empty path when cancelled. The saved file ends in .json.
QString chooseToOpen(QWidget* parent, const QString& folder);
QString chooseToSave(QWidget* parent, const QString& folder);

}  // namespace configfile
