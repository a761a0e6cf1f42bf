// Resets of the kvSys modules without a header of their own; the others
// declare theirs beside their state (Frame.h, Memory.h, kvScreen.h,
// kvRender.h, kvSurface.h, d3denum.h). Each puts its module back to how the
// process starts, so that tests can run many kits in one process.
#pragma once

// kvSystem: the caption, the framework record and shutdown's once-only guard.
void kvResetSystemState();
// kvDebug: the call-site tag.
void kvResetDebugState();
// kvPad: the key table and the counted key.
void kvResetPadState();
