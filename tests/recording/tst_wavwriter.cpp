// WavWriter: files are checked by reading their bytes back, never by asking the writer; a
// Broadcast WAV file also as libavformat (ffprobe) reads it.
#include "recording/WavWriter.h"

#include "MediaReadback.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <limits>
#include <optional>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#endif

namespace {

struct ParsedWav
{
    QByteArray riffTag, waveTag, fmtTag, dataTag;
    quint32 riffSize = 0, fmtSize = 0, sampleRate = 0, byteRate = 0, dataSize = 0;
    quint16 format = 0, channels = 0, blockAlign = 0, bitsPerSample = 0;
    qint64 fileSize = 0;
    QList<qint16> samples; // the samples the header's data size covers
};

std::optional<ParsedWav> parseWav(const QByteArray &bytes)
{
    if (bytes.size() < 44)
        return std::nullopt;
    const char *b = bytes.constData();
    ParsedWav w;
    w.riffTag = bytes.mid(0, 4);
    w.riffSize = qFromLittleEndian<quint32>(b + 4);
    w.waveTag = bytes.mid(8, 4);
    w.fmtTag = bytes.mid(12, 4);
    w.fmtSize = qFromLittleEndian<quint32>(b + 16);
    w.format = qFromLittleEndian<quint16>(b + 20);
    w.channels = qFromLittleEndian<quint16>(b + 22);
    w.sampleRate = qFromLittleEndian<quint32>(b + 24);
    w.byteRate = qFromLittleEndian<quint32>(b + 28);
    w.blockAlign = qFromLittleEndian<quint16>(b + 32);
    w.bitsPerSample = qFromLittleEndian<quint16>(b + 34);
    w.dataTag = bytes.mid(36, 4);
    w.dataSize = qFromLittleEndian<quint32>(b + 40);
    w.fileSize = bytes.size();
    if (w.dataSize % 2 != 0 || 44 + qint64(w.dataSize) > bytes.size())
        return std::nullopt; // a header that promises samples the file does not hold
    for (qint64 i = 0; i < w.dataSize / 2; ++i)
        w.samples.append(qFromLittleEndian<qint16>(b + 44 + 2 * i));
    return w;
}

std::optional<ParsedWav> parseWavFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseWav(file.readAll());
}

// Sample i of a test signal whose 16-bit value is known without the writer's conversion:
// k/256 × 32767 is exact in float, so the expected value is the integer quotient.
float patternSample(qint64 i)
{
    return float((i * 37) % 513 - 256) / 256.0f;
}

qint16 expectedPattern(qint64 i)
{
    return qint16(((i * 37) % 513 - 256) * 32767 / 256);
}

std::vector<float> patternChunk(qint64 first, qint64 count)
{
    std::vector<float> chunk(static_cast<size_t>(count));
    for (qint64 i = 0; i < count; ++i)
        chunk[size_t(i)] = patternSample(first + i);
    return chunk;
}

// First index where the file's samples differ from the test signal, or -1.
qint64 firstPatternMismatch(const QList<qint16> &samples)
{
    for (qint64 i = 0; i < samples.size(); ++i)
        if (samples[i] != expectedPattern(i))
            return i;
    return -1;
}

void verifyFormatFields(const ParsedWav &w, int sampleRate, int channels)
{
    QCOMPARE(w.riffTag, QByteArray("RIFF"));
    QCOMPARE(w.riffSize, w.dataSize + 36);
    QCOMPARE(w.waveTag, QByteArray("WAVE"));
    QCOMPARE(w.fmtTag, QByteArray("fmt "));
    QCOMPARE(w.fmtSize, 16u);
    QCOMPARE(w.format, quint16(1));
    QCOMPARE(w.channels, quint16(channels));
    QCOMPARE(w.sampleRate, quint32(sampleRate));
    QCOMPARE(w.byteRate, quint32(sampleRate * channels * 2));
    QCOMPARE(w.blockAlign, quint16(channels * 2));
    QCOMPARE(w.bitsPerSample, quint16(16));
    QCOMPARE(w.dataTag, QByteArray("data"));
}

} // namespace

