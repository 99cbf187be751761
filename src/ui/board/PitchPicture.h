#pragma once
// The formation board's pitch, drawn at any whole number of device pixels per
// pitch pixel: textured grass in mowing stripes, thin white lines at the same
// places at every scale. Scale 1 is resources/pitch.bmp (tools/make_pitch).

#include <QImage>

// 200 x 300 pitch pixels, each scale x scale device pixels; 8 bits per pixel
// with a palette that also holds the marker colours.
QImage PaintPitch(int scale);
