// A few host services, defined the way a host defines them: extern "C", with
// default visibility, in a unit that never sees the kit's entry points.
#include <cstdarg>
#include <cstdio>

#include "GlueFakes.h"

gluefake::Seen gluefake::seen;

namespace {

// Counts a call and keeps its handle and its other arguments as text.
void Note(const void* handle, const char* format, ...) {
  char text[200];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  ++gluefake::seen.calls;
  gluefake::seen.handle = handle;
  gluefake::seen.args = text;
}

}  // namespace

QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* c, int r, int g, int b, int a) {
  Note(c, "%d %d %d %d", r, g, b, a);
}

QV_SERVICE_EXPORT void QV_HiliteRect(QV_DrawContext* c, QV_Rect r, QV_Color h, QV_Color b) {
  Note(c, "%d %d %d %d %d %d %d %d %d %d", r.left, r.top, r.right, r.bottom, h.red, h.green,
       h.blue, b.red, b.green, b.blue);
}

QV_SERVICE_EXPORT int QV_PickColorWithAlpha(const char* iPrompt, QV_Color iColor, uint8_t iAlpha,
                                            QV_Color* oColor, uint8_t* oAlpha) {
  Note(nullptr, "%d %d %d %d", iColor.red, iColor.green, iColor.blue, iAlpha);
  gluefake::seen.text = iPrompt;
  *oColor = QV_Color{iColor.blue, iColor.green, iColor.red};
  *oAlpha = uint8_t(255 - iAlpha);
  return 0x5A;
}

QV_SERVICE_EXPORT int QV_WriteFloat32(QV_Stream* s, float v) { return Note(s, "%.9g", v), 2; }
QV_SERVICE_EXPORT int QV_WriteFloat64(QV_Stream* s, double v) { return Note(s, "%.17g", v), 3; }

QV_SERVICE_EXPORT void* QV_GetResource(QV_ResourceFile* iFile, uint32_t iType, int iID,
                                       int32_t* oSize) {
  Note(iFile, "%08X %d", iType, iID);
  *oSize = 8;
  return &gluefake::seen;
}
