// Save As… of a live session: the records of the CSV files it streamed,
// written again as a binary dump or as CSV files of N lines.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace livesave {

// The dialog: the chosen path (empty when cancelled), and whether the
// binary dump was chosen.
QString choose(QWidget* parent, const QString& folder, bool& binary);
// Writes the records of `streamed` under `path`: a binary dump (.bin), or
// CSV files of `linesPerFile` lines (0: one file). Files in the way are
// replaced only when the user agrees. The files written; none after a
// message, or when the user declined.
std::optional<QStringList> save(const QStringList& streamed, const QString& path, bool binary,
                                int linesPerFile);

}  // namespace livesave
