// The records exchanged between the host and a model plug-in: the command
// records that arrive with Main, the callback records the plug-in sends back
// through the host procedure, and the result codes.  All are packed on 2-byte
// boundaries; pointer fields are 4 bytes on 32-bit hosts and 8 bytes on
// 64-bit hosts, so the offsets after a pointer differ between the two.
#ifndef QVKIT_HOST_PLUGINRECORDS_H
#define QVKIT_HOST_PLUGINRECORDS_H

#include <cstddef>
#include <cstdint>

#include "geometry/geometry_records.h"
#include "math/MatrixTypes.h"
#include "text/PString.h"

// Four-character code; the first character is the most significant byte.
typedef uint32_t IFFType;

constexpr IFFType MakeIFF(const char (&code)[5]) {
  return (IFFType(uint8_t(code[0])) << 24) | (IFFType(uint8_t(code[1])) << 16) |
         (IFFType(uint8_t(code[2])) << 8) | IFFType(uint8_t(code[3]));
}

// Chooses the expected offset or size for the pointer width being built.
#define QV_LAYOUT(size32, size64) (sizeof(void*) == 4 ? (size32) : (size64))

// Result codes of commands and callbacks.
enum : int32_t {
  kPluginNoError = 0,
  kPluginMemoryError = 1,
  kPluginUnsupportedCommand = 2,
  kPluginBadParameters = 3,
  kPluginUserCanceled = 4,
  kPluginOutOfSequence = 5,
  kPluginResourceError = 6,
  kPluginUnsupportedFeature = 8,
};

// Command codes.
constexpr IFFType kCmdInitialize = MakeIFF("INIT");
constexpr IFFType kCmdFinish = MakeIFF("FINI");
constexpr IFFType kCmdInformation = MakeIFF("INFO");
constexpr IFFType kCmdCheck = MakeIFF("CHEK");
constexpr IFFType kCmdDescribe = MakeIFF("DESC");
constexpr IFFType kCmdInterface = MakeIFF("INTF");
constexpr IFFType kCmdSetup = MakeIFF("SETM");
constexpr IFFType kCmdGINF = MakeIFF("GINF");
constexpr IFFType kCmdGATR = MakeIFF("GATR");
constexpr IFFType kCmdGBLR = MakeIFF("GBLR");
constexpr IFFType kCmdTMAP = MakeIFF("TMAP");
constexpr IFFType kCmdBMAP = MakeIFF("BMAP");
constexpr IFFType kCmdRMAP = MakeIFF("RMAP");
constexpr IFFType kCmdGenerate = MakeIFF("GENM");

// Callback selectors.
constexpr IFFType kHostAllocate = MakeIFF("ALOC");
constexpr IFFType kHostModelReset = MakeIFF("RSET");
constexpr IFFType kHostStatus = MakeIFF("STAT");
constexpr IFFType kHostAddGroup = MakeIFF("ADDG");
constexpr IFFType kHostAddVertex = MakeIFF("ADDV");
constexpr IFFType kHostAddFacet = MakeIFF("ADDF");
constexpr IFFType kHostMemMalloc = MakeIFF("MMAL");
constexpr IFFType kHostMemFree = MakeIFF("MFRE");

typedef int32_t (*QVPluginRoutine)(IFFType theSelector, int32_t theSize, void* theRecord);

#pragma pack(push, 2)

// ---------------------------------------------------------------- commands

struct PluginInfoRec {
  void* theControlData;
  int32_t theControlDataSize;
  void* thePluginData;
  int32_t thePluginDataSize;
  QVPluginRoutine theHostProc;
  void* theHostReference;
};
typedef PluginInfoRec* PluginInfoPtr;
static_assert(sizeof(PluginInfoRec) == QV_LAYOUT(24, 40), "PluginInfoRec size");
static_assert(offsetof(PluginInfoRec, theControlDataSize) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(PluginInfoRec, thePluginData) == QV_LAYOUT(8, 12), "");
static_assert(offsetof(PluginInfoRec, thePluginDataSize) == QV_LAYOUT(12, 20), "");
static_assert(offsetof(PluginInfoRec, theHostProc) == QV_LAYOUT(16, 24), "");
static_assert(offsetof(PluginInfoRec, theHostReference) == QV_LAYOUT(20, 32), "");

