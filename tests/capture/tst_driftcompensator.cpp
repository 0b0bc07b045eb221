// Drift compensation of one input, fed as a device would: blocks of 256 frames whose arrival
// times follow the device's own crystal, with the jitter of a busy system.
#include "capture/DriftCompensator.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kRate = 48000;
constexpr int kBlock = 256;
constexpr double kAmplitude = 0.5;

// A device whose crystal runs at deviceRate frames per second of the master clock, playing
// a sine of `toneHz` in its own samples; each block arrives up to jitterMs late (arrivals
// never overtake each other).
class Device
{
public:
    Device(double deviceRate, double toneHz, int jitterMs)
        : m_rate(deviceRate), m_toneHz(toneHz), m_jitterMs(jitterMs), m_random(7)
    {
    }

    // Delivers `seconds` of blocks; returns the master-clock output they complete.
    std::vector<float> run(double seconds, DriftCompensator &compensator)
    {
        std::vector<float> out;
        std::vector<float> block(size_t(kBlock) * 2);
        const qint64 blocks = qint64(seconds * m_rate / kBlock);
        for (qint64 b = 0; b < blocks; ++b, ++m_block) {
            for (int i = 0; i < kBlock; ++i) {
                const double phase = 2.0 * std::numbers::pi * m_toneHz * double(m_block * kBlock + i) / kRate;
                block[size_t(i) * 2] = block[size_t(i) * 2 + 1] = float(kAmplitude * std::sin(phase));
            }
            const qint64 due = kStartNs + qint64(double((m_block + 1) * kBlock) * 1e9 / m_rate);
            const qint64 late = m_jitterMs > 0 ? qint64(m_random.bounded(m_jitterMs * 1000)) * 1000 : 0;
            m_lastArrival = std::max(m_lastArrival, due + late);
            compensator.process(block.data(), kBlock, m_lastArrival, out);
        }
        return out;
    }
    qint64 nowNs() const { return m_lastArrival; }
    // Master-clock seconds of the frames delivered by the last run of `seconds`.
    double deliveredSeconds(double seconds) const { return double(qint64(seconds * m_rate / kBlock) * kBlock) / m_rate; }

private:
    static constexpr qint64 kStartNs = 1000000000000;
    const double m_rate;
    const double m_toneHz;
    const int m_jitterMs;
    QRandomGenerator m_random;
    qint64 m_block = 0;
    qint64 m_lastArrival = 0;
};

// THD+N (dB) of the left channel over [first, first + count): everything but the best-fitting
// sine, against the sine. The frequency is found by a golden-section search near `nearHz`.
double thdPlusNoiseDb(const std::vector<float> &stereo, qint64 first, qint64 count, double nearHz)
{
    const auto residual = [&](double hz, double *signalPower) {
        double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0, xx = 0;
        for (qint64 n = 0; n < count; ++n) {
            const double w = 2.0 * std::numbers::pi * hz * double(n) / kRate;
            const double c = std::cos(w), s = std::sin(w), x = stereo[size_t(first + n) * 2];
            cc += c * c; ss += s * s; cs += c * s; xc += x * c; xs += x * s; xx += x * x;
        }
        const double det = cc * ss - cs * cs;
        const double a = (xc * ss - xs * cs) / det, b = (xs * cc - xc * cs) / det;
        const double fitted = a * xc + b * xs;
        if (signalPower)
            *signalPower = fitted;
        return xx - fitted;
    };
    double lo = nearHz - 2.0, hi = nearHz + 2.0;
    const double g = (std::sqrt(5.0) - 1.0) / 2.0;
    for (int i = 0; i < 40; ++i) {
        const double m1 = hi - g * (hi - lo), m2 = lo + g * (hi - lo);
        if (residual(m1, nullptr) < residual(m2, nullptr))
            hi = m2;
        else
            lo = m1;
    }
    double signal = 0.0;
    const double rest = residual((lo + hi) / 2.0, &signal);
    return 10.0 * std::log10(std::max(rest, 1e-30) / signal);
}

} // namespace

class TestDriftCompensator : public QObject
{
    Q_OBJECT

private slots:
    void steadyToneThroughDrift_data();
    void steadyToneThroughDrift();
    void undriftedInputPassesUntouched();
    void wrongNominalRateIsResampledFromItsMeasuredRate();
};

void TestDriftCompensator::steadyToneThroughDrift_data()
{
    QTest::addColumn<double>("ppm");
    QTest::addColumn<int>("jitterMs");

    QTest::newRow("+200 ppm, steady arrivals") << 200.0 << 0;
    QTest::newRow("-200 ppm, steady arrivals") << -200.0 << 0;
    QTest::newRow("+200 ppm, 20 ms jitter") << 200.0 << 20;
    QTest::newRow("-200 ppm, 20 ms jitter") << -200.0 << 20;
}

