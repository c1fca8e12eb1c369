#include "app/MeasureConfigFile.h"

#include <QFileDialog>

#include "app/MeasureSettingsForm.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/StdText.h"
#include "store/FileIO.h"

namespace configfile {

bool open(MeasureSettingsForm& form, const QString& path) {
    measure::Config c;
    std::string error;
    if (!measure::loadConfigFile(path8(path), c, error)) {
        MyTools::dispMessageOK(msg::configOpenFailed(qs(error), path), msg::error());
        return false;
    }
    // The battery's setting has no rate or averaging: the panel has no room for them.
    c[measure::Kind::batt].rate = c[measure::Kind::batt].average = 0;
    const measure::Config before = form.config();
    form.setConfig(c);
    // A value the controls cannot hold would be changed silently: refuse the file.
    if (!(form.config() == c)) {
        form.setConfig(before);
        MyTools::dispMessageOK(msg::configOpenFailed(msg::configBeyondControls(), path),
                               msg::error());
        return false;
    }
    return true;
}

bool save(const measure::Config& config, const QString& path) {
    const std::string target = path8(path);
    safeout::Existing existing = safeout::Existing::refuse;
    if (fileio::exists(target)) {
        if (MyTools::askQuestion(msg::replaceFilesQuestion({path}), msg::warning(),
                                 msg::replaceFilesButtons()) != msg::kReplaceFiles)
            return false;
        existing = safeout::Existing::replace;
    }
    std::string error;
    if (!measure::saveConfigFile(target, config, existing, error)) {
        MyTools::dispMessageOK(msg::configSaveFailed(qs(error), path), msg::error());
        return false;
    }
    return true;
}

QString chooseToOpen(QWidget* parent, const QString& folder) {
    return QFileDialog::getOpenFileName(
        parent, QStringLiteral("Open Measurement Settings"), folder,
        QStringLiteral("Measurement settings (*.json);;All files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog);
}

QString chooseToSave(QWidget* parent, const QString& folder) {
    QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save Measurement Settings"), folder,
        QStringLiteral("Measurement settings (*.json)"), nullptr,
        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty() && !path.endsWith(QStringLiteral(".json"))) path += QStringLiteral(".json");
    return path;
}

}  // namespace configfile
