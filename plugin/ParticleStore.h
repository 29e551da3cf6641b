// The particle pool that lives behind the working record in the host's block,
// and the engine's seeded random source.
//
// The pool is threaded into two singly linked lists by slot index: the active
// list, newest particle first, and the free list.  The list heads, the count
// and the capacity are kept in the settings record.
#ifndef PARTICLE_PARTICLESTORE_H
#define PARTICLE_PARTICLESTORE_H

#include <cstdint>

#include "ParticleRecords.h"

struct ParticleRec {
  float xPos, yPos, zPos;
  float xOld, yOld, zOld;  // start of the latest step: the blur position
  float xDir, yDir, zDir;  // velocity per time unit
  float energy;            // 1 at birth, 0 at death
  float decay;             // energy lost per time unit
  ARGB color;
  int32_t link;            // next slot on this slot's list, -1 ends it
};
typedef ParticleRec* ParticlePtr;
static_assert(sizeof(ParticleRec) == 52, "ParticleRec is part of the block size");

constexpr int32_t kParticleRecSize = int32_t(sizeof(ParticleRec));
constexpr int32_t kPluginDataSize = int32_t(sizeof(PluginDataRec));
// The largest pool whose block (352 + 52 per slot) still has a signed 32-bit size.
constexpr int32_t kMaxParticleLimit = (INT32_MAX - kPluginDataSize) / kParticleRecSize;
static_assert(kMaxParticleLimit == 41297755, "largest pool");

// The bookkeeping value written whenever the pool is reset.
constexpr double kDefaultFrameTimeDelta = 0.03333333;

// Slot 0 of the pool of the block that begins with theData.
inline ParticlePtr ParticleSlots(PluginDataPtr theData) {
  return reinterpret_cast<ParticlePtr>(reinterpret_cast<uint8_t*>(theData) + kPluginDataSize);
}

// Empties the pool, links every slot as free and resets the frame bookkeeping.
void InitParticleList(ControlDataPtr theControl, PluginDataPtr theData);

// Whether an index taken from a list names a slot of the pool.  The lists are
// the only source of indices; this keeps a damaged stored record from sending
// the engine outside the block.
inline bool ValidParticleIndex(const ControlDataRec* theControl, int32_t n) {
  return n >= 0 && n < theControl->maxParticles;
}
// Whether the pool has no free slot to take.
inline bool PoolFull(const ControlDataRec* theControl) {
  return !ValidParticleIndex(theControl, theControl->firstInactive);
}

// Whether the stored lists describe the pool: every index names a slot, each
// list ends within maxParticles steps, the active list is particleCount long,
// and the two lists together hold every slot exactly once.  Costs one pass
// over both lists.
bool ParticleListsSound(const ControlDataRec* theControl, PluginDataPtr theData);
// The second half of that check, for a caller that has walked the active
// list itself and found it particleCount long, ending at slot activeLast
// (-1 when empty): whether the free list holds exactly the other slots.
bool FreeListFits(const ControlDataRec* theControl, PluginDataPtr theData, int32_t activeLast);

// Slot n of the bound pool (particleData).
ParticlePtr FindParticle(int32_t n);
// Copies a finished particle into a free slot at the head of the active list;
// a full pool drops it.
void AddParticle(ParticlePtr theParticle);
// Moves an active particle to the free list; lastParticleIndex is its
// predecessor on the active list, -1 for the head.
void DeleteParticle(int32_t theParticleIndex, int32_t lastParticleIndex);

// The random source: a 32-bit congruential generator behind a 97-entry
// shuffle table.
void SeedRandomCache(uint32_t theSeed);
uint32_t RandomCache();

// Variates from the upper 16 bits of the next value.
inline double SignedVariate() {
  return double(int16_t(uint16_t(RandomCache() >> 16))) * 3.0517578e-05;  // in [-1, 1)
}
inline double UnsignedVariate() {
  return double(RandomCache() >> 16) * 1.5259022e-05;  // in [0, 1.00000000677]
}

#endif