void TestDriftCompensator::steadyToneThroughDrift()
{
    QFETCH(double, ppm);
    QFETCH(int, jitterMs);

    // The input runs a minute before a take starts, as in the program; the take then lasts
    // 40 s, and the drift is taken out of it.
    DriftCompensator compensator(kRate, 2);
    compensator.restartAtFirstFrame();
    const double deviceRate = kRate * (1.0 + ppm * 1e-6);
    Device device(deviceRate, 1000.0, jitterMs);
    device.run(60.0, compensator);
    compensator.restartAt(device.nowNs());
    const double seconds = 40.0;
    const std::vector<float> out = device.run(seconds, compensator);

    // The rate is measured through the jitter (to a fraction of the drift), the drift is being
    // taken out, and the output follows the master clock.
    QVERIFY(compensator.isResampling());
    const double measured = compensator.estimator().rate();
    QVERIFY2(std::fabs(measured / deviceRate - 1.0) < (jitterMs > 0 ? 40e-6 : 2e-6), qPrintable(QString::number(measured, 'f', 3)));
    const double outputSeconds = double(out.size() / 2) / kRate;
    QVERIFY2(std::fabs(outputSeconds - device.deliveredSeconds(seconds)) < 0.002 + jitterMs / 1000.0,
             qPrintable(QStringLiteral("%1 s for %2 s").arg(outputSeconds, 0, 'f', 4).arg(device.deliveredSeconds(seconds), 0, 'f', 4)));

    // No click anywhere: a sine's second difference never exceeds A·(2πf/fs)². (The first
    // 50 ms after the restart follow the take's start, not the sine.)
    const double bound = 1.2 * kAmplitude * std::pow(2.0 * std::numbers::pi * 1000.0 / kRate, 2.0);
    double worst = 0.0;
    for (size_t n = kRate / 20; n + 1 < out.size() / 2; ++n)
        worst = std::max(worst, double(std::fabs(out[(n + 1) * 2] - 2 * out[n * 2] + out[(n - 1) * 2])));
    QVERIFY2(worst <= bound, qPrintable(QStringLiteral("second difference %1 > %2").arg(worst).arg(bound)));

    // A clean tone while resampling: THD+N below -70 dB in every half second of the last 10 s.
    const double toneHz = 1000.0 * (1.0 + ppm * 1e-6);
    double worstDb = -200.0;
    const qint64 frames = qint64(out.size() / 2);
    for (qint64 first = frames - 10 * kRate; first + kRate / 2 <= frames; first += kRate / 2)
        worstDb = std::max(worstDb, thdPlusNoiseDb(out, first, kRate / 2, toneHz));
    QVERIFY2(worstDb < -70.0, qPrintable(QStringLiteral("THD+N %1 dB").arg(worstDb, 0, 'f', 1)));

    // And it lies where the master clock puts it, within the 5 ms a take promises.
    QVERIFY2(std::fabs(compensator.offsetMs()) < 5.0, qPrintable(QString::number(compensator.offsetMs())));
}

void TestDriftCompensator::undriftedInputPassesUntouched()
{
    // An input on the master clock, with a sound card's jitter: every sample as delivered.
    DriftCompensator compensator(kRate, 2);
    compensator.restartAtFirstFrame();
    Device device(kRate, 1000.0, 5);
    const std::vector<float> out = device.run(30.0, compensator);
    QVERIFY(!compensator.isResampling());
    const qint64 frames = qint64(out.size() / 2);
    QCOMPARE(frames, qint64(30.0 * kRate / kBlock) * kBlock);
    for (qint64 n = 0; n < frames; n += 997) {
        const float expected = float(kAmplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / kRate));
        QCOMPARE(out[size_t(n) * 2], expected);
    }
}

void TestDriftCompensator::wrongNominalRateIsResampledFromItsMeasuredRate()
{
    // A device that claims 48 000 but delivers 44 100 frames per second: logged once, and
    // brought to the master clock all the same.
    DriftCompensator compensator(kRate, 2, QStringLiteral("USB Mic"));
    compensator.restartAtFirstFrame();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(R"(Input "USB Mic" delivers 44\d\d\d frames per second)"));
    Device device(44100.0, 1000.0, 10);
    const std::vector<float> out = device.run(30.0, compensator);
    QVERIFY(compensator.isResampling());
    QVERIFY(std::fabs(compensator.estimator().rate() - 44100.0) < 1.0);
    QVERIFY(std::fabs(compensator.correctionPpm()) <= 5000.0);
    const double outputSeconds = double(out.size() / 2) / kRate;
    QVERIFY2(std::fabs(outputSeconds - 30.0) < 0.05, qPrintable(QString::number(outputSeconds, 'f', 4)));
}

QTEST_GUILESS_MAIN(TestDriftCompensator)
#include "tst_driftcompensator.moc"
