// OtioWriter: one OpenTimelineIO document (.otio, JSON) from a take's TimelineModel, in
// either layout. Pure: no files, no clock.
//
// A Timeline whose global start time is the take's timecode and whose stack holds the video
// tracks (bottom first) and then the audio tracks (the master first). Programme cut: one video
// track with the programme. All angles: every camera's track for the whole take and the
// programme above them. Clips refer to their files through external references whose available
// range starts at the file's own timecode; empty stretches are gaps; markers are the stack's.
// Schemas are written at the versions every OpenTimelineIO release since 0.12 reads
// (Clip.1 with its one media reference; newer releases upgrade it), times as RationalTime at
// the exact rate (30000/1001 for 29.97).
#pragma once

#include "recording/TimelineModel.h"

#include <QByteArray>

QByteArray writeOtioDocument(const TimelineModel &model, TimelineLayout layout = TimelineLayout::ProgrammeCut);
