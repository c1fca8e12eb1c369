// What export writes about each source beside its rows: the sidecar as HDF5
// attributes, and the model and range settings that pick its scales.
#pragma once

#include <QJsonObject>
#include <vector>

#include "tools/vraxctl/ExportSources.h"
#include "tools/vraxctl/Hdf5Export.h"
#include "tools/vraxctl/ScaleFile.h"

namespace cli {

// The sidecar flattened: nested keys joined by "_" ("sensor_name",
// "start_clock_offsetMs"), whole numbers as integers, arrays as JSON text.
std::vector<hdf5out::Attribute> sidecarAttributes(const QJsonObject& sidecar);

// The attributes that every list has, with the same value.
std::vector<hdf5out::Attribute> sharedAttributes(
    const std::vector<std::vector<hdf5out::Attribute>>& lists);

// The HDF5 file's own attributes: what made it, its layout, its sources'
// group names, and what every source's sidecar says alike about sensor,
// start and settings (not what describes one input file: name, size,
// hash, counts).
std::vector<hdf5out::Attribute> fileAttributes(
    const std::vector<std::string>& sources,
    const std::vector<std::vector<hdf5out::Attribute>>& groups);

// The source's model and range settings (those sent with its configuration,
// else those read at download), from its sidecar or its source's.
ScaleSubject scaleSubjectOf(const ExportSource& source);

}  // namespace cli
