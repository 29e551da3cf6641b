// A few host services, defined the way a host defines them: extern "C", with
// default visibility, in a unit that never sees the kit's entry points.
#include "GlueFakes.h"

namespace gluefake {

Seen seen;
QV_Dialog theFakeDialog;
QV_FileRef theFakeFileRef;
char theFakeResource[8] = "RESDATA";

const char* const kFakedNames[] = {
    "QV_MakeDialog",  "QV_SetColorButtonColor", "QV_HiliteRect",  "QV_PickColorWithAlpha",
    "QV_WriteSInt16", "QV_WriteFloat32",        "QV_WriteFloat64", "QV_GetResource",
    "QV_MakeFileRef",
};
const int kFakedCount = sizeof kFakedNames / sizeof kFakedNames[0];

}  // namespace gluefake

using gluefake::seen;

QV_SERVICE_EXPORT QV_Dialog* QV_MakeDialog(QV_ResourceFile* iResourceFile, int iDialogID) {
  ++seen.calls;
  seen.handle = iResourceFile;
  seen.ints[0] = iDialogID;
  return &gluefake::theFakeDialog;
}

QV_SERVICE_EXPORT void QV_SetColorButtonColor(QV_Control* ioControl, int iRed, int iGreen,
                                              int iBlue, int iAlpha) {
  ++seen.calls;
  seen.handle = ioControl;
  seen.ints[0] = iRed;
  seen.ints[1] = iGreen;
  seen.ints[2] = iBlue;
  seen.ints[3] = iAlpha;
}

QV_SERVICE_EXPORT void QV_HiliteRect(QV_DrawContext* ioContext, QV_Rect iBounds,
                                     QV_Color iHiliteColor, QV_Color iBackColor) {
  ++seen.calls;
  seen.handle = ioContext;
  seen.rect = iBounds;
  seen.color1 = iHiliteColor;
  seen.color2 = iBackColor;
}

QV_SERVICE_EXPORT int QV_PickColorWithAlpha(const char* iPromptString, QV_Color iOriginalColor,
                                            uint8_t iOriginalAlpha, QV_Color* oNewColor,
                                            uint8_t* oNewAlpha) {
  ++seen.calls;
  seen.text = iPromptString;
  seen.color1 = iOriginalColor;
  seen.byte = iOriginalAlpha;
  *oNewColor = QV_Color{uint8_t(iOriginalColor.blue), uint8_t(iOriginalColor.green),
                        uint8_t(iOriginalColor.red)};
  *oNewAlpha = uint8_t(255 - iOriginalAlpha);
  return gluefake::kFakePickResult;
}

QV_SERVICE_EXPORT int QV_WriteSInt16(QV_Stream* iStream, int16_t iData) {
  ++seen.calls;
  seen.handle = iStream;
  seen.int16 = iData;
  return 1;
}

QV_SERVICE_EXPORT int QV_WriteFloat32(QV_Stream* iStream, float iData) {
  ++seen.calls;
  seen.handle = iStream;
  seen.real = iData;
  return 2;
}

QV_SERVICE_EXPORT int QV_WriteFloat64(QV_Stream* iStream, double iData) {
  ++seen.calls;
  seen.handle = iStream;
  seen.dbl = iData;
  return 3;
}

QV_SERVICE_EXPORT void* QV_GetResource(QV_ResourceFile* iResourceFile, uint32_t iResourceType,
                                       int iResourceID, int32_t* oResourceSize) {
  ++seen.calls;
  seen.handle = iResourceFile;
  seen.code = iResourceType;
  seen.ints[0] = iResourceID;
  *oResourceSize = int32_t(sizeof gluefake::theFakeResource);
  return gluefake::theFakeResource;
}

QV_SERVICE_EXPORT QV_FileRef* QV_MakeFileRef(QV_DirectoryRef* iDirectoryRef,
                                             const char* iNameString, uint32_t iFileType,
                                             const char* iExtensionString) {
  ++seen.calls;
  seen.handle = iDirectoryRef;
  seen.text = iNameString;
  seen.code = iFileType;
  seen.text2 = iExtensionString;
  return &gluefake::theFakeFileRef;
}

