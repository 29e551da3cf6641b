// A host library loaded and unloaded while the test runs: its service must
// be found while it is loaded and only then.
#include "host/QVTypes.h"

QV_SERVICE_EXPORT int QV_GetAPIVersion() { return 7; }
