// The one interface id that belongs to no graphics interface in particular.
#include "platform/win/com.h"

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
