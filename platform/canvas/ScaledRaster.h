#pragma once

// The canvas's primitives at a device pixel ratio other than 1, drawn at the image's full
// resolution. Internal to the canvas library; coordinates are device-independent pixels.
//
// Lines and boxes cover the pixels of the 1x primitive scaled up (at an integral ratio exactly
// those, ratio x ratio each), with every line the same thickness. Filled polygons are the 1x
// shape, whose edge pixels are lit, drawn at the full resolution: the region within half a line
// of the polygon through the scaled pixel centres, so slanted edges stay straight instead of
// stair-stepping in blocks.

#include <span>

#include "platform/canvas/Canvas.h"
#include "platform/canvas/DeviceScale.h"
#include "platform/canvas/Raster.h"

namespace canvas::raster {

void ScaledLine(const Surface& surface, const DeviceScale& scale, Point from, Point to, QRgb pen);
void ScaledBox(const Surface& surface, const DeviceScale& scale, int left, int top, int right,
               int bottom, QRgb pen, QRgb brush);
void ScaledPolygon(const Surface& surface, const DeviceScale& scale, std::span<const Point> points,
                   QRgb pen, QRgb brush);

}  // namespace canvas::raster
