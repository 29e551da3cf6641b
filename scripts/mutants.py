#!/usr/bin/env python3
"""Mutation campaign over the plug-in and the kit's exact parts.

Each mutant is one slip a maintainer could make: a file, the exact original
text (found exactly once, or the campaign refuses to start) and its
replacement.  For each one the script applies it, rebuilds the test programs
that can see the file, runs them, and restores the file whatever happens.
A mutant is caught when a test fails, crashes or times out.  Mutants that
cannot change any output are marked equivalent, with the reason, and are not
run or scored.

    scripts/mutants.py                  the whole list
    scripts/mutants.py --only NAME...   only these mutants
    scripts/mutants.py --list           the list, nothing built

The build directory is build/mutants: Debug with AddressSanitizer and
UndefinedBehaviorSanitizer, as `make test` builds, so a slip that only reads
or writes outside a block is caught here as it is there.  It is used by
nothing else, so the normal builds are never disturbed.

Test selection: the programs of the mutated file's own test folder, plus the
plug-in's programs when the plug-in calls into that file (the DEPENDENTS
table).  The stand-in host is not built: its own tests are its helpers'.
Each GoogleTest program runs once with all its cases, rather than once per
case as ctest does; the cases are the same.  The property test of the
robustness driver, the slowest by far, runs only when the others pass.
"""

import argparse
import hashlib
import os
import re
import signal
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "mutants")
JOBS = os.environ.get("JOBS", "2")
# A program that runs ten times as long as it did unmutated (at least a
# minute) is stopped: a hang counts as caught.
baseline_seconds = {}
current = "baseline"  # the mutant applied, naming the logs of failing programs
SLOW = {"tests/robust/test_particle_robust"}

# Test programs by folder, as CMake names them and where it puts them.
PROGRAMS = {
    "plugin": ["tests/plugin/test_plugin_entry", "tests/plugin/test_particle_engine",
               "tests/plugin/test_particle_dialog", "tests/plugin/test_particle_narrowing",
               "tests/robust/test_particle_robust"],
    "text": ["tests/text/test_pstring", "tests/text/test_text_utils",
             "tests/text/test_pstring_format"],
    "geometry": ["tests/geometry/test_color_rect", "tests/geometry/test_geometry_defaults"],
    "math": ["tests/math/test_fpu", "tests/math/test_math"],
    "noise": ["tests/noise/test_noise"],
    "ui": ["tests/ui/test_plugin_utils"],
    "host": ["tests/host/test_plugin_client", "tests/host/test_plugin_glue"],
}

# Which test folders can see a file: its own, and the plug-in's where the
# plug-in calls into it.
DEPENDENTS = [
    ("plugin/", ["plugin"]),
    ("sdk/text/RoundUtils", ["text", "plugin"]),
    ("sdk/text/PStringFormat", ["text", "ui"]),
    ("sdk/math/PointTransform", ["math", "plugin"]),
    ("sdk/math/FPU", ["math"]),
    ("sdk/geometry/", ["geometry", "plugin"]),
    ("sdk/noise/", ["noise"]),
]


def M(name, path, old, new, equivalent=None):
    return {"name": name, "file": path, "old": old, "new": new, "equivalent": equivalent}


