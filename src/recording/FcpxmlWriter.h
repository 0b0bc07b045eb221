// FcpxmlWriter: one FCPXML document (version 1.9) from a take's TimelineModel, in either
// layout. Pure: no files, no clock.
//
// Version 1.9 is the newest that both Final Cut Pro (10.4.9 and later, every later version
// reads older documents) and DaVinci Resolve (17 and later) import; 1.10 and up need Final Cut
// Pro 10.6 and a newer Resolve, and nothing here needs what they added.
//
// Shape: one format (the sequence's frame duration and size), one asset per media file with
// its own start timecode, length and audio layout; a library with one event holding one
// project. Programme cut: the programme on the primary storyline (gaps where nothing was on
// air), the master and channel WAV tracks as connected audio clips below it. All angles: a gap
// over the whole take on the primary storyline with every camera connected above it in a lane
// of its own, the programme in the lane above them, the audio below. Every time is a rational
// number of seconds on the frame grid ("1001/30000s" steps at 29.97); markers sit on the
// storyline element that holds their frame.
#pragma once

#include "recording/TimelineModel.h"

#include <QByteArray>

QByteArray writeFcpxmlDocument(const TimelineModel &model, TimelineLayout layout = TimelineLayout::ProgrammeCut);
