#include "NaturalScene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace {

// Lattice value noise, smoothly interpolated: the texture of grass, rock and foliage.
class ValueNoise
{
public:
    explicit ValueNoise(unsigned seed)
    {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        for (float &v : m_lattice)
            v = value(random);
    }

    float at(float x, float y) const
    {
        const int x0 = int(std::floor(x));
        const int y0 = int(std::floor(y));
        const float fx = smooth(x - float(x0));
        const float fy = smooth(y - float(y0));
        const float top = lerp(cell(x0, y0), cell(x0 + 1, y0), fx);
        const float bottom = lerp(cell(x0, y0 + 1), cell(x0 + 1, y0 + 1), fx);
        return lerp(top, bottom, fy);
    }

    // Several octaves: coarse shapes with finer detail on top, 0..1.
    float fractal(float x, float y, int octaves) const
    {
        float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
        for (int i = 0; i < octaves; ++i) {
            sum += amplitude * at(x, y);
            total += amplitude;
            x *= 2.03f;
            y *= 2.03f;
            amplitude *= 0.55f;
        }
        return sum / total;
    }

private:
    static float smooth(float t) { return t * t * (3.0f - 2.0f * t); }
    static float lerp(float a, float b, float t) { return a + (b - a) * t; }
    float cell(int x, int y) const { return m_lattice[size_t((x * 73856093) ^ (y * 19349663)) % Size]; }

    static constexpr size_t Size = 4096;
    float m_lattice[Size];
};

uchar toByte(float value)
{
    return uchar(std::clamp(int(std::lround(value)), 0, 255));
}

} // namespace

std::vector<RgbPicture> renderNaturalScene(int width, int height, int count, unsigned seed)
{
    const ValueNoise noise(seed);
    // The scene is drawn once, wide enough for the drift; each frame is a window on it.
    const int maxPan = std::max(1, count / 2);
    const int sceneWidth = width + maxPan;
    std::vector<float> scene(size_t(sceneWidth) * height * 3);
    for (int y = 0; y < height; ++y) {
        const float v = float(y) / float(height);
        for (int x = 0; x < sceneWidth; ++x) {
            const float sx = float(x) / float(width) * 6.0f;
            const float sy = v * 6.0f;
            const float horizon = 0.42f + 0.06f * noise.fractal(sx * 0.3f, 3.0f, 3);
            float *rgb = &scene[(size_t(y) * sceneWidth + x) * 3];
            if (v < horizon) {
                // Sky with soft clouds.
                const float cloud = std::max(0.0f, noise.fractal(sx * 0.6f, sy * 1.5f, 5) - 0.45f) * 2.2f;
                rgb[0] = 90.0f + 80.0f * v + 150.0f * cloud;
                rgb[1] = 140.0f + 60.0f * v + 110.0f * cloud;
                rgb[2] = 215.0f + 25.0f * v + 40.0f * cloud;
            } else {
                // Ground: fields and bushes, detail down to single pixels.
                const float shape = noise.fractal(sx * 1.5f, sy * 2.0f, 4);
                const float detail = noise.fractal(sx * 40.0f, sy * 40.0f, 3);
                const float light = 0.6f + 0.4f * (1.0f - (v - horizon));
                rgb[0] = (60.0f + 90.0f * shape + 50.0f * detail) * light;
                rgb[1] = (90.0f + 100.0f * shape + 60.0f * detail) * light;
                rgb[2] = (40.0f + 40.0f * shape + 30.0f * detail) * light;
            }
        }
    }

    // Sensor noise of a webcam in indoor light: a few levels, per pixel and per frame. Drawn
    // once into a table that each frame reads from another place.
    std::mt19937 random(seed * 7919u + 1u);
    std::normal_distribution<float> sensor(0.0f, 3.0f);
    std::vector<float> grain(size_t(1) << 20);
    for (float &g : grain)
        g = sensor(random);
    const size_t grainMask = grain.size() - 1;

    std::vector<RgbPicture> pictures;
    pictures.reserve(size_t(count));
    for (int frame = 0; frame < count; ++frame) {
        RgbPicture picture{width, height, QByteArray(qsizetype(width) * height * 3, Qt::Uninitialized)};
        // The view drifts a pixel per frame, and back: movement without a cut at the loop.
        const int pan = frame < maxPan ? frame : count - frame;
        size_t g = size_t(random());
        uchar *out = reinterpret_cast<uchar *>(picture.pixels.data());
        for (int y = 0; y < height; ++y) {
            const float *rgb = &scene[(size_t(y) * sceneWidth + size_t(pan)) * 3];
            for (int x = 0; x < width; ++x, out += 3, rgb += 3, g += 3) {
                const float shared = grain[g & grainMask];
                out[0] = toByte(rgb[0] + shared + 0.5f * grain[(g + 1) & grainMask]);
                out[1] = toByte(rgb[1] + shared);
                out[2] = toByte(rgb[2] + shared + 0.5f * grain[(g + 2) & grainMask]);
            }
            g += 7919; // rows do not line up with the table
        }
        pictures.push_back(std::move(picture));
    }
    return pictures;
}