MUTANTS = [
    # ------------------------------------------------------------ Particle.cpp
    M("check-status-off-by-one", "plugin/Particle.cpp",
      "    if (known == asked) return kPluginNoError;\n  return kPluginBadParameters;",
      "    if (known == asked) return kPluginNoError;\n  return kPluginUnsupportedCommand;"),
    M("slots-after-control-record", "plugin/Particle.cpp",
      "particleData = static_cast<uint8_t*>(theInfo.thePluginData) + sizeof(PluginDataRec);",
      "particleData = static_cast<uint8_t*>(theInfo.thePluginData) + sizeof(ControlDataRec);"),
    # ---------------------------------------------------- ParticleSettings.cpp
    M("tolerance-rounds-up-a-multiple-of-8", "plugin/ParticleSettings.cpp",
      "return (n + 7) & ~int64_t(7);", "return (n + 8) & ~int64_t(7);"),
    M("exact-block-reallocated", "plugin/ParticleSettings.cpp",
      "theInfo->thePluginDataSize < newPluginDataSize ||",
      "theInfo->thePluginDataSize <= newPluginDataSize ||"),
    M("default-friction-as-float", "plugin/ParticleSettings.cpp",
      "c->bounceFriction = 0.9;", "c->bounceFriction = 0.9f;"),
    M("reversed-settings-half-swapped", "plugin/ParticleSettings.cpp",
      "ReverseField(&settings[i], 8);", "ReverseField(&settings[i], 4);"),
    M("short-block-accepted", "plugin/ParticleSettings.cpp",
      "theInfo->thePluginData == nullptr || theInfo->thePluginDataSize < newPluginDataSize)",
      "theInfo->thePluginData == nullptr || theInfo->thePluginDataSize < kPluginDataSize)"),
    M("setup-step-compared-with-not-equal", "plugin/ParticleSettings.cpp",
      "if (!(d->frameTimeDelta == theParameters->theFrameTimeDelta)) {",
      "if (d->frameTimeDelta != theParameters->theFrameTimeDelta) {",
      equivalent="!(a == b) and a != b agree for every pair of doubles, not-a-number included"),
    # --------------------------------------------------- ParticleInterface.cpp
    M("dialog-axis-fields-swapped", "plugin/ParticleInterface.cpp",
      "PARTICLE_FIELD(20, initXDir),       PARTICLE_FIELD(21, initYDir),",
      "PARTICLE_FIELD(21, initXDir),       PARTICLE_FIELD(20, initYDir),"),
    M("dialog-decimals-off-by-one", "plugin/ParticleInterface.cpp",
      "constexpr int16_t kDecimals = 8;", "constexpr int16_t kDecimals = 7;"),
    # ------------------------------------------------------- ParticleStore.*
    M("random-increment-off-by-one", "plugin/ParticleStore.cpp",
      "return x * 1103515245u + 12345u;", "return x * 1103515245u + 12346u;"),
    M("shuffle-table-of-96", "plugin/ParticleStore.cpp",
      "((randomIndex >> 16) * 97u) >> 16;", "((randomIndex >> 16) * 96u) >> 16;"),
    M("signed-variate-as-fraction", "plugin/ParticleStore.h",
      "* 3.0517578e-05;", "* (1.0 / 32768);"),
    M("unsigned-variate-as-fraction", "plugin/ParticleStore.h",
      "* 1.5259022e-05;", "* (1.0 / 65535);"),
    M("unlink-after-slot-0-goes-to-head", "plugin/ParticleStore.cpp",
      "if (lastParticleIndex >= 0)", "if (lastParticleIndex > 0)"),
    M("default-step-as-fraction", "plugin/ParticleStore.h",
      "kDefaultFrameTimeDelta = 0.03333333;", "kDefaultFrameTimeDelta = 1.0 / 30;"),
    M("list-walk-one-past-limit", "plugin/ParticleStore.cpp",
      "if (!ValidParticleIndex(c, i) || n == limit) return -1;",
      "if (!ValidParticleIndex(c, i) || n > limit) return -1;",
      equivalent="a list that ends is never longer than the pool, and a longer free list "
                 "fails the length sum either way: only the walk's length changes"),
    M("overlapping-lists-by-last-slot-dropped", "plugin/ParticleStore.cpp",
      "(active == 0 || free == 0 || activeLast != freeLast);",
      "(active == 0 || free == 0 || activeLast != -1);"),
    # ---------------------------------------------------------- ParticleEmit
    M("direction-reciprocal-as-division", "plugin/ParticleEmit.cpp",
      "double k2 = k * z;", "double k2 = z / s;"),
    M("direction-row-sign", "plugin/ParticleEmit.cpp",
      "m.m.m01 = -x * k;", "m.m.m01 = x * k;"),
    M("angle-slope-as-fraction", "plugin/ParticleEmit.cpp",
      "float z = float(1 + a * -0.01111111111);", "float z = float(1 - a / 90);"),
    M("pi-rounded", "plugin/ParticleEmit.cpp",
      "double theta = 3.141592653589793 * SignedVariate();",
      "double theta = 3.14159265 * SignedVariate();"),
    M("square-not-narrowed", "plugin/ParticleEmit.cpp",
      "float zz = z * z;", "double zz = double(z) * z;"),
    M("azimuth-sine-cosine-swapped", "plugin/ParticleEmit.cpp",
      "float x = float(std::sin(theta) * rho);", "float x = float(std::cos(theta) * rho);"),
    M("direction-column-for-row", "plugin/ParticleEmit.cpp",
      "p.yDir = float(x * m.m.m01 + y * m.m.m11 + z * m.m.m21);",
      "p.yDir = float(x * m.m.m10 + y * m.m.m11 + z * m.m.m12);"),
    M("speed-narrowing-spelled-implicitly", "plugin/ParticleEmit.cpp",
      "p.xDir = float(p.xDir * v);", "p.xDir = p.xDir * v;",
      equivalent="the store into a float field narrows the double product the same way"),
    M("positions-drawn-z-before-y", "plugin/ParticleEmit.cpp",
      "    p.yPos = float(c.initYPos + c.initYPosErr * SignedVariate());\n"
      "    p.zPos = float(c.initZPos + c.initZPosErr * SignedVariate());\n",
      "    p.zPos = float(c.initZPos + c.initZPosErr * SignedVariate());\n"
      "    p.yPos = float(c.initYPos + c.initYPosErr * SignedVariate());\n"),
    M("birth-moment-drawn-below-ground-too", "plugin/ParticleEmit.cpp",
      "    if (p.yPos >= c.groundLevel) {\n      // Born at a random moment within the last e of the interval.\n      double u = UnsignedVariate();\n",
      "    double u = UnsignedVariate();\n    if (p.yPos >= c.groundLevel) {\n      // Born at a random moment within the last e of the interval.\n"),
    M("born-on-the-ground-dropped", "plugin/ParticleEmit.cpp",
      "if (p.yPos >= c.groundLevel) {", "if (p.yPos > c.groundLevel) {"),
    M("window-end-exclusive", "plugin/ParticleEmit.cpp",
      "} else if (time + dt > c.emitStart && c.emitEnd >= time) {",
      "} else if (time + dt > c.emitStart && c.emitEnd > time) {"),
    M("window-start-inclusive-cut", "plugin/ParticleEmit.cpp",
      "if (c.emitStart > time) *e = *e - (c.emitStart - time);",
      "if (c.emitStart >= time) *e = *e - (c.emitStart - time);",
      equivalent="where emitStart equals time the cut subtracts exactly zero"),
    M("count-variate-unsigned", "plugin/ParticleEmit.cpp",
      "double rate = c.emitFrequency + c.emitErr * SignedVariate();",
      "double rate = c.emitFrequency + c.emitErr * UnsignedVariate();"),
    M("seed-of-the-next-frame", "plugin/ParticleEmit.cpp",
      "SeedRandomCache(uint32_t(c.particleSeed) + uint32_t(frame));",
      "SeedRandomCache(uint32_t(c.particleSeed) + uint32_t(frame + 1));"),
    M("fold-at-180-inclusive", "plugin/ParticleEmit.cpp",
      "return r > 180 ? std::fabs(r - 360) : r;", "return r >= 180 ? std::fabs(r - 360) : r;",
      equivalent="a remainder of exactly 180 folds to |180 - 360| = 180"),
    # -------------------------------------------------------- ParticleMotion
    M("energy-narrowed-before-the-death-test", "plugin/ParticleMotion.cpp",
      "double newEnergy = p->energy - p->decay * k.dt;",
      "float newEnergy = float(p->energy - p->decay * k.dt);"),
    M("lift-threshold-inclusive", "plugin/ParticleMotion.cpp",
      "p->yPos - m.ground > k.gy)", "p->yPos - m.ground >= k.gy)"),
    M("air-resistance-reciprocal", "plugin/ParticleMotion.cpp",
      "return {dt, 1 - m.airResistance * dt,", "return {dt, 1 - dt / m.airResistance,"),
    M("friction-on-y", "plugin/ParticleMotion.cpp",
      "p->zDir = float(m.bounceFriction * p->zDir);",
      "p->zDir = float(m.bounceFriction * p->yDir);"),
    M("contact-fraction-not-narrowed", "plugin/ParticleMotion.cpp",
      "double t = (p->yOld - m.ground) / float(p->yOld - p->yPos);",
      "double t = (p->yOld - m.ground) / (p->yOld - p->yPos);",
      equivalent="the difference of two floats is already formed in float"),
    M("rest-of-step-narrowed", "plugin/ParticleMotion.cpp",
      "double dt = k.dt * (1 - t);", "float dt = float(k.dt * (1 - t));"),
    M("bounce-z-from-x", "plugin/ParticleMotion.cpp",
      "double zBounce = p->zOld + float(p->zPos - p->zOld) * t;",
      "double zBounce = p->zOld + float(p->xPos - p->xOld) * t;"),
    M("touching-the-ground-bounces", "plugin/ParticleMotion.cpp",
      "if (m.ground > p->yPos && !(p->yOld < m.ground)) {",
      "if (m.ground >= p->yPos && !(p->yOld < m.ground)) {"),
    M("full-pool-not-continued", "plugin/ParticleMotion.cpp",
      "if (count < 0 || count > c.maxParticles) return false;",
      "if (count < 0 || count >= c.maxParticles) return false;"),
    M("one-step-path-for-any-count", "plugin/ParticleMotion.cpp",
      "const bool oneStep = numFrames == 1 && dt > 0;",
      "const bool oneStep = numFrames <= 1 && dt > 0;",
      equivalent="numFrames <= 0 has returned just above"),
    M("zero-first-step-taken", "plugin/ParticleMotion.cpp",
      "if (dt <= 0) {  // no partial first step", "if (dt < 0) {  // no partial first step"),
    # -------------------------------------------------------- ParticleFrames
    M("window-by-ceiling", "plugin/ParticleFrames.cpp",
      "DoubleToInt32(1 + std::floor((c.lifeTime + c.lifeTimeErr) / delta));",
      "DoubleToInt32(std::ceil((c.lifeTime + c.lifeTimeErr) / delta));"),
    M("continue-from-window-start-excluded", "plugin/ParticleFrames.cpp",
      "c.lastFrameIndex >= frame &&", "c.lastFrameIndex > frame &&"),
    M("frame-report-off-by-one", "plugin/ParticleFrames.cpp",
      "int64_t done = int64_t(frame) - start + 1;", "int64_t done = int64_t(frame) - start;"),
    M("frame-report-integer-division", "plugin/ParticleFrames.cpp",
      "theStatusRec.theStatusPos = float(double(done) / count);",
      "theStatusRec.theStatusPos = float(done / count);"),
    M("frame-final-report-value", "plugin/ParticleFrames.cpp",
      "UpdateStatus(1.0f, count);", "UpdateStatus(1.0f, count - 1);"),
    M("report-maximum-off-by-one", "plugin/ParticleFrames.cpp",
      "theStatusRec.theStatusMax = theMax;", "theStatusRec.theStatusMax = theMax + 1;"),
    # -------------------------------------------------------- ParticleOutput
    M("group-mask-keeps-bit-29", "plugin/ParticleOutput.cpp",
      "kGroupFlagMask = 0x5FFFFFFF;", "kGroupFlagMask = 0x7FFFFFFF;"),
    M("particle-report-off-by-one", "plugin/ParticleOutput.cpp",
      "UpdateStatus(float(double(k) / total), k);",
      "UpdateStatus(float(double(k - 1) / total), k);"),
    M("blur-y-z-swapped", "plugin/ParticleOutput.cpp",
      "AddBlurVertex(p.xPos, p.yPos, p.zPos, p.xOld, p.yOld, p.zOld);",
      "AddBlurVertex(p.xPos, p.yPos, p.zPos, p.xOld, p.zOld, p.yOld);"),
    M("texture-from-blur", "plugin/ParticleOutput.cpp",
      "theVertex.theTexturePosition = theVertex.thePosition;",
      "theVertex.theTexturePosition = theVertex.theBlurPosition;"),
    M("vertex-normal-up", "plugin/ParticleOutput.cpp",
      "theVertex.theNormal = DCoordinate{0.0, 0.0, 0.0};",
      "theVertex.theNormal = DCoordinate{0.0, 0.0, 1.0};"),
    M("last-particle-not-output", "plugin/ParticleOutput.cpp",
      "k <= total && ValidParticleIndex", "k < total && ValidParticleIndex"),
    # -------------------------------------------------------- ParticleEngine.h
    M("blend-rounds-half-up", "plugin/ParticleEngine.h",
      "return uint8_t(DoubleToInt32(higher * f2 + lower * f1));",
      "return uint8_t(DoubleToInt32(higher * f2 + lower * f1 + 0.5));"),
    M("blend-terms-commuted", "plugin/ParticleEngine.h",
      "return uint8_t(DoubleToInt32(higher * f2 + lower * f1));",
      "return uint8_t(DoubleToInt32(lower * f1 + higher * f2));",
      equivalent="a sum of two doubles does not depend on the order of its terms"),
    M("energy-midpoint-in-upper-half", "plugin/ParticleEngine.h",
      "} else if (theEnergy <= 0.5) {", "} else if (theEnergy < 0.5) {",
      equivalent="at 0.5 both halves give the middle colour exactly (weights 1 and 0)"),
    M("blend-channels-green-blue-swapped", "plugin/ParticleEngine.h",
      "theColor->b = BlendChannel(lower.b, higher.b, f1, f2);",
      "theColor->b = BlendChannel(lower.g, higher.g, f1, f2);"),
    M("clock-stride-off-by-one", "plugin/ParticleEngine.h",
      "++runsWithoutClock < kClockStride) return false;",
      "++runsWithoutClock <= kClockStride) return false;"),
    M("saturation-at-the-limit", "plugin/ParticleEngine.h",
      "return n > INT32_MAX ? INT32_MAX", "return n >= INT32_MAX ? INT32_MAX",
      equivalent="INT32_MAX saturates to itself"),
    # ------------------------------------------------------------- rounding
    M("floor-of-an-integer", "sdk/text/RoundUtils.cpp",
      "return double(t) > n ? t - 1 : t;", "return double(t) >= n ? t - 1 : t;"),
    M("split-factor-of-an-integer", "sdk/text/RoundUtils.cpp",
      "if (*n < 0.0) {", "if (*n <= 0.0) {"),
    M("round-zero-as-negative", "sdk/text/RoundUtils.cpp",
      "DoubleToInt32(n >= 0.0 ? n + 0.5 : n - 0.5)", "DoubleToInt32(n > 0.0 ? n + 0.5 : n - 0.5)",
      equivalent="zero rounds to zero on either side: -0.5 and 0.5 both truncate to 0"),
    M("16-16-scale-rounded", "sdk/text/RoundUtils.cpp",
      "return DoubleToInt32(n * 65536.0);", "return DoubleToInt32(n * 65535.0);"),
    M("clamp-16-lower-limit", "sdk/text/RoundUtils.cpp",
      "if (value < -kClamp16) return -kClamp16;", "if (value < -kClamp16) return -kClamp16 - 1;"),
    M("trunc-lo-of-an-integer", "sdk/text/RoundUtils.cpp",
      "return double(t) > n ? t : t + 1;", "return double(t) >= n ? t : t + 1;"),
    # ------------------------------------------------------------- colours
    M("packed-exponent-limit", "sdk/geometry/geometry_records.cpp",
      "if (e <= -16) {", "if (e < -16) {"),
    M("packed-high-bits-green-blue-swapped", "sdk/geometry/geometry_records.cpp",
      "(gi >> 8) * 64 + (bi >> 8) * 32", "(gi >> 8) * 32 + (bi >> 8) * 64"),
    M("unpacked-without-half", "sdk/geometry/geometry_records.cpp",
      "*g = (0.5f + float(theARGB->g", "*g = (float(theARGB->g"),
    M("unpacked-blue-high-bit-of-green", "sdk/geometry/geometry_records.cpp",
      "*b = (0.5f + float(theARGB->b + ((theARGB->a & 0x20)",
      "*b = (0.5f + float(theARGB->b + ((theARGB->a & 0x40)"),
    # ---------------------------------------------------- point transformation
    M("homogeneous-reciprocal-as-division", "sdk/math/PointTransform.cpp",
      "*yo = y * reciprocal;", "*yo = y / h;"),
    M("normal-reciprocal-as-division", "sdk/math/PointTransform.cpp",
      "*c = cNew * reciprocal;", "*c = cNew / distance;"),
    M("unit-weight-divides-too", "sdk/math/PointTransform.cpp",
      "if (h == 1.0) {", "if (h == 1.0 && false) {",
      equivalent="dividing by a weight of exactly 1 multiplies by 1.0, which changes nothing"),
    M("linear-sum-order", "sdk/math/PointTransform.cpp",
      "*bo = (a * m.m01 + b * m.m11) + c * m.m21;", "*bo = a * m.m01 + (b * m.m11 + c * m.m21);"),
    M("translation-from-the-column", "sdk/math/PointTransform.h",
      "*yo = ((xp * m.m01 + yp * m.m11) + zp * m.m21) + m.m31;",
      "*yo = ((xp * m.m01 + yp * m.m11) + zp * m.m21) + m.m13;"),
    M("point3-column-for-row", "sdk/math/PointTransform.cpp",
      "*z = (a * m.m02 + b * m.m12) + c * m.m22;\n}",
      "*z = (a * m.m20 + b * m.m21) + c * m.m22;\n}"),
    # ---------------------------------------------------------- float formats
    M("extended-exponent-bias", "sdk/math/FPU.cpp",
      "exponent - 16383 - 63);", "exponent - 16383 - 64);"),
    M("extended-exponent-bias-out", "sdk/math/FPU.cpp",
      "expon += 16382;", "expon += 16383;"),
    M("denormal-at-exponent-zero", "sdk/math/FPU.cpp",
      "if (expon < 0) {", "if (expon <= 0) {",
      equivalent="at exponent 0 the scaling is by 2^0, which changes nothing"),
    M("12-byte-word-from-the-padding", "sdk/math/FPU.cpp",
      "dst[8] = src[10];", "dst[8] = src[8];"),
    M("positive-zero-as-negative", "sdk/math/FPU.cpp",
      "if (num < 0) {", "if (num <= 0) {"),
    M("real-exponent-mask", "sdk/math/FPU.cpp",
      "kRealExponent = 0x7F800000u;", "kRealExponent = 0x7F000000u;"),
    # ----------------------------------------------------------------- noise
    M("noise-table-scale-as-fraction", "sdk/noise/Noise.cpp",
      "2.328306436e-10 * static_cast<double>(seed)", "(1.0 / 4294967296.0) * static_cast<double>(seed)"),
    M("spline-middle-weight-in-float", "sdk/noise/Noise.cpp",
      "w[1] = static_cast<float>((static_cast<double>(f) + 0.5) - static_cast<double>(ff));",
      "w[1] = (f + 0.5f) - ff;"),
    M("axis-steps-y-z-swapped", "sdk/noise/Noise.cpp",
      "{74809041u, 113448903u, 184734183u, 255614433u}",
      "{74809041u, 184734183u, 113448903u, 255614433u}"),
    M("lattice-shift-rounded", "sdk/noise/NoiseLattice.h",
      "static_cast<double>(c) - 0.999999999;", "static_cast<double>(c) - 1.0;"),
    M("linear-blend-slope-variable", "sdk/noise/Noise.cpp",
      "return a + (b - a) * f[D - 1];", "return a + (b - a) * f[0];"),
    M("minimal-standard-modulus-inclusive", "sdk/noise/Noise.cpp",
      "*seed = sum >= 0x7FFFFFFFu ?", "*seed = sum > 0x7FFFFFFFu ?"),
    M("cell-point-index-stride", "sdk/noise/NoiseCellular.cpp",
      "Insert<3>(f, n, k + 16 * c,", "Insert<3>(f, n, k + 15 * c,"),
    M("cell-distance-sum-order", "sdk/noise/NoiseCellular.cpp",
      "(vx * vx + vy * vy) + vz * vz,", "vx * vx + (vy * vy + vz * vz),"),
    M("dot-id-before-the-draw", "sdk/noise/NoiseCellular.cpp",
      "    seed = NextSeed(seed);\n    dot->index = seed;", "    dot->index = seed;"),
    M("far-neighbour-at-equal-distance", "sdk/noise/NoiseCellular.cpp",
      "if (worst > farX) DoCell(f, n,", "if (worst >= farX) DoCell(f, n,",
      equivalent="a point of the far cell lies at least farX away after rounding too, and only "
                 "a nearer one is inserted"),
    M("mandelbrot-escape-inclusive", "sdk/noise/NoiseFractal.cpp",
      "if (xx + yy > 4.0) break;", "if (xx + yy >= 4.0) break;"),
    M("marble-start-without-amplitude", "sdk/noise/NoiseFractal.cpp",
      "float sum = offset - o.amplitude;", "float sum = offset;"),
    # ------------------------------------------------------------ formatting
    M("thousands-separator-off-by-one", "sdk/text/PStringFormat.cpp",
      "if (left != 0 && left % 3 == 0)", "if (left > 1 && left % 3 == 0)",
      equivalent="left is never 1 or 2 where left % 3 == 0 holds, so > 1 and != 0 agree"),
    M("thousands-separator-one-early", "sdk/text/PStringFormat.cpp",
      "if (left != 0 && left % 3 == 0)", "if (left != 0 && left % 3 == 1)"),
    M("trim-eats-integer-zeros", "sdk/text/PStringFormat.cpp",
      "while (length > pointIndex &&", "while (length > 0 &&"),
    M("hours-wrap-at-12", "sdk/text/PStringFormat.cpp",
      "(magnitude / 3600) % 24", "(magnitude / 3600) % 12"),
    M("noon-is-am", "sdk/text/PStringFormat.cpp",
      "when.tm_hour < 12 ? \"AM\" : \"PM\"", "when.tm_hour <= 12 ? \"AM\" : \"PM\""),
    M("exponent-precision-limit", "sdk/text/PStringFormat.cpp",
      "const int64_t kMaxExponentPrecision = 240;", "const int64_t kMaxExponentPrecision = 250;"),
    M("kilobytes-by-1000", "sdk/text/PStringFormat.cpp",
      "PStrNumericalStr(theNum / 1024)", "PStrNumericalStr(theNum / 1000)"),
]

