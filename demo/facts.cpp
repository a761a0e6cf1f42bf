// What the launcher needs to know of the demonstration.
#include "demo/Kvmain.h"
#include "platform/launcher/program.h"

const kv::launcher::ProgramFacts kvProgramFacts{
    .about =
        "Runs the kvKIT demonstration: four cans on a textured floor under coloured lights.\n"
        "Keys: S/F turn the camera, I/J move it out/in (the scripted camera takes them up\n"
        "when it next swings round), E/D tilt it (the script sets the tilt itself),\n"
        "F3 chooses the render device, Escape leaves.\n",
    .dataMarker = u8"깡통.kvo",
    .dataMaker = "kvgen",
    .runIterations = kScriptIterations,
    .sheetFrames = kScriptHighlights,
};
