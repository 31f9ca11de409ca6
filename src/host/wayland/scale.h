// Surface sizes on scaled outputs, as pure functions so that they are tested without a
// compositor: the buffer of a surface holds its logical size at the output's real resolution.
#pragma once

// Pixels of a buffer for `logical` surface units: at the preferred fractional scale (in 120ths,
// rounded half away from zero as the fractional-scale protocol asks) when there is one, otherwise
// at the integer output scale. Never less than 1.
int SurfacePixelsWayland(int logical, int scale120, int outputScale);