class TestWavWriter : public QObject
{
    Q_OBJECT

private slots:
    void exactBytesOfSmallFile();
    void headerAfterClose_data();
    void headerAfterClose();
    void sampleConversion_data();
    void sampleConversion();
    void abandonedFileStaysPlayable_data();
    void abandonedFileStaysPlayable();
    void openRefused_data();
    void openRefused();
    void writeErrorBecomesState();
    void reopenAndDoubleClose();
    void formatSizeLimit_data();
    void formatSizeLimit();
    void samplesThatFit_data();
    void samplesThatFit();
    void fileStopsGrowingAtLimit();
    void broadcastWavChunk_data();
    void broadcastWavChunk();

private:
    QTemporaryDir m_dir;
};

void TestWavWriter::exactBytesOfSmallFile()
{
    const QString path = m_dir.filePath("small.wav");
    WavWriter writer;
    QVERIFY(writer.open(path, 48000, 2));
    writer.writeSamples(std::vector<float>{0.0f, 1.0f, -1.0f, 0.5f});
    writer.close();

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = QByteArray::fromHex(
        "52494646" "2c000000" "57415645"           // "RIFF", 8 + 36, "WAVE"
        "666d7420" "10000000" "0100" "0200"        // "fmt ", 16, PCM, 2 channels
        "80bb0000" "00ee0200" "0400" "1000"        // 48000 Hz, 192000 B/s, align 4, 16 bits
        "64617461" "08000000"                      // "data", 8 bytes
        "0000" "ff7f" "0180" "ff3f");              // 0, 32767, -32767, 16383
    QCOMPARE(file.readAll().toHex(), expected.toHex());
}

void TestWavWriter::headerAfterClose_data()
{
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("sampleCount");
    QTest::addColumn<int>("chunk");

    QTest::newRow("closed without samples") << 48000 << 2 << 0 << 1;
    QTest::newRow("one second of 48 kHz stereo") << 48000 << 2 << 96000 << 2400;
    QTest::newRow("mono 44.1 kHz, odd count") << 44100 << 1 << 3 << 3;
    QTest::newRow("six channels at 96 kHz") << 96000 << 6 << 6000 << 600;
    QTest::newRow("three seconds, past two refreshes") << 48000 << 2 << 288000 << 2400;
}

void TestWavWriter::headerAfterClose()
{
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(int, sampleCount);
    QFETCH(int, chunk);

    const QString path = m_dir.filePath(QStringLiteral("fields_%1.wav").arg(QTest::currentDataTag()));
    WavWriter writer;
    QVERIFY(writer.open(path, sampleRate, channels));
    for (int first = 0; first < sampleCount; first += chunk)
        writer.writeSamples(patternChunk(first, std::min(chunk, sampleCount - first)));
    writer.close();
    QVERIFY(!writer.hasError());
    QCOMPARE(writer.samplesWritten(), qint64(sampleCount));

    const auto wav = parseWavFile(path);
    QVERIFY(wav);
    verifyFormatFields(*wav, sampleRate, channels);
    QCOMPARE(wav->dataSize, quint32(sampleCount * 2));
    QCOMPARE(wav->fileSize, 44 + qint64(sampleCount) * 2);
    QCOMPARE(firstPatternMismatch(wav->samples), qint64(-1));
}

void TestWavWriter::sampleConversion_data()
{
    QTest::addColumn<float>("input");
    QTest::addColumn<int>("expected");

    QTest::newRow("1.5 clamps") << 1.5f << 32767;
    QTest::newRow("1.0") << 1.0f << 32767;
    QTest::newRow("0.5 truncates") << 0.5f << 16383;
    QTest::newRow("-0.5 truncates toward zero") << -0.5f << -16383;
    QTest::newRow("-1.0") << -1.0f << -32767;
    QTest::newRow("-1.5 clamps to the int16 minimum") << -1.5f << -32768;
    QTest::newRow("0.25") << 0.25f << 8191;
    QTest::newRow("-0.25") << -0.25f << -8191;
    QTest::newRow("largest float below 1") << std::nextafter(1.0f, 0.0f) << 32766;
    QTest::newRow("just under one step") << 0.99f / 32767.0f << 0;
    QTest::newRow("just under minus one step") << -0.99f / 32767.0f << 0;
    QTest::newRow("negative zero") << -0.0f << 0;
    QTest::newRow("+infinity") << std::numeric_limits<float>::infinity() << 32767;
    QTest::newRow("-infinity") << -std::numeric_limits<float>::infinity() << -32768;
    QTest::newRow("NaN is silence, not a click") << std::numeric_limits<float>::quiet_NaN() << 0;
}

