// The driver dialog's template builder, apart so tests can read its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Writes the driver-selection dialog's in-memory template (texts in UTF-16,
// items on 4-byte boundaries) into a zero-filled buffer; returns the bytes used,
// or 0 when it does not fit.
size_t kvBuildDriverDialogTemplate(uint8_t* buffer, size_t size);

// Back to how the process starts: frees the lists (kvFreeDrivers) and forgets
// the confirmation callback and the dialog's choices.
void kvResetDriverState();
