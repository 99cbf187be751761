// Writes the formation board's pitch at one device pixel per pitch pixel:
// 200 x 300, 8 bits per pixel with a palette that also holds the marker colours.
// The board draws the same picture itself at the screen's pixel density.
//
//   make_pitch <output.bmp>

#include "PitchPicture.h"

#include <QString>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pitch <output.bmp>\n");
        return 2;
    }
    if (!PaintPitch(1).save(QString::fromLocal8Bit(argv[1]), "BMP")) {
        std::fprintf(stderr, "make_pitch: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