# ----------------------------------------------------------------- machinery

restore = {}  # path -> original bytes, while a mutant is applied
children = set()


def read(path):
    with open(os.path.join(ROOT, path), "rb") as f:
        return f.read()


def write(path, data):
    with open(os.path.join(ROOT, path), "wb") as f:
        f.write(data)


def restore_all():
    for path, data in list(restore.items()):
        write(path, data)
        del restore[path]


def on_signal(signum, _frame):
    for p in list(children):
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    restore_all()
    sys.stderr.write("mutants: stopped by signal %d, every file restored\n" % signum)
    os._exit(128 + signum)


def run(cmd, timeout=None):
    """Runs cmd in its own process group; (exit code or None on timeout, output)."""
    p = subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         start_new_session=True)
    children.add(p)
    try:
        out, _ = p.communicate(timeout=timeout)
        return p.returncode, out.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        out, _ = p.communicate()
        return None, out.decode("utf-8", "replace")
    finally:
        children.discard(p)


def validate(mutants):
    """Every original text must occur exactly once; names must be unique."""
    errors, seen = [], set()
    for m in mutants:
        if m["name"] in seen:
            errors.append("%s: duplicate name" % m["name"])
        seen.add(m["name"])
        if not os.path.exists(os.path.join(ROOT, m["file"])):
            errors.append("%s: no file %s" % (m["name"], m["file"]))
            continue
        n = read(m["file"]).count(m["old"].encode())
        if n != 1:
            errors.append("%s: original text found %d times in %s" % (m["name"], n, m["file"]))
        if m["old"] == m["new"]:
            errors.append("%s: replacement equals the original" % m["name"])
        if not any(m["file"].startswith(prefix) for prefix, _ in DEPENDENTS):
            errors.append("%s: no test folders listed for %s" % (m["name"], m["file"]))
    return errors