void TestWavWriter::sampleConversion()
{
    QFETCH(float, input);
    QFETCH(int, expected);

    const QString path = m_dir.filePath("conversion.wav");
    WavWriter writer;
    QVERIFY(writer.open(path, 48000, 1));
    writer.writeSamples(&input, 1);
    writer.close();

    const auto wav = parseWavFile(path);
    QVERIFY(wav);
    QCOMPARE(wav->samples.size(), qsizetype(1));
    QCOMPARE(int(wav->samples.first()), expected);
}

void TestWavWriter::abandonedFileStaysPlayable_data()
{
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("calls");
    QTest::addColumn<int>("coveredSamples"); // what the header must describe after the crash

    QTest::newRow("under two seconds: valid empty header") << 48000 << 2 << 2400 << 10 << 0;
    QTest::newRow("refresh right at two seconds") << 48000 << 2 << 2400 << 100 << 192000;
    QTest::newRow("uneven ticks cross two seconds") << 48000 << 2 << 2998 << 100 << 194870;
    QTest::newRow("several refreshes") << 48000 << 2 << 2400 << 200 << 384000;
    QTest::newRow("mono 8 kHz") << 8000 << 1 << 100 << 400 << 32000;
}

void TestWavWriter::abandonedFileStaysPlayable()
{
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(int, chunk);
    QFETCH(int, calls);
    QFETCH(int, coveredSamples);

    const QString path = m_dir.filePath("crash.wav");
    const QString snapshot = m_dir.filePath("crash_snapshot.wav");
    QFile::remove(snapshot);

    WavWriter writer;
    QVERIFY(writer.open(path, sampleRate, channels));
    for (int call = 0; call < calls; ++call)
        writer.writeSamples(patternChunk(qint64(call) * chunk, chunk));
    // The file as a crash right now would leave it: the writer is still open.
    QVERIFY(QFile::copy(path, snapshot));
    QVERIFY(writer.isOpen());

    const auto wav = parseWavFile(snapshot);
    QVERIFY(wav);
    verifyFormatFields(*wav, sampleRate, channels);
    QCOMPARE(wav->dataSize, quint32(coveredSamples) * 2);
    QCOMPARE(wav->fileSize, 44 + qint64(chunk) * calls * 2);
    QCOMPARE(firstPatternMismatch(wav->samples), qint64(-1));
}

void TestWavWriter::openRefused_data()
{
    QTest::addColumn<QString>("path"); // relative paths lie in the test folder
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<bool>("mustNotExist");

    QTest::newRow("folder does not exist") << "no/such/folder/a.wav" << 48000 << 2 << true;
    QTest::newRow("path is a folder") << "." << 48000 << 2 << false;
    QTest::newRow("read-only folder") << "readonly/a.wav" << 48000 << 2 << true;
    if (QFile::exists("/dev/full"))
        QTest::newRow("disk full at open") << "/dev/full" << 48000 << 2 << false;
    QTest::newRow("zero channels") << "zero_channels.wav" << 48000 << 0 << true;
    QTest::newRow("zero sample rate") << "zero_rate.wav" << 0 << 2 << true;
    QTest::newRow("block align beyond 16 bits") << "many_channels.wav" << 48000 << 40000 << true;
}

void TestWavWriter::openRefused()
{
    QFETCH(QString, path);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(bool, mustNotExist);

    if (path.startsWith("readonly/")) {
        QVERIFY(QDir(m_dir.path()).mkpath("readonly"));
        const QString folder = m_dir.filePath("readonly");
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        QFile probe(m_dir.filePath("readonly/probe"));
        if (probe.open(QIODevice::WriteOnly)) {
            probe.remove();
            QSKIP("This user can write into a read-only folder (root).");
        }
    }
    if (QDir::isRelativePath(path))
        path = m_dir.filePath(path);

    WavWriter writer;
    QVERIFY(!writer.open(path, sampleRate, channels));
    QVERIFY(!writer.isOpen());
    QVERIFY(writer.hasError());
    QVERIFY(!writer.errorString().isEmpty());

    writer.writeSamples(patternChunk(0, 2400));
    QCOMPARE(writer.samplesWritten(), qint64(0));
    writer.close();
    QVERIFY(!writer.isOpen());
    if (mustNotExist)
        QVERIFY(!QFile::exists(path));
}

