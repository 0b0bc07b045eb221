// XmemlWriter: the text of one xmeml (FCP7 XML, version 4) document from a take's
// TimelineModel, in either layout. Pure: no files, no clock, no state kept between calls.
// The layout comes from the model; this file only spells it as xmeml does: ids, file elements
// defined once and referenced after, links by track and clip position, sequence markers.
#pragma once

#include "recording/TimelineModel.h"

#include <QByteArray>

// Lines end in "\n"; the file writer turns them into the platform's text line ending.
QByteArray writeXmemlDocument(const TimelineModel &model, TimelineLayout layout = TimelineLayout::ProgrammeCut);
