// What the launcher needs to know of kvview.
#include "platform/launcher/program.h"

namespace {

// The automatic orbit turns the camera once in 256 frames: a run is one turn,
// and its contact sheet sixteen views round the model.
constexpr int64_t kSheetFrames[] = {8,   24,  40,  56,  72,  88,  104, 120,
                                    136, 152, 168, 184, 200, 216, 232, 248};

}  // namespace

const kv::launcher::ProgramFacts kvProgramFacts{
    .about =
        "Views the object that kvview.txt in the working folder names, with its motion\n"
        "and camera path when it names them (kvconv writes kvview.txt).\n"
        "Keys: S/F turn the camera, E/D tilt it (either ends the slow automatic orbit),\n"
        "I/J move it out/in, F3 chooses the render device, Escape leaves. The log shows\n"
        "the object's counts and the frame rate.\n",
    .dataMarker = u8"kvview.txt",
    .runIterations = 256,
    .sheetFrames = kSheetFrames,
};