void TestWavWriter::writeErrorBecomesState()
{
#if defined(Q_OS_LINUX)
    // A file size limit makes the kernel refuse writes past it, exactly as a full disk does,
    // but only for this process. The odd limit leaves half a sample in the file.
    const QString path = m_dir.filePath("full_disk.wav");
    WavWriter writer;
    QVERIFY(writer.open(path, 48000, 2));
    writer.writeSamples(patternChunk(0, 4000)); // 8 000 bytes: still fits

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 44 + 10001;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    writer.writeSamples(patternChunk(4000, 4000)); // only 2 001 of 8 000 bytes fit
    writer.writeSamples(patternChunk(8000, 2400));
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(writer.hasError());
    // The system's own reason, not a generic "short write".
    QVERIFY2(writer.errorString().contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(writer.errorString()));
    QCOMPARE(writer.samplesWritten(), qint64(5000));
    QCOMPARE(writer.droppedSamples(), qint64(3000 + 2400));
    QVERIFY(writer.isOpen()); // the caller decides when the take stops

    writer.close();
    const auto wav = parseWavFile(path);
    QVERIFY(wav);
    verifyFormatFields(*wav, 48000, 2);
    QCOMPARE(wav->dataSize, 10000u); // whole samples only, never the stray byte
    QCOMPARE(firstPatternMismatch(wav->samples), qint64(-1));
#else
    QSKIP("Needs RLIMIT_FSIZE to simulate a full disk.");
#endif
}

void TestWavWriter::reopenAndDoubleClose()
{
    const QString first = m_dir.filePath("reopen_a.wav");
    const QString second = m_dir.filePath("reopen_b.wav");
    WavWriter writer;

    // A failed open leaves an error that the next good open clears.
    QVERIFY(!writer.open(m_dir.filePath("missing/x.wav"), 48000, 2));
    QVERIFY(writer.open(first, 48000, 2));
    QVERIFY(!writer.hasError());
    writer.writeSamples(patternChunk(0, 2400));

    // Opening another file while open finalises the first one.
    QVERIFY(writer.open(second, 44100, 1));
    QCOMPARE(writer.path(), second);
    QCOMPARE(writer.samplesWritten(), qint64(0));
    const auto a = parseWavFile(first);
    QVERIFY(a);
    verifyFormatFields(*a, 48000, 2);
    QCOMPARE(a->dataSize, 4800u);
    QCOMPARE(a->fileSize, qint64(44 + 4800));

    writer.writeSamples(patternChunk(0, 100));
    writer.close();
    // Another program appends after the take; a second close must not touch the file.
    {
        QFile file(second);
        QVERIFY(file.open(QIODevice::Append));
        file.write("LIST");
    }
    writer.close();
    writer.writeSamples(patternChunk(0, 100));
    QFile b(second);
    QVERIFY(b.open(QIODevice::ReadOnly));
    const QByteArray bBytes = b.readAll();
    QCOMPARE(bBytes.size(), qsizetype(44 + 200 + 4));
    QCOMPARE(qFromLittleEndian<quint32>(bBytes.constData() + 40), 200u);

    // Reusing the first path truncates the old take.
    QVERIFY(writer.open(first, 96000, 2));
    writer.close();
    const auto again = parseWavFile(first);
    QVERIFY(again);
    verifyFormatFields(*again, 96000, 2);
    QCOMPARE(again->fileSize, qint64(44));
}

void TestWavWriter::formatSizeLimit_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("otherChunkBytes"); // chunks between "fmt " and "data"
    QTest::addColumn<quint32>("maxDataBytes");

    // RIFF size = everything after offset 8 must fit in 32 unsigned bits, in whole frames.
    QTest::newRow("mono") << 1 << 0 << 4294967258u;
    QTest::newRow("stereo") << 2 << 0 << 4294967256u;
    QTest::newRow("six channels") << 6 << 0 << 4294967256u;
    QTest::newRow("eight channels") << 8 << 0 << 4294967248u;
    // A bext chunk of 648 bytes (a 692-byte header) leaves that much less room for samples.
    QTest::newRow("mono, Broadcast WAV") << 1 << 648 << 4294966610u;
    QTest::newRow("stereo, Broadcast WAV") << 2 << 648 << 4294966608u;
}

