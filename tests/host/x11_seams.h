// Seams of the Linux layer for its tests, all on the test program's side. The test program
// defines a few Xlib functions and the layer's clock (NowNs) itself; the linker then binds the
// layer's calls to these, which pass on to Xlib and the real clock until a test asks otherwise.
// The program links none of this.
#pragma once

#include <cstdint>

// How many more XCreateWindow (XCreateColormap) calls succeed before each further one fails
// with a real X error from the server; -1 never fails.
extern int windowsBeforeFailure;
extern int colormapsBeforeFailure;
// When set, XLoadQueryFont and XQueryFont find no font.
extern bool fontsMissing;
// When set, XSetInputFocus asks for the focus on a window that is not viewable, as it does when
// a window manager reports a window mapped before its frame is: the server answers BadMatch.
extern bool focusNotViewable;
// glXGetFBConfigAttrib calls so far.
extern long configAttributeQueries;
// When not negative, the layer's clock reads this many nanoseconds.
extern std::int64_t fakeNowNs;
