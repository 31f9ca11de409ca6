// Fixed geometry drawn in immediate mode: the coordinate axes and the textured box.
#pragma once

// Three lines 20 units long through the origin, scaled by `scale`: X blue, Y green, Z red.
void DrawAxes(float scale);
// A box centred on the origin with the given full edge lengths, texture coordinates on each face.
void DrawBox(float sizeX, float sizeY, float sizeZ);