void TestWavWriter::formatSizeLimit()
{
    QFETCH(int, channels);
    QFETCH(int, otherChunkBytes);
    QFETCH(quint32, maxDataBytes);

    const QByteArray chunks(otherChunkBytes, 'x');
    QCOMPARE(WavFormat::maxDataBytes(channels, 44 + otherChunkBytes), maxDataBytes);

    // Asking for a header beyond the limit must not wrap the RIFF size round to a small number.
    for (quint32 requested : {maxDataBytes, std::numeric_limits<quint32>::max()}) {
        const QByteArray header = WavFormat::header(48000, channels, requested, chunks);
        QCOMPARE(header.size(), 44 + otherChunkBytes);
        QCOMPARE(qFromLittleEndian<quint32>(header.constData() + header.size() - 4), maxDataBytes);
        QCOMPARE(qFromLittleEndian<quint32>(header.constData() + 4), maxDataBytes + 36 + quint32(otherChunkBytes));
    }
}

void TestWavWriter::samplesThatFit_data()
{
    QTest::addColumn<qint64>("samplesWritten");
    QTest::addColumn<qint64>("requested");
    QTest::addColumn<qint64>("expected");

    const qint64 stereoLimit = 4294967256 / 2; // samples of 16 bits
    QTest::newRow("empty file") << qint64(0) << qint64(2400) << qint64(2400);
    QTest::newRow("past 2^31 bytes, still room") << (qint64(1) << 30) + 1000 << qint64(2400) << qint64(2400);
    QTest::newRow("one tick before the limit") << stereoLimit - 2400 << qint64(2400) << qint64(2400);
    QTest::newRow("tick crosses the limit") << stereoLimit - 1000 << qint64(2400) << qint64(1000);
    QTest::newRow("at the limit") << stereoLimit << qint64(2400) << qint64(0);
    QTest::newRow("beyond the limit") << stereoLimit + 10 << qint64(2400) << qint64(0);
    QTest::newRow("nothing requested") << qint64(0) << qint64(0) << qint64(0);
    QTest::newRow("negative count") << qint64(0) << qint64(-5) << qint64(0);
}

void TestWavWriter::samplesThatFit()
{
    QFETCH(qint64, samplesWritten);
    QFETCH(qint64, requested);
    QFETCH(qint64, expected);

    QCOMPARE(WavFormat::samplesThatFit(samplesWritten, requested, WavFormat::maxDataBytes(2)), expected);
}

void TestWavWriter::fileStopsGrowingAtLimit()
{
    const QString path = m_dir.filePath("full.wav");
    const QString snapshot = m_dir.filePath("full_snapshot.wav");
    WavWriter writer;
    writer.setDataSizeLimitBytes(10002); // rounds down to 2 500 whole stereo frames
    QVERIFY(writer.open(path, 48000, 2));

    writer.writeSamples(patternChunk(0, 3000));
    QVERIFY(!writer.isFull());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^\\[WavWriter\\] Size limit"));
    writer.writeSamples(patternChunk(3000, 3000));
    writer.writeSamples(patternChunk(6000, 100));

    QVERIFY(writer.isFull());
    QVERIFY(!writer.hasError()); // the file is complete, not broken
    QCOMPARE(writer.samplesWritten(), qint64(5000));
    QCOMPARE(writer.droppedSamples(), qint64(1000 + 100));

    // The header describes the full file at once, not only after close.
    QVERIFY(QFile::copy(path, snapshot));
    const auto wav = parseWavFile(snapshot);
    QVERIFY(wav);
    verifyFormatFields(*wav, 48000, 2);
    QCOMPARE(wav->dataSize, 10000u);
    QCOMPARE(wav->fileSize, qint64(44 + 10000));
    QCOMPARE(firstPatternMismatch(wav->samples), qint64(-1));
    writer.close();
}

