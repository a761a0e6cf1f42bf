// What the launcher needs to know of kvview.
#include "platform/launcher/program.h"

const kv::launcher::ProgramFacts kvProgramFacts{
    .about =
        "Views the object that kvview.txt in the working folder names, with its motion\n"
        "and camera path when it names them (kvconv writes kvview.txt).\n"
        "Keys: the pad orbits the camera, Escape leaves.\n",
    .dataMarker = u8"kvview.txt",
};
