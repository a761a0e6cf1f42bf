// Resets of the 3D library's modules, each back to how the process starts, so
// that tests can run many kits in one process. The pool the buffers and tables
// lived in is the caller's to release; these only forget them.
#pragma once

// Projection: the work buffers (forgotten, not freed), projection distance,
// near and far planes and view rectangle.
void kv3dResetProjectionState();
// Light: no current table.
void kv3dResetLightState();
// KVO: the image table and the image path.
void kv3dResetObjectState();
// KV3DDraw: single-sided drawing and the stored triangle and rectangle.
void kv3dResetDrawState();
