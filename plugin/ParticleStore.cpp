// Particle pool lists and the random source.
#include "ParticleStore.h"

#include <cstring>

#include "Particle.h"

namespace {

uint32_t randomSeed = 0;
uint32_t randomIndex = 0;
uint32_t randomCache[97];

inline uint32_t NextRandom(uint32_t x) { return x * 1103515245u + 12345u; }

// Follows a list from head for at most limit slots.  Gives its length and
// last slot, or -1 when an index is not a slot or the list does not end.
int32_t ListLength(const ControlDataRec* c, const ParticleRec* slots, int32_t head,
                   int32_t limit, int32_t* last) {
  int32_t n = 0;
  *last = -1;
  for (int32_t i = head; i != -1; i = slots[i].link, n++) {
    if (!ValidParticleIndex(c, i) || n == limit) return -1;
    *last = i;
  }
  return n;
}

}  // namespace

void InitParticleList(ControlDataPtr theControl, PluginDataPtr theData) {
  theControl->lastFrameIndex = 0;
  theControl->lastFrameTime = 0.0;
  theControl->lastFrameTimeDelta = kDefaultFrameTimeDelta;
  theControl->particleCount = 0;
  theControl->firstActive = -1;
  int32_t count = theControl->maxParticles;
  if (count < 1) {  // no slot at all: an always-full pool
    theControl->firstInactive = -1;
    return;
  }
  theControl->firstInactive = 0;
  ParticlePtr slots = ParticleSlots(theData);
  for (int32_t i = 1; i < count; i++) slots[i - 1].link = i;
  slots[count - 1].link = -1;
}

bool ParticleListsSound(const ControlDataRec* c, PluginDataPtr theData) {
  int32_t activeLast;
  int32_t active =
      ListLength(c, ParticleSlots(theData), c->firstActive, c->maxParticles, &activeLast);
  return active >= 0 && active == c->particleCount && FreeListFits(c, theData, activeLast);
}

bool FreeListFits(const ControlDataRec* c, PluginDataPtr theData, int32_t activeLast) {
  const int32_t active = c->particleCount;
  if (active < 0 || active > c->maxParticles) return false;
  int32_t freeLast;
  int32_t free =
      ListLength(c, ParticleSlots(theData), c->firstInactive, c->maxParticles - active, &freeLast);
  // Two lists that end at -1 and share a slot share everything after it,
  // their last slot included; with distinct last slots and lengths adding up
  // to the pool, every slot is on exactly one list.
  return free >= 0 && active + free == c->maxParticles &&
         (active == 0 || free == 0 || activeLast != freeLast);
}

ParticlePtr FindParticle(int32_t n) { return static_cast<ParticlePtr>(particleData) + n; }

void AddParticle(ParticlePtr theParticle) {
  if (PoolFull(theControl)) return;
  int32_t slot = theControl->firstInactive;
  ParticlePtr p = FindParticle(slot);
  theParticle->link = theControl->firstActive;
  theControl->firstActive = slot;
  theControl->firstInactive = p->link;
  std::memcpy(p, theParticle, sizeof(ParticleRec));
  theControl->particleCount += 1;
}

void DeleteParticle(int32_t theParticleIndex, int32_t lastParticleIndex) {
  ParticlePtr p = FindParticle(theParticleIndex);
  if (lastParticleIndex >= 0)
    FindParticle(lastParticleIndex)->link = p->link;
  else
    theControl->firstActive = p->link;
  p->link = theControl->firstInactive;
  theControl->firstInactive = theParticleIndex;
  theControl->particleCount -= 1;
}

void SeedRandomCache(uint32_t theSeed) {
  randomSeed = theSeed;
  for (uint32_t& entry : randomCache) {
    randomSeed = NextRandom(randomSeed);
    entry = randomSeed;
  }
  randomSeed = NextRandom(randomSeed);
  randomIndex = randomSeed;
}

uint32_t RandomCache() {
  uint32_t i = ((randomIndex >> 16) * 97u) >> 16;
  randomIndex = randomCache[i];
  randomSeed = NextRandom(randomSeed);
  randomCache[i] = randomSeed;
  return randomIndex;
}
