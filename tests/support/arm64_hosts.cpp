// The arm64 program as a host of the whole-program cases: cross-built by the arm64 preset and run
// through qemu's user-mode emulator, which loads the arm64 libraries of Debian's multiarch. Mesa
// draws with softpipe, which generates no code at run time: llvmpipe's code generator has been seen
// to hang under emulation. An emulated frame takes about 40 ms of CPU, and the emulator starts
// slowly, so the limits are wider than the native program's.
#include "support/viewer_fixture.h"

namespace {

const EmulatedProgram kArm64Program = {
    TAVIK_ARM64_PROGRAM, {TAVIK_QEMU_AARCH64}, {{"GALLIUM_DRIVER", "softpipe"}}};

} // namespace

const ViewerHost kArm64X11Host = {"arm64_x11",
                                  DisplayServer::kXvfb,
                                  ProgramLauncher::kNative,
                                  PictureSource::kXGetImage,
                                  30000,
                                  3000,
                                  10000,
                                  20000,
                                  15000,
                                  1,
                                  X11WindowManager::kNone,
                                  &kArm64Program};
const ViewerHost kArm64SwayHost = {"arm64_sway",
                                   DisplayServer::kSway,
                                   ProgramLauncher::kNative,
                                   PictureSource::kGrim,
                                   30000,
                                   3000,
                                   10000,
                                   20000,
                                   15000,
                                   1,
                                   X11WindowManager::kNone,
                                   &kArm64Program};
