#include "PitchPicture.h"

#include <QList>

#include <cmath>
#include <cstdint>

namespace {

constexpr int Width = 200;
constexpr int Height = 300;

constexpr int WhiteIndex = 0;
constexpr int RedIndex = 1;
constexpr int BlueIndex = 2;
constexpr int FirstGreenIndex = 3;
constexpr int GreenShades = 32;

constexpr int HalfwayRow = 150;
constexpr int CentreX = 100;
constexpr int CentreY = 150;
constexpr int CentreCircleRadius = 9;   // a ring 19 pixels across
constexpr int PenaltyLeft = 60;
constexpr int PenaltyRight = 138;
constexpr int PenaltyDepth = 40;
constexpr int StripeRows = 25;          // twelve mowing stripes down the pitch

// A fixed linear congruential generator, so every run gives the same picture.
class Noise {
public:
    int Next(int range)
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<int>((state_ >> 16) % static_cast<std::uint32_t>(range));
    }

private:
    std::uint32_t state_ = 20240601u;
};

void SetPalette(QImage& image)
{
    QList<QRgb> colours(256, qRgb(0, 0, 0));
    colours[WhiteIndex] = qRgb(255, 255, 255);
    colours[RedIndex] = qRgb(255, 0, 0);
    colours[BlueIndex] = qRgb(0, 0, 255);
    for (int i = 0; i < GreenShades; ++i) {
        const int g = 96 + i * 3;
        colours[FirstGreenIndex + i] = qRgb(24 + i, g, 20 + i / 2);
    }
    image.setColorTable(colours);
}

// The grass is textured per device pixel, so a finer screen gets finer grass.
void PaintGrass(QImage& image, int scale)
{
    Noise noise;
    for (int y = 0; y < image.height(); ++y) {
        const bool lightStripe = (y / scale / StripeRows) % 2 == 0;
        const int base = lightStripe ? 20 : 10;
        for (int x = 0; x < image.width(); ++x) {
            const int shade = base + noise.Next(7) - 3;
            image.setPixel(x, y, static_cast<uint>(FirstGreenIndex + shade));
        }
    }
}

// Lines are one pitch pixel wide: a block of scale x scale device pixels.
void Plot(QImage& image, int scale, int x, int y)
{
    if (x < 0 || x >= Width || y < 0 || y >= Height)
        return;
    for (int dy = 0; dy < scale; ++dy)
        for (int dx = 0; dx < scale; ++dx)
            image.setPixel(x * scale + dx, y * scale + dy, WhiteIndex);
}

void HorizontalLine(QImage& image, int scale, int x0, int x1, int y)
{
    for (int x = x0; x <= x1; ++x)
        Plot(image, scale, x, y);
}

void VerticalLine(QImage& image, int scale, int x, int y0, int y1)
{
    for (int y = y0; y <= y1; ++y)
        Plot(image, scale, x, y);
}

// The ring is traced per device pixel, measured in pitch pixels from the
// centre pixel, so it is as round as the screen allows.
void CentreCircle(QImage& image, int scale)
{
    const int reach = (CentreCircleRadius + 2) * scale;
    const double centreX = CentreX * scale + (scale - 1) / 2.0;
    const double centreY = CentreY * scale + (scale - 1) / 2.0;
    for (int y = CentreY * scale - reach; y <= CentreY * scale + reach; ++y) {
        for (int x = CentreX * scale - reach; x <= CentreX * scale + reach; ++x) {
            const double distance = std::hypot(x - centreX, y - centreY) / scale;
            if (std::lround(distance) == CentreCircleRadius)
                image.setPixel(x, y, WhiteIndex);
        }
    }
}

void PaintLines(QImage& image, int scale)
{
    HorizontalLine(image, scale, 0, Width - 1, HalfwayRow);
    CentreCircle(image, scale);
    for (int d = -1; d <= 1; ++d) {   // centre spot
        Plot(image, scale, CentreX + d, CentreY);
        Plot(image, scale, CentreX, CentreY + d);
    }

    const int topBottomEdge = PenaltyDepth - 1;
    VerticalLine(image, scale, PenaltyLeft, 0, topBottomEdge);
    VerticalLine(image, scale, PenaltyRight, 0, topBottomEdge);
    HorizontalLine(image, scale, PenaltyLeft, PenaltyRight, topBottomEdge);

    const int bottomTopEdge = Height - PenaltyDepth;
    VerticalLine(image, scale, PenaltyLeft, bottomTopEdge, Height - 1);
    VerticalLine(image, scale, PenaltyRight, bottomTopEdge, Height - 1);
    HorizontalLine(image, scale, PenaltyLeft, PenaltyRight, bottomTopEdge);
}

}  // namespace

QImage PaintPitch(int scale)
{
    scale = std::max(1, scale);
    QImage image(Width * scale, Height * scale, QImage::Format_Indexed8);
    SetPalette(image);
    PaintGrass(image, scale);
    PaintLines(image, scale);
    return image;
}
