// XmemlWriter: the text of one xmeml (FCP7 XML, version 4) timeline document from a
// TimelineExportJob, in either layout. Pure: no files, no clock, no state kept between calls.
// Both layouts share every element writer (sequence frame, clip items, file elements, audio
// tracks, links); only where the video clips go differs (XmemlVideoLayout). The job is made by
// TimelineExport.cpp from the recorded take; tests reach this through buildXmemlDocument().
#pragma once

#include "recording/TimelineJob.h"

#include <QByteArray>

QByteArray writeXmemlDocument(const TimelineExportJob &job,
                              TimelineLayout layout = TimelineLayout::ProgrammeCut);