def programs_for(path):
    for prefix, folders in DEPENDENTS:
        if path.startswith(prefix):
            return [p for f in folders for p in PROGRAMS[f]]
    raise KeyError(path)


def configure():
    os.makedirs(BUILD, exist_ok=True)
    code, out = run(["cmake", "-S", ROOT, "-B", BUILD, "-G", "Unix Makefiles",
                     "-DCMAKE_BUILD_TYPE=Debug", "-DPLM_SANITIZE=ON", "-DPLM_BUILD_BENCH=OFF",
                     "-DPLM_BUILD_HOST=OFF", "-DPLM_BUILD_FUZZ=OFF"])
    if code != 0:
        sys.exit("mutants: configuring build/mutants failed\n" + out)


def build(programs):
    targets = [os.path.basename(p) for p in programs]
    return run(["cmake", "--build", BUILD, "-j", JOBS, "--target"] + targets)


FAILED = re.compile(r"^\[  FAILED  \] (\S+)(?:, where|\s*\(\d+ ms\))", re.M)
RUNNING = re.compile(r"^\[ RUN      \] (\S+)", re.M)


def run_program(program):
    """The failing cases of one program: [] when it passes."""
    path = os.path.join(BUILD, program)
    t0 = time.time()
    code, out = run([path, "--gtest_color=no"],
                    timeout=max(60.0, 10 * baseline_seconds.get(program, 30.0)))
    baseline_seconds.setdefault(program, time.time() - t0)
    if code == 0:
        return []
    # The whole output, for a look at what failed.
    logs = os.path.join(BUILD, "logs")
    os.makedirs(logs, exist_ok=True)
    with open(os.path.join(logs, "%s.%s.txt" % (current, os.path.basename(program))), "w") as f:
        f.write(out)
    failed = sorted(set(FAILED.findall(out)))
    if failed and code == 1:
        return failed
    started = RUNNING.findall(out)
    where = started[-1] if started else os.path.basename(program)
    return ["%s (%s)" % (where, "timed out" if code is None else "exit %d" % code)]


