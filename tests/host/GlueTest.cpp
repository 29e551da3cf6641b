#include "host/PluginGlueMac-MachO.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <type_traits>

#include "GlueFakes.h"

namespace {

using gluefake::seen;

bool IsFaked(const char* theName) {
  for (int i = 0; i < gluefake::kFakedCount; ++i)
    if (std::strcmp(gluefake::kFakedNames[i], theName) == 0) return true;
  return false;
}

// Calls an entry point with every argument zero (null for pointers) and tells
// whether it gave its result type's zero.
template <typename Result, typename... Args>
bool GivesZero(Result (*theEntry)(Args...)) {
  if constexpr (std::is_void_v<Result>) {
    theEntry(Args()...);
    return true;
  } else {
    return theEntry(Args()...) == Result();
  }
}

struct Entry {
  const char* name;
  bool (*callWithZeros)();
};

const Entry kEntries[] = {
#define QV_SERVICE(name, result, arity, params) \
  {#name, [] { return GivesZero(&qv::name); }},
#include "host/QVServices.def"
#undef QV_SERVICE
};

TEST(Glue, TableHoldsEveryServiceOnce) {
  ASSERT_EQ(sizeof kEntries / sizeof kEntries[0], 206u);
  for (const Entry& a : kEntries)
    for (const Entry& b : kEntries)
      if (&a != &b) {
        EXPECT_STRNE(a.name, b.name);
      }
}

// The kit must not export anything a lookup by a service's name could find:
// only the test's fakes are visible, and every other entry point answers
// with its neutral result without calling anything.
TEST(Glue, MissingServicesGiveNeutralResults) {
  seen = {};
  int missing = 0;
  for (const Entry& e : kEntries) {
    bool found = dlsym(RTLD_DEFAULT, e.name) != nullptr;
    EXPECT_EQ(found, IsFaked(e.name)) << e.name;
    if (found) continue;
    ++missing;
    EXPECT_TRUE(e.callWithZeros()) << e.name;
  }
  EXPECT_EQ(missing, 206 - gluefake::kFakedCount);
  EXPECT_EQ(seen.calls, 0);
  EXPECT_EQ(qv::QV_GetAPIVersion(), 0);
  EXPECT_EQ(qv::QV_FindControlByID(nullptr, 5), nullptr);
  EXPECT_EQ(qv::QV_GetHomeDirectory(), nullptr);
}

TEST(Glue, ForwardsHandlesIntegersAndResults) {
  seen = {};
  QV_ResourceFile file;
  EXPECT_EQ(qv::QV_MakeDialog(&file, 16001), &gluefake::theFakeDialog);
  EXPECT_EQ(seen.handle, &file);
  EXPECT_EQ(seen.ints[0], 16001);

  QV_Control control;
  qv::QV_SetColorButtonColor(&control, 1, -2, 300, 255);
  EXPECT_EQ(seen.ints[0], 1);
  EXPECT_EQ(seen.ints[1], -2);
  EXPECT_EQ(seen.ints[2], 300);
  EXPECT_EQ(seen.ints[3], 255);
  EXPECT_EQ(seen.handle, &control);
  EXPECT_EQ(seen.calls, 2);
}

TEST(Glue, ForwardsRecordsBytesAndFloatsByValue) {
  seen = {};
  QV_DrawContext context;
  qv::QV_HiliteRect(&context, QV_Rect{-1, 2, 30000, -40000}, QV_Color{1, 2, 3},
                    QV_Color{250, 128, 0});
  EXPECT_EQ(seen.handle, &context);
  EXPECT_EQ(seen.rect.left, -1);
  EXPECT_EQ(seen.rect.top, 2);
  EXPECT_EQ(seen.rect.right, 30000);
  EXPECT_EQ(seen.rect.bottom, -40000);
  EXPECT_EQ(seen.color1.red, 1);
  EXPECT_EQ(seen.color1.green, 2);
  EXPECT_EQ(seen.color1.blue, 3);
  EXPECT_EQ(seen.color2.red, 250);
  EXPECT_EQ(seen.color2.green, 128);
  EXPECT_EQ(seen.color2.blue, 0);

  const char* thePrompt = "Pick";
  QV_Color theNew{};
  uint8_t theAlpha = 0;
  EXPECT_EQ(qv::QV_PickColorWithAlpha(thePrompt, QV_Color{10, 20, 30}, 200, &theNew, &theAlpha),
            gluefake::kFakePickResult);
  EXPECT_EQ(seen.text, thePrompt);  // the same pointer, not a copy
  EXPECT_EQ(seen.byte, 200);
  EXPECT_EQ(theNew.red, 30);
  EXPECT_EQ(theNew.blue, 10);
  EXPECT_EQ(theAlpha, 55);

  QV_Stream stream;
  EXPECT_EQ(qv::QV_WriteSInt16(&stream, -32768), 1);
  EXPECT_EQ(seen.int16, -32768);
  EXPECT_EQ(qv::QV_WriteFloat32(&stream, 0.1f), 2);
  EXPECT_EQ(seen.real, 0.1f);
  EXPECT_EQ(qv::QV_WriteFloat64(&stream, 0.1), 3);
  EXPECT_EQ(seen.dbl, 0.1);
  EXPECT_EQ(seen.handle, &stream);
}

TEST(Glue, ForwardsCodesTextsAndOutParameters) {
  seen = {};
  QV_DirectoryRef home;
  const char* theName = "Particle.rsc";
  EXPECT_EQ(qv::QV_MakeFileRef(&home, theName, 0x72737263u, "rsc"), &gluefake::theFakeFileRef);
  EXPECT_EQ(seen.handle, &home);
  EXPECT_EQ(seen.text, theName);
  EXPECT_EQ(seen.code, 0x72737263u);
  EXPECT_STREQ(seen.text2, "rsc");

  QV_ResourceFile file;
  int32_t theSize = -1;
  EXPECT_EQ(qv::QV_GetResource(&file, 0xFFFFFFFFu, -7, &theSize), gluefake::theFakeResource);
  EXPECT_EQ(seen.code, 0xFFFFFFFFu);
  EXPECT_EQ(seen.ints[0], -7);
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
