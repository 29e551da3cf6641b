// The kit's entry points to the host's named services: one function per
// service, generated from host/QVServices.def.  Each looks its service up by
// name among the process's loaded images at every call and forwards its
// arguments unchanged; when the host does not offer it, the entry point
// returns 0, null or false (or simply returns).
//
// The entry points live in namespace qv and have C++ linkage, so qv::QV_MakeDialog
// is a different symbol from a host's extern "C" QV_MakeDialog and the lookup
// can never land on the kit itself.  Call them as qv::QV_MakeDialog(...).
#ifndef QVKIT_HOST_PLUGINGLUEMAC_MACHO_H
#define QVKIT_HOST_PLUGINGLUEMAC_MACHO_H

#include "host/QVTypes.h"

// Turn a table row's (type, name, ...) list into a declaration list, an
// argument list or a type list.
#define QV_PARAMS_0()
#define QV_PARAMS_1(t1, n1) t1 n1
#define QV_PARAMS_2(t1, n1, t2, n2) t1 n1, t2 n2
#define QV_PARAMS_3(t1, n1, t2, n2, t3, n3) t1 n1, t2 n2, t3 n3
#define QV_PARAMS_4(t1, n1, t2, n2, t3, n3, t4, n4) t1 n1, t2 n2, t3 n3, t4 n4
#define QV_PARAMS_5(t1, n1, t2, n2, t3, n3, t4, n4, t5, n5) t1 n1, t2 n2, t3 n3, t4 n4, t5 n5

#define QV_ARGS_0()
#define QV_ARGS_1(t1, n1) n1
#define QV_ARGS_2(t1, n1, t2, n2) n1, n2
#define QV_ARGS_3(t1, n1, t2, n2, t3, n3) n1, n2, n3
#define QV_ARGS_4(t1, n1, t2, n2, t3, n3, t4, n4) n1, n2, n3, n4
#define QV_ARGS_5(t1, n1, t2, n2, t3, n3, t4, n4, t5, n5) n1, n2, n3, n4, n5

#define QV_TYPES_0()
#define QV_TYPES_1(t1, n1) t1
#define QV_TYPES_2(t1, n1, t2, n2) t1, t2
#define QV_TYPES_3(t1, n1, t2, n2, t3, n3) t1, t2, t3
#define QV_TYPES_4(t1, n1, t2, n2, t3, n3, t4, n4) t1, t2, t3, t4
#define QV_TYPES_5(t1, n1, t2, n2, t3, n3, t4, n4, t5, n5) t1, t2, t3, t4, t5

namespace qv {

#define QV_SERVICE(name, result, arity, params) result name(QV_PARAMS_##arity params);
#include "host/QVServices.def"
#undef QV_SERVICE

// The number of entry points in the table.
enum { kServiceCount = 0
#define QV_SERVICE(name, result, arity, params) +1
#include "host/QVServices.def"
#undef QV_SERVICE
};

}  // namespace qv

#endif
