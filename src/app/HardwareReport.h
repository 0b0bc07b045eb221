// The hardware report the settings window shows: a GPU text, a CPU text, a one-line summary of
// hardware encoding and the list of encoders a take may use. Everything but readCpuFacts() is a
// pure function of its inputs, so the rules can be checked for any machine.
//
// Encoder capability entries are maps with four strings:
//   name     display name: "Software H.264", "Software HEVC", "NVENC H.264", "NVENC HEVC",
//            "AMF H.264", "AMF HEVC", "QuickSync H.264", "QuickSync HEVC"
//   note     "CPU Encoding" for software entries, "Hardware Accelerated" for the others
//   codec    "h264" or "hevc"
//   encoder  the FFmpeg encoder that records with it ("libx264", "hevc_nvenc", "h264_vaapi",
//            on Windows "h264_amf", "h264_mf", ...)
// The list is always "Software H.264", "Software HEVC", then the hardware entries that open on
// this machine, NVENC before AMF before QuickSync and H.264 before HEVC within a vendor. A
// position in this list is what recordingEncoderIndex stores.
#pragma once

#include "app/GpuAdapters.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

// Which vendors' encoders the adapters suggest. An adapter name may set several marks.
struct GpuVendorMarks
{
    bool nvidia = false;
    bool amd = false;
    bool intel = false;
};

// Case-insensitive search of each name: "NVIDIA" marks NVIDIA, "AMD" or "Radeon" marks AMD,
// "Intel" marks Intel.
GpuVendorMarks vendorMarks(const QStringList &adapterNames);
GpuVendorMarks vendorMarks(const QList<GpuAdapter> &adapters);

// The adapter names joined by " | "; "No PCI GPU detected" when the bus was read but holds no
// named display device; "PCI bus scan failed" when the bus could not be read. On Windows the
// two texts are "No DXGI GPU detected" and "DXGI Factory creation failed".
QString gpuInfoText(const GpuAdapterScan &scan);

struct CpuFacts
{
    // "model name" of /proc/cpuinfo (or "Model"/"Hardware" on ARM); empty when unknown.
    QString modelName;
    // QSysInfo::currentCpuArchitecture(), for example "x86_64".
    QString architecture;
    // Distinct physical cores; 0 when /proc/cpuinfo does not tell.
    int physicalCores = 0;
    // Threads this process may run at once (QThread::idealThreadCount()).
    int threads = 1;
};

// Model name and physical core count from the text of /proc/cpuinfo. Cores are the distinct
// (physical id, core id) pairs; without those fields, "cpu cores" per distinct physical id.
CpuFacts parseCpuInfo(const QByteArray &procCpuInfo);

// Reads /proc/cpuinfo and asks Qt for the architecture and thread count.
CpuFacts readCpuFacts();

// "<model> (<architecture>) | <cores> cores, <threads> threads", for example
// "AMD EPYC 7763 64-Core Processor (x86_64) | 2 cores, 4 threads"; without a model name the
// architecture alone, without a core count only the threads ("x86_64 | 2 threads").
QString cpuInfoText(const CpuFacts &cpu);

// Says whether an FFmpeg encoder of this name opens here (FfmpegEncoder::isEncoderUsable in
// the program, fakes in tests).
using EncoderUsableFn = std::function<bool(const QString &encoderName)>;

// The FFmpeg encoder name suffixes a platform offers per vendor ("h264" or "hevc" + suffix).
// `shared` is the system's own hardware path, which opens the default device whatever its
// vendor (VAAPI on Linux, Media Foundation on Windows).
struct HardwareEncoderNames
{
    QString nvidia;
    QString amd;
    QString intel;
    QString shared;
};
// Linux: _nvenc, _vaapi (AMF's counterpart), _qsv, shared _vaapi.
HardwareEncoderNames linuxHardwareEncoders();
// Windows: _nvenc, _amf, _qsv, shared _mf.
HardwareEncoderNames windowsHardwareEncoders();
// The table of the platform this is built for.
HardwareEncoderNames platformHardwareEncoders();

// The capability list for these marks. Per vendor the hardware encoders tried are: NVIDIA its
// own; AMD its own, else the shared one; Intel its own, else the shared one when no AMF entry
// already records through it. On Linux: NVIDIA h264/hevc_nvenc; AMD h264/hevc_vaapi; Intel
// h264/hevc_qsv, else h264/hevc_vaapi. An entry appears only when canOpen says its encoder opens.
QVariantList encoderCapabilities(const GpuVendorMarks &marks, const EncoderUsableFn &canOpen,
                                 const HardwareEncoderNames &names = platformHardwareEncoders());

// Entries whose note is "Hardware Accelerated".
int hardwareEntryCount(const QVariantList &capabilities);

// "[AVAILABLE] Hardware encoding supported" when the list holds a hardware entry, else
// "[UNAVAILABLE] Hardware encoding not found".
QString hardwareSummaryText(const QVariantList &capabilities);

// What a take records with for an encoder index: the entry at that position, or the first
// (software H.264) when the index is outside the list.
struct EncoderChoice
{
    QString name;
    QString codec;
    QString encoder;
    bool isHardware = false;
};
EncoderChoice encoderChoiceAt(const QVariantList &capabilities, int index);

// The software encoder of a codec ("libx264" for "h264", "libx265" for "hevc"): what a take
// falls back to when a hardware encoder fails to open.
QString softwareEncoderFor(const QString &codec);

// The three texts and the list, ready for the manager's properties.
struct HardwareReport
{
    QString gpuInfo;
    QString cpuInfo;
    QString summary;
    QVariantList encoderCapabilities;
};
HardwareReport buildHardwareReport(const GpuAdapterScan &scan, const CpuFacts &cpu,
                                   const EncoderUsableFn &canOpen);
