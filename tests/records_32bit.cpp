// Compiled with -m32 -fsyntax-only: the static_asserts beside every record
// then prove the 32-bit sizes and offsets the host expects.
#include "ParticleRecords.h"
#include "ParticleStore.h"
#include "geometry/geometry_defaults.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"
#include "host/PluginRecords.h"
#include "host/QVTypes.h"
#include "math/FPU.h"
#include "math/Matrix.h"

static_assert(sizeof(void*) == 4, "this check must be compiled with -m32");
