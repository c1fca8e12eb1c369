// Pictures of the demo window for the documentation: the entry list, the
// overlay during a download, the preview, the live view of the Measure panel,
// the sensors overview, three sensors live at once with markers, and a
// message panel.
#pragma once

#include <QString>

class MainWindow;

int takeScreenshots(MainWindow& window, const QString& folder);
