#include "host/PluginGlueMac-MachO.h"

#include <dlfcn.h>

namespace qv {
namespace {

// One service call: look the name up afresh (the host may add or drop
// services while the plug-in is loaded, so nothing is cached), then call it
// with the entry point's own signature, or give the result type's zero.
template <typename Signature>
struct Service;

template <typename Result, typename... Args>
struct Service<Result(Args...)> {
  static Result Call(const char* theName, Args... theArgs) {
    void* theAddress = dlsym(RTLD_DEFAULT, theName);
    if (theAddress == nullptr) return Result();
    return reinterpret_cast<Result (*)(Args...)>(theAddress)(theArgs...);
  }
};

}  // namespace

// The separator between the service's name and its arguments, absent when
// there are none.
#define QV_COMMA_0
#define QV_COMMA_1 ,
#define QV_COMMA_2 ,
#define QV_COMMA_3 ,
#define QV_COMMA_4 ,
#define QV_COMMA_5 ,

#define QV_SERVICE(name, result, arity, params)                  \
  result name(QV_PARAMS_##arity params) {                        \
    return Service<result(QV_TYPES_##arity params)>::Call(       \
        #name QV_COMMA_##arity QV_ARGS_##arity params);          \
  }
#include "host/QVServices.def"
#undef QV_SERVICE

}  // namespace qv

static_assert(qv::kServiceCount == 206, "the host offers 206 services");