struct PluginInitializeRec {
  PluginInfoRec theInfo;
};
typedef PluginInitializeRec* PluginInitializePtr;
static_assert(sizeof(PluginInitializeRec) == QV_LAYOUT(24, 40), "");

struct PluginFinishRec {
  PluginInfoRec theInfo;
};
typedef PluginFinishRec* PluginFinishPtr;
static_assert(sizeof(PluginFinishRec) == QV_LAYOUT(24, 40), "");

struct PluginInterfaceRec {
  PluginInfoRec theInfo;
};
typedef PluginInterfaceRec* PluginInterfacePtr;
static_assert(sizeof(PluginInterfaceRec) == QV_LAYOUT(24, 40), "");

struct PluginInformationRec {
  PluginInfoRec theInfo;
  IFFType thePluginType;
  int32_t thePluginVersion;
  PStr255 thePluginName;
  PStr255 thePluginCopyright;
  PStr255 thePluginAuthor;
  PStr255 thePluginDescription;
  uint32_t thePluginPermission;
};
typedef PluginInformationRec* PluginInformationPtr;
static_assert(sizeof(PluginInformationRec) == QV_LAYOUT(1060, 1076), "");
static_assert(offsetof(PluginInformationRec, thePluginType) == QV_LAYOUT(24, 40), "");
static_assert(offsetof(PluginInformationRec, thePluginVersion) == QV_LAYOUT(28, 44), "");
static_assert(offsetof(PluginInformationRec, thePluginName) == QV_LAYOUT(32, 48), "");
static_assert(offsetof(PluginInformationRec, thePluginCopyright) == QV_LAYOUT(288, 304), "");
static_assert(offsetof(PluginInformationRec, thePluginAuthor) == QV_LAYOUT(544, 560), "");
static_assert(offsetof(PluginInformationRec, thePluginDescription) == QV_LAYOUT(800, 816), "");
static_assert(offsetof(PluginInformationRec, thePluginPermission) == QV_LAYOUT(1056, 1072), "");

struct PluginCheckRec {
  PluginInfoRec theInfo;
  IFFType theCommand;
};
typedef PluginCheckRec* PluginCheckPtr;
static_assert(sizeof(PluginCheckRec) == QV_LAYOUT(28, 44), "");
static_assert(offsetof(PluginCheckRec, theCommand) == QV_LAYOUT(24, 40), "");

struct PluginDescribeRec {
  PluginInfoRec theInfo;
  int32_t theResult;
  PStr255 theDescription;
};
typedef PluginDescribeRec* PluginDescribePtr;
static_assert(sizeof(PluginDescribeRec) == QV_LAYOUT(284, 300), "");
static_assert(offsetof(PluginDescribeRec, theResult) == QV_LAYOUT(24, 40), "");
static_assert(offsetof(PluginDescribeRec, theDescription) == QV_LAYOUT(28, 44), "");

struct PluginModelSetupRec {
  PluginInfoRec theInfo;
  int32_t theFrameIndex;
  double theFrameTime;
  double theFrameTimeDelta;
  Matrix4 theCameraMatrix;
  Matrix4 theCameraRotMatrix;
  Matrix4 theCameraBlurMatrix;
  Matrix4 theGroupMatrix;
  Matrix4 theGroupRotMatrix;
  Matrix4 theGroupBlurMatrix;
};
typedef PluginModelSetupRec* PluginModelSetupPtr;
static_assert(sizeof(PluginModelSetupRec) == QV_LAYOUT(812, 828), "");
static_assert(offsetof(PluginModelSetupRec, theFrameIndex) == QV_LAYOUT(24, 40), "");
static_assert(offsetof(PluginModelSetupRec, theFrameTime) == QV_LAYOUT(28, 44), "");
static_assert(offsetof(PluginModelSetupRec, theFrameTimeDelta) == QV_LAYOUT(36, 52), "");
static_assert(offsetof(PluginModelSetupRec, theCameraMatrix) == QV_LAYOUT(44, 60), "");
static_assert(offsetof(PluginModelSetupRec, theCameraRotMatrix) == QV_LAYOUT(172, 188), "");
static_assert(offsetof(PluginModelSetupRec, theCameraBlurMatrix) == QV_LAYOUT(300, 316), "");
static_assert(offsetof(PluginModelSetupRec, theGroupMatrix) == QV_LAYOUT(428, 444), "");
static_assert(offsetof(PluginModelSetupRec, theGroupRotMatrix) == QV_LAYOUT(556, 572), "");
static_assert(offsetof(PluginModelSetupRec, theGroupBlurMatrix) == QV_LAYOUT(684, 700), "");

