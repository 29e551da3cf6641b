#include "host/PluginGlueMac-MachO.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <utility>

#include "GlueFakes.h"

namespace {

using gluefake::seen;

// Calls an entry point with every argument zero (null for pointers) and tells
// whether it gave its result type's zero.
template <typename Result, typename... Args>
bool GivesZero(Result (*theEntry)(Args...)) {
  if constexpr (std::is_void_v<Result>) return theEntry(Args()...), true;
  else return theEntry(Args()...) == Result();
}

const std::pair<const char*, bool (*)()> kEntries[] = {
#define QV_SERVICE(name, result, arity, params) {#name, [] { return GivesZero(&qv::name); }},
#include "host/QVServices.def"
#undef QV_SERVICE
};

// The kit must not export anything a lookup by a service's name could find:
// only the fakes of GlueFakeServices.cpp are visible, and every other of the
// 206 entry points answers with its neutral result without calling anything.
TEST(Glue, MissingServicesGiveNeutralResults) {
  const std::set<std::string> faked = {"QV_SetColorButtonColor", "QV_HiliteRect",
                                       "QV_PickColorWithAlpha", "QV_WriteFloat32",
                                       "QV_WriteFloat64", "QV_GetResource"};
  std::set<std::string> names;
  seen = {};
  for (const auto& [name, callWithZeros] : kEntries) {
    EXPECT_TRUE(names.insert(name).second) << name << " twice";
    bool found = dlsym(RTLD_DEFAULT, name) != nullptr;
    EXPECT_EQ(found, faked.count(name) == 1) << name;
    EXPECT_TRUE(found || callWithZeros()) << name;
  }
  EXPECT_EQ(names.size(), 206u);
  EXPECT_EQ(seen.calls, 0);
  EXPECT_EQ(qv::QV_GetAPIVersion(), 0);
}

// Handles, integers, records and bytes by value, floats, text pointers, out
// parameters and results pass through unchanged.
TEST(Glue, ForwardsArgumentsAndResults) {
  auto expect = [](const void* handle, const char* args) {
    EXPECT_EQ(seen.handle, handle);
    EXPECT_EQ(seen.args, args);
  };
  QV_Control control;
  qv::QV_SetColorButtonColor(&control, 1, -2, 300, 255);
  expect(&control, "1 -2 300 255");
  QV_DrawContext context;
  qv::QV_HiliteRect(&context, QV_Rect{-1, 2, 30000, -40000}, QV_Color{1, 2, 3},
                    QV_Color{250, 128, 0});
  expect(&context, "-1 2 30000 -40000 1 2 3 250 128 0");

  const char* thePrompt = "Pick";
  QV_Color theNew{};
  uint8_t theAlpha = 0;
  EXPECT_EQ(qv::QV_PickColorWithAlpha(thePrompt, QV_Color{10, 20, 30}, 200, &theNew, &theAlpha),
            0x5A);
  expect(nullptr, "10 20 30 200");
  EXPECT_EQ(seen.text, thePrompt);  // the same pointer, not a copy
  EXPECT_EQ(theNew.red * 10000 + theNew.green * 100 + theNew.blue, 302010);
  EXPECT_EQ(theAlpha, 55);

  QV_Stream stream;
  EXPECT_EQ(qv::QV_WriteFloat32(&stream, 0.1f), 2);
  expect(&stream, "0.100000001");
  EXPECT_EQ(qv::QV_WriteFloat64(&stream, 0.1), 3);
  expect(&stream, "0.10000000000000001");

  QV_ResourceFile file;
  int32_t theSize = -1;
  EXPECT_EQ(qv::QV_GetResource(&file, 0xFFFFFFFEu, -7, &theSize), &seen);
  expect(&file, "FFFFFFFE -7");
  EXPECT_EQ(theSize, 8);
}

#ifdef GLUE_LATE_HOST
// Nothing is cached: a service that appears after the first call is found at
// the next one.  (The loader keeps a library whose symbol was looked up
// loaded until exit, so its going away cannot be shown here.)
TEST(Glue, LooksServicesUpAtEveryCall) {
  EXPECT_EQ(qv::QV_GetAPIVersion(), 0);
  void* theHost = dlopen(GLUE_LATE_HOST, RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(theHost, nullptr) << dlerror();
  EXPECT_EQ(qv::QV_GetAPIVersion(), 7);
  dlclose(theHost);
}
#endif

}  // namespace
