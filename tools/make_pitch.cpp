// Draws the formation board's pitch: 200 x 300, 8 bits per pixel with a palette
// that also holds the marker colours (white, red, blue), mown grass and thin
// white lines. The picture's edges are the touch and goal lines.
//
//   make_pitch <output.bmp>

#include <QImage>
#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdio>

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

void PaintGrass(QImage& image)
{
    Noise noise;
    for (int y = 0; y < Height; ++y) {
        const bool lightStripe = (y / StripeRows) % 2 == 0;
        const int base = lightStripe ? 20 : 10;
        for (int x = 0; x < Width; ++x) {
            const int shade = base + noise.Next(7) - 3;
            image.setPixel(x, y, static_cast<uint>(FirstGreenIndex + shade));
        }
    }
}

void Plot(QImage& image, int x, int y)
{
    if (x >= 0 && x < Width && y >= 0 && y < Height)
        image.setPixel(x, y, WhiteIndex);
}

void HorizontalLine(QImage& image, int x0, int x1, int y)
{
    for (int x = x0; x <= x1; ++x)
        Plot(image, x, y);
}

void VerticalLine(QImage& image, int x, int y0, int y1)
{
    for (int y = y0; y <= y1; ++y)
        Plot(image, x, y);
}

void PaintLines(QImage& image)
{
    HorizontalLine(image, 0, Width - 1, HalfwayRow);

    for (int y = CentreY - CentreCircleRadius - 1; y <= CentreY + CentreCircleRadius + 1; ++y) {
        for (int x = CentreX - CentreCircleRadius - 1; x <= CentreX + CentreCircleRadius + 1; ++x) {
            const double distance = std::hypot(x - CentreX, y - CentreY);
            if (std::lround(distance) == CentreCircleRadius)
                Plot(image, x, y);
        }
    }
    for (int d = -1; d <= 1; ++d) {   // centre spot
        Plot(image, CentreX + d, CentreY);
        Plot(image, CentreX, CentreY + d);
    }

    const int topBottomEdge = PenaltyDepth - 1;
    VerticalLine(image, PenaltyLeft, 0, topBottomEdge);
    VerticalLine(image, PenaltyRight, 0, topBottomEdge);
    HorizontalLine(image, PenaltyLeft, PenaltyRight, topBottomEdge);

    const int bottomTopEdge = Height - PenaltyDepth;
    VerticalLine(image, PenaltyLeft, bottomTopEdge, Height - 1);
    VerticalLine(image, PenaltyRight, bottomTopEdge, Height - 1);
    HorizontalLine(image, PenaltyLeft, PenaltyRight, bottomTopEdge);
}

}   // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pitch <output.bmp>\n");
        return 2;
    }
    QImage image(Width, Height, QImage::Format_Indexed8);
    SetPalette(image);
    PaintGrass(image);
    PaintLines(image);
    if (!image.save(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "make_pitch: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