// The six geometry-record commands share one shape: a pointer to the host's
// record and a change flag the plug-in clears when it leaves it alone.
#define QV_GEOMETRY_COMMAND_RECORD(Rec, Ptr, Field) \
  struct Rec {                                      \
    PluginInfoRec theInfo;                          \
    void* Field;                                    \
    uint8_t theChangeFlag;                          \
  };                                                \
  typedef Rec* Ptr;                                 \
  static_assert(sizeof(Rec) == QV_LAYOUT(30, 50), #Rec " size");             \
  static_assert(offsetof(Rec, Field) == QV_LAYOUT(24, 40), #Rec " record");  \
  static_assert(offsetof(Rec, theChangeFlag) == QV_LAYOUT(28, 48), #Rec " flag");

QV_GEOMETRY_COMMAND_RECORD(PluginModelGINFRec, PluginModelGINFPtr, theGINF)
QV_GEOMETRY_COMMAND_RECORD(PluginModelGATRRec, PluginModelGATRPtr, theGATR)
QV_GEOMETRY_COMMAND_RECORD(PluginModelGBLRRec, PluginModelGBLRPtr, theGBLR)
QV_GEOMETRY_COMMAND_RECORD(PluginModelTMAPRec, PluginModelTMAPPtr, theTMAP)
QV_GEOMETRY_COMMAND_RECORD(PluginModelBMAPRec, PluginModelBMAPPtr, theBMAP)
QV_GEOMETRY_COMMAND_RECORD(PluginModelRMAPRec, PluginModelRMAPPtr, theRMAP)
#undef QV_GEOMETRY_COMMAND_RECORD

struct PluginModelGenerateRec {
  PluginInfoRec theInfo;
  int32_t theChildGroups;
  uint32_t theVertexFlags;
};
typedef PluginModelGenerateRec* PluginModelGeneratePtr;
static_assert(sizeof(PluginModelGenerateRec) == QV_LAYOUT(32, 48), "");
static_assert(offsetof(PluginModelGenerateRec, theChildGroups) == QV_LAYOUT(24, 40), "");
static_assert(offsetof(PluginModelGenerateRec, theVertexFlags) == QV_LAYOUT(28, 44), "");

// --------------------------------------------------------------- callbacks

struct HostAllocateRec {
  void* theReference;
  void* theControlData;
  int32_t theControlDataSize;
  void* thePluginData;
  int32_t thePluginDataSize;
};
typedef HostAllocateRec* HostAllocatePtr;
static_assert(sizeof(HostAllocateRec) == QV_LAYOUT(20, 32), "");
static_assert(offsetof(HostAllocateRec, theControlData) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostAllocateRec, theControlDataSize) == QV_LAYOUT(8, 16), "");
static_assert(offsetof(HostAllocateRec, thePluginData) == QV_LAYOUT(12, 20), "");
static_assert(offsetof(HostAllocateRec, thePluginDataSize) == QV_LAYOUT(16, 28), "");

struct HostModelResetRec {
  void* theReference;
};
typedef HostModelResetRec* HostModelResetPtr;
static_assert(sizeof(HostModelResetRec) == QV_LAYOUT(4, 8), "");

struct HostStatusRec {
  void* theReference;
  float theStatusPos;
  PStr255 theStatusUnit;
  PStr255 theStatusInfo;
  int32_t theStatusMin;
  int32_t theStatusMax;
  int32_t theStatusValue;
  int32_t theStatusTick;
};
typedef HostStatusRec* HostStatusPtr;
static_assert(sizeof(HostStatusRec) == QV_LAYOUT(536, 540), "");
static_assert(offsetof(HostStatusRec, theStatusPos) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostStatusRec, theStatusUnit) == QV_LAYOUT(8, 12), "");
static_assert(offsetof(HostStatusRec, theStatusInfo) == QV_LAYOUT(264, 268), "");
static_assert(offsetof(HostStatusRec, theStatusMin) == QV_LAYOUT(520, 524), "");
static_assert(offsetof(HostStatusRec, theStatusMax) == QV_LAYOUT(524, 528), "");
static_assert(offsetof(HostStatusRec, theStatusValue) == QV_LAYOUT(528, 532), "");
static_assert(offsetof(HostStatusRec, theStatusTick) == QV_LAYOUT(532, 536), "");

struct HostModelAddGroupRec {
  void* theReference;
  void* theGroupTemplate;
  uint32_t theGroupVertexFlags;
  void* theGroup;
};
typedef HostModelAddGroupRec* HostModelAddGroupPtr;
static_assert(sizeof(HostModelAddGroupRec) == QV_LAYOUT(16, 28), "");
static_assert(offsetof(HostModelAddGroupRec, theGroupTemplate) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostModelAddGroupRec, theGroupVertexFlags) == QV_LAYOUT(8, 16), "");
static_assert(offsetof(HostModelAddGroupRec, theGroup) == QV_LAYOUT(12, 20), "");