void TestWavWriter::broadcastWavChunk_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint64>("timeReference");
    QTest::addColumn<int>("calls");            // ticks of 2 400 samples before the snapshot
    QTest::addColumn<QString>("readDescription"); // as a reader finds it
    QTest::addColumn<qint64>("coveredSamples");   // what the header describes before close

    QTest::newRow("a take at 22:57:14") << "Show Take_01 master mix" << quint64(82634) * 48000 << 10
                                        << "Show Take_01 master mix" << qint64(0);
    // Past 2^32 samples the high half of the time reference is used.
    QTest::newRow("just before midnight at 96 kHz") << "late" << quint64(8294304000) << 10 << "late" << qint64(0);
    QTest::newRow("accents dropped, other text marked") << "Čačak → 🎬" << quint64(0) << 10 << "Cacak ? ?" << qint64(0);
    QTest::newRow("cut to 256 characters") << QString(300, 'd') << quint64(1) << 10 << QString(256, 'd') << qint64(0);
    // The crash promise with the samples further into the file: refreshed headers keep the
    // chunk and describe exactly the samples behind it.
    QTest::newRow("abandoned after two refreshes") << "crash" << quint64(48000) << 200 << "crash" << qint64(384000);
}

void TestWavWriter::broadcastWavChunk()
{
    QFETCH(QString, description);
    QFETCH(quint64, timeReference);
    QFETCH(int, calls);
    QFETCH(QString, readDescription);
    QFETCH(qint64, coveredSamples);

    const QString path = m_dir.filePath("broadcast.wav");
    const QString snapshot = m_dir.filePath("broadcast_snapshot.wav");
    QFile::remove(snapshot);
    BroadcastWavInfo info;
    info.description = description;
    info.origination = QDateTime(QDate(2026, 12, 9), QTime(22, 57, 14));
    info.timeReference = timeReference;
    info.codingHistory = BroadcastWav::pcmCodingHistory(48000, 2);
    WavWriter writer;
    writer.setBroadcastInfo(info);
    QVERIFY(writer.open(path, 48000, 2));
    for (int call = 0; call < calls; ++call)
        writer.writeSamples(patternChunk(qint64(call) * 2400, 2400));
    QVERIFY(QFile::copy(path, snapshot)); // as a crash would leave it
    writer.close();

    for (const QString &file : {snapshot, path}) {
        const WavReadback wav = readWav(file);
        QVERIFY2(wav.headerValid, qPrintable(file));
        QCOMPARE(wav.chunks, (QStringList{"fmt ", "bext", "data"}));
        QCOMPARE(wav.dataOffset, qint64(44 + 8 + BroadcastWav::fixedBodyBytes + 38)); // 38: the coding history
        QCOMPARE(qint64(wav.samples.size()), file == path ? qint64(calls) * 2400 : coveredSamples);
        QVERIFY(wav.bext);
        QCOMPARE(wav.bext->description, readDescription);
        QCOMPARE(wav.bext->originator, QStringLiteral("Vireon"));
        QCOMPARE(wav.bext->originationDate, QStringLiteral("2026-12-09"));
        QCOMPARE(wav.bext->originationTime, QStringLiteral("22:57:14"));
        QCOMPARE(wav.bext->timeReference, timeReference);
        QCOMPARE(wav.bext->version, 1);
        QCOMPARE(wav.bext->codingHistory, QStringLiteral("A=PCM,F=48000,W=16,M=stereo,T=Vireon\r\n"));
        QList<qint16> samples(wav.samples.begin(), wav.samples.end());
        QCOMPARE(firstPatternMismatch(samples), qint64(-1));
    }

    // A reader that knows Broadcast WAV (ffprobe) finds the time reference and the length.
    const MediaProbe probe = probeMedia(path);
    QVERIFY2(probe.error.isEmpty(), qPrintable(probe.error));
    QCOMPARE(probe.tags.value(QStringLiteral("time_reference")), QString::number(timeReference));
    QCOMPARE(probe.tags.value(QStringLiteral("encoded_by")), QStringLiteral("Vireon"));
    QCOMPARE(probe.durationSeconds, calls * 1200 / 48000.0);
}

QTEST_GUILESS_MAIN(TestWavWriter)
#include "tst_wavwriter.moc"