def run_suite(programs, stop_early=True):
    """The failing cases.  The long property test runs last, and only when the
    quicker programs pass, unless stop_early is false."""
    quick = [p for p in programs if p not in SLOW]
    slow = [p for p in programs if p in SLOW]
    failing = []
    for stage in ([quick, slow] if stop_early else [quick + slow]):
        with ThreadPoolExecutor(max_workers=2) as pool:
            failing += [case for r in pool.map(run_program, stage) for case in r]
        if failing:
            break
    return failing


def tree_state():
    code, out = run(["git", "status", "--porcelain", "--untracked-files=all"])
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--only", nargs="+", metavar="NAME", help="run only these mutants")
    ap.add_argument("--list", action="store_true", help="print the list and stop")
    ap.add_argument("--equivalent", action="store_true",
                    help="also run the equivalent mutants, to see that they survive")
    args = ap.parse_args()

    errors = validate(MUTANTS)
    if errors:
        sys.exit("mutants: the list does not match the code:\n  " + "\n  ".join(errors))
    chosen = MUTANTS
    if args.only:
        names = {m["name"] for m in MUTANTS}
        unknown = [n for n in args.only if n not in names]
        if unknown:
            sys.exit("mutants: no such mutant: " + ", ".join(unknown))
        chosen = [m for m in MUTANTS if m["name"] in args.only]
    if args.list:
        for m in chosen:
            tag = "  (equivalent: %s)" % m["equivalent"] if m["equivalent"] else ""
            print("%-40s %s%s" % (m["name"], m["file"], tag))
        equivalent = sum(1 for m in chosen if m["equivalent"])
        print("%d files, %d of them in plugin/" % (len({m["file"] for m in chosen}),
              len({m["file"] for m in chosen if m["file"].startswith("plugin/")})))
        print("%d mutants, %d equivalent" % (len(chosen), equivalent))
        return 0

    for s in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(s, on_signal)
    started = time.time()
    before = tree_state()
    files = sorted({m["file"] for m in MUTANTS})
    digests = {f: hashlib.sha256(read(f)).hexdigest() for f in files}

    # The unmutated suite must pass, or no mutant can be judged.
    configure()
    every = sorted({p for m in chosen for p in programs_for(m["file"])})
    code, out = build(every)
    if code != 0:
        sys.exit("mutants: the unmutated tree does not build\n" + out[-4000:])
    failing = run_suite(every, stop_early=False)
    if failing:
        sys.exit("mutants: the unmutated suite fails: " + ", ".join(failing))
    print("baseline: %d programs pass (%.0f s)" % (len(every), time.time() - started), flush=True)

    caught, missed, skipped, broken = [], [], [], []
    try:
        for m in chosen:
            if m["equivalent"] and not args.equivalent:
                skipped.append(m)
                print("equivalent %-40s %s" % (m["name"], m["equivalent"]), flush=True)
                continue
            t0 = time.time()
            global current
            current = m["name"]
            original = read(m["file"])
            restore[m["file"]] = original
            try:
                write(m["file"], original.replace(m["old"].encode(), m["new"].encode(), 1))
                programs = programs_for(m["file"])
                code, out = build(programs)
                if code != 0:
                    broken.append(m)
                    print("BUILD FAILS %-39s %s" % (m["name"], m["file"]), flush=True)
                    print(out[-2000:], flush=True)
                    continue
                failing = run_suite(programs)
            finally:
                restore_all()
            if m["equivalent"]:
                verdict = "EQUIV-CAUGHT" if failing else "equiv-ok"
                (broken if failing else skipped).append(m)
            else:
                verdict = "caught" if failing else "MISSED"
                (caught if failing else missed).append(m)
            shown = ", ".join(failing[:6]) + (" ..." if len(failing) > 6 else "")
            print("%-10s %-40s %4.0f s  %s" % (verdict, m["name"], time.time() - t0,
                                               shown or m["file"]), flush=True)
    finally:
        restore_all()
        # The restored sources are rebuilt, so build/mutants is left unmutated.
        build(every)

    after = tree_state()
    changed = [f for f in files if hashlib.sha256(read(f)).hexdigest() != digests[f]]
    if after != before or changed:
        sys.exit("mutants: THE TREE CHANGED: %s\n%s\n%s" % (changed, before, after))

    scored = len(caught) + len(missed)
    print("\n%d mutants: %d caught, %d missed, %d equivalent (not scored)%s" %
          (len(chosen), len(caught), len(missed), len(skipped),
           ", %d did not build or an equivalent one failed" % len(broken) if broken else ""))
    if missed:
        print("missed: " + " ".join(m["name"] for m in missed))
    if scored:
        print("score: %d/%d = %.0f%% of non-equivalent mutants caught" %
              (len(caught), scored, 100.0 * len(caught) / scored))
    print("tree unchanged; campaign took %.0f s" % (time.time() - started))
    return 1 if missed or broken else 0


if __name__ == "__main__":
    sys.exit(main())