struct HostModelAddVertexRec {
  void* theReference;
  DCoordinate thePosition;
  ARGB theColor;
  DCoordinate theNormal;
  DCoordinate theBlurPosition;
  DCoordinate theTexturePosition;
  int32_t theIndex;
};
typedef HostModelAddVertexRec* HostModelAddVertexPtr;
static_assert(sizeof(HostModelAddVertexRec) == QV_LAYOUT(108, 112), "");
static_assert(offsetof(HostModelAddVertexRec, thePosition) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostModelAddVertexRec, theColor) == QV_LAYOUT(28, 32), "");
static_assert(offsetof(HostModelAddVertexRec, theNormal) == QV_LAYOUT(32, 36), "");
static_assert(offsetof(HostModelAddVertexRec, theBlurPosition) == QV_LAYOUT(56, 60), "");
static_assert(offsetof(HostModelAddVertexRec, theTexturePosition) == QV_LAYOUT(80, 84), "");
static_assert(offsetof(HostModelAddVertexRec, theIndex) == QV_LAYOUT(104, 108), "");

typedef int32_t Vertices[4];

struct HostModelAddFacetRec {
  void* theReference;
  ARGB theColor;
  int16_t theNumVertices;
  Vertices theVertices;
};
typedef HostModelAddFacetRec* HostModelAddFacetPtr;
static_assert(sizeof(HostModelAddFacetRec) == QV_LAYOUT(26, 30), "");
static_assert(offsetof(HostModelAddFacetRec, theColor) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostModelAddFacetRec, theNumVertices) == QV_LAYOUT(8, 12), "");
static_assert(offsetof(HostModelAddFacetRec, theVertices) == QV_LAYOUT(10, 14), "");

struct HostMemMallocRec {
  void* theReference;
  uint32_t theSize;
  void* thePtr;
};
typedef HostMemMallocRec* HostMemMallocPtr;
static_assert(sizeof(HostMemMallocRec) == QV_LAYOUT(12, 20), "");
static_assert(offsetof(HostMemMallocRec, theSize) == QV_LAYOUT(4, 8), "");
static_assert(offsetof(HostMemMallocRec, thePtr) == QV_LAYOUT(8, 12), "");

struct HostMemFreeRec {
  void* theReference;
  void* thePtr;
};
typedef HostMemFreeRec* HostMemFreePtr;
static_assert(sizeof(HostMemFreeRec) == QV_LAYOUT(8, 16), "");
static_assert(offsetof(HostMemFreeRec, thePtr) == QV_LAYOUT(4, 8), "");

#pragma pack(pop)

#endif
