// Pictures of the demo window for the documentation: the entry list, the
// overlay during a download and a message panel.
#pragma once

#include <QString>

class MainWindow;

int takeScreenshots(MainWindow& window, const QString& folder);
