// The types that cross between a plug-in and the host's named services:
// handles, value records, enumerations and callback types.  This header
// declares no service, so a host can include it and define the services
// itself (see QV_SERVICE_EXPORT) without meeting the kit's entry points.
#ifndef QVKIT_HOST_QVTYPES_H
#define QVKIT_HOST_QVTYPES_H

#include <cstddef>
#include <cstdint>

// Handles.  Each host object is an opaque record the plug-in never reads; a
// handle is a pointer to it (QV_Dialog*, QV_Control*, ...) and null means none.
#define QV_OPAQUE_RECORD(Name) \
  struct Name {                \
    int data;                  \
  }
QV_OPAQUE_RECORD(QV_Control);
QV_OPAQUE_RECORD(QV_Dialog);
QV_OPAQUE_RECORD(QV_Cursor);
QV_OPAQUE_RECORD(QV_DirectoryRef);
QV_OPAQUE_RECORD(QV_DiskImage);
QV_OPAQUE_RECORD(QV_DrawContext);
QV_OPAQUE_RECORD(QV_FileRef);
QV_OPAQUE_RECORD(QV_ImageBuffer);
QV_OPAQUE_RECORD(QV_ResourceFile);
QV_OPAQUE_RECORD(QV_Stream);
QV_OPAQUE_RECORD(QV_Timer);
#undef QV_OPAQUE_RECORD

// Value records.  QV_Rect begins with left, unlike SRect and L_Rect.
struct QV_Rect {
  int left, top, right, bottom;
};
static_assert(sizeof(QV_Rect) == 16, "QV_Rect is 16 bytes");

struct QV_Color {
  uint8_t red, green, blue;
};
static_assert(sizeof(QV_Color) == 3, "QV_Color is 3 bytes");

// The platform records of the three conversion services.
#pragma pack(push, 2)
typedef unsigned char StrFileName[64];
struct FSSpec {
  int16_t vRefNum;
  int32_t parID;
  StrFileName name;
};
#pragma pack(pop)
static_assert(sizeof(FSSpec) == 70, "FSSpec is 70 bytes");
static_assert(offsetof(FSSpec, name) == 6, "FSSpec name offset");
typedef struct QV_OpaqueWindow* WindowPtr;
typedef struct QV_OpaqueGWorld* GWorldPtr;

// Enumerations, stored as int.
enum QV_ControlType : int {
  cQV_NoControlType = 0,
  cQV_PushButton = 1,
  cQV_CheckBox = 2,
  cQV_RadioGroup = 3,
  cQV_DividerLine = 4,
  cQV_GroupBox = 5,
  cQV_TabGroup = 6,
  cQV_ColorSlider = 7,
  cQV_Scroller = 8,
  cQV_StaticText = 9,
  cQV_EditText = 10,
  cQV_ColorButton = 11,
  cQV_ListBox = 12,
  cQV_PopupMenu = 13,
  cQV_Picture = 14,
  cQV_UserControl = 15,
  cQV_OpenGLControl = 16
};

enum QV_EditFilterType : int {
  cQV_NoFilter = 0,
  cQV_UnsignedInt = 1,
  cQV_SignedInt = 2,
  cQV_UnsignedFloat = 3,
  cQV_SignedFloat = 4,
  cQV_Custom = 5
};

enum QV_PenMode : int { cQV_PenColor = 0, cQV_PenXOR = 1 };

enum QV_StreamAccess : int { cQV_ReadOnly = 0, cQV_WriteOnly = 1, cQV_ReadWrite = 2 };

// Callbacks the host makes into the plug-in.  Only the result types are
// part of the contract; the parameters are the ones this kit and its host
// agree on: the object concerned, then what the event carries.
typedef int (*QV_EditFilterFunction)(QV_Control* iControl, int iKey);
typedef void (*QV_ListDoubleClickFunction)(QV_Control* iControl, int iWhichItem);
typedef void (*QV_ListReorderFunction)(QV_Control* iControl, int iFromItem, int iToItem);
typedef void (*QV_ControlHitFunction)(QV_Control* iControl);
typedef void (*QV_UserDrawFunction)(QV_Control* iControl, QV_DrawContext* iContext);
typedef int (*QV_UserClickFunction)(QV_Control* iControl, int iMouseX, int iMouseY);
typedef void (*QV_DialogHitFunction)(QV_Dialog* iDialog, QV_Control* iControl);
typedef void (*QV_TimerFunction)(QV_Timer* iTimer);
typedef void (*QV_GLDrawFunction)(QV_Control* iControl);
typedef int (*QV_GLClickFunction)(QV_Control* iControl, int iMouseX, int iMouseY);
typedef int (*QV_DialogKeyFilter)(QV_Dialog* iDialog, int iKey);
typedef void (*QV_UserMouseMovedFunction)(QV_Control* iControl, int iMouseX, int iMouseY);
typedef void (*QV_GLMouseMovedFunction)(QV_Control* iControl, int iMouseX, int iMouseY);

// For a host: how to define a service so that the plug-in's lookup by name
// finds it, whatever visibility the host is compiled with.
//   QV_SERVICE_EXPORT int QV_GetAPIVersion() { return 1; }
// The host's program must also export its dynamic symbols (-rdynamic).
#define QV_SERVICE_EXPORT extern "C" __attribute__((visibility("default")))

#endif
