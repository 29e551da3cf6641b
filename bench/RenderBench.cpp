// plmhost's render against the plug-in's own work, in one run: the test
// scene (250,000 slots, 100,000 particles a second living 2 +- 0.5 s, about
// 200,000 alive) rendered over frames 0-119.  Each configuration runs
// --repetitions times, interleaved, and the medians give the ratios:
//   generate, dropped   "SETM"+"GENM" with a host that answers "ADDV"/"ADDF"
//                       but keeps nothing
//   generate, kept      the same with plmhost keeping the model (the plug-in's
//                       "GENM" time through plmhost)
//   render, PLY         plmhost render (point clouds and the contact sheet)
//   render, --png       the same with a picture per frame
// and, for where the time goes, one frame's drawing and PNG encoding alone.
//
// Usage: bench_render SCENE [--frames A-B] [--repetitions N] [--jobs N]
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/HostError.h"
#include "output/OutputFile.h"
#include "output/PngWriter.h"
#include "output/Preview.h"
#include "render/Pipeline.h"
#include "render/Render.h"
#include "render/Stepper.h"
#include "scene/SceneMatrices.h"

namespace fs = std::filesystem;

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Processor seconds of this thread: one frame's drawing is timed by it, as
// the machine may be busy with other work.
double ThreadCpu() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

// Processor seconds of the whole process, every thread.
double ProcessCpu() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

struct Timed {
  double wall, cpu;
};

// Seconds in "SETM"+"GENM" over the range, the model kept or only counted.
Timed Generate(const Scene& theScene, int32_t first, int32_t last, bool keep, FramePoints* lastFrame) {
  FrameStepper stepper;
  OpenStepper(stepper, theScene, ScenePluginPath(theScene));
  if (StartStepper(stepper) != kPluginNoError) throw HostError(1, stepper.failure);
  Timed total{0, 0};
  for (int32_t f = first; f <= last; ++f) {
    double t = Now(), c = ThreadCpu();
    if (StepFrame(stepper, f, keep) != kPluginNoError) throw HostError(1, stepper.failure);
    total.wall += Now() - t;
    total.cpu += ThreadCpu() - c;
  }
  if (lastFrame != nullptr) PointsOfModel(stepper.instance.model, lastFrame);
  return total;
}

// Wall seconds of a whole render into a fresh folder, its summary silenced.
Timed Render(const Scene& theScene, RenderOptions theOptions) {
  std::error_code ec;
  fs::remove_all(theOptions.outDir, ec);
  std::fflush(stdout);
  int saved = dup(1);
  FILE* null = std::fopen("/dev/null", "w");
  dup2(fileno(null), 1);
  double t = Now(), c = ProcessCpu();
  int code = RenderScene(theScene, theOptions);
  t = Now() - t;
  c = ProcessCpu() - c;
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::fclose(null);
  if (code != 0) throw HostError(1, "the render failed");
  fs::remove_all(theOptions.outDir, ec);
  return {t, c};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_render SCENE [--frames A-B] [--repetitions N] [--jobs N]\n");
    return 2;
  }
  try {
    Scene scene = LoadScene(argv[1]);
    int32_t first = 0, last = 119;
    int repetitions = 3, jobs = 0;
    for (int k = 2; k + 1 < argc; k += 2) {
      if (std::strcmp(argv[k], "--frames") == 0) ParseFrameRange(argv[k + 1], "--frames", &first, &last);
      if (std::strcmp(argv[k], "--repetitions") == 0) repetitions = std::max(1, std::atoi(argv[k + 1]));
      if (std::strcmp(argv[k], "--jobs") == 0) jobs = std::atoi(argv[k + 1]);
    }
    scene.firstFrame = first;
    std::string out = (fs::temp_directory_path() / ("bench_render-" + std::to_string(getpid()))).string();
    RenderOptions ply;
    ply.outDir = out;
    ply.firstFrame = first;
    ply.lastFrame = last;
    ply.quiet = true;
    ply.jobs = jobs;
    RenderOptions png = ply;
    png.framePictures = true;

    std::vector<Timed> dropped, kept, plyRender, pngRender;
    std::vector<double> draw, encode;
    FramePoints points;
    for (int r = 0; r < repetitions; ++r) {
      std::fprintf(stderr, "bench_render: repetition %d of %d\n", r + 1, repetitions);
      dropped.push_back(Generate(scene, first, last, false, nullptr));
      kept.push_back(Generate(scene, first, last, true, &points));
      plyRender.push_back(Render(scene, ply));
      pngRender.push_back(Render(scene, png));
      // One frame, the last, drawn and encoded alone.
      PreviewCamera cam = MakePreviewCamera(scene.camera, png.width, png.height);
      Matrix4 group = GroupMatrixAt(scene.group, last / scene.fps);
      double t = ThreadCpu();
      RgbImage image = DrawFrame(points, cam, group, scene.camera);
      draw.push_back(ThreadCpu() - t);
      fs::create_directories(out);
      t = ThreadCpu();
      WritePng(out + "/frame.png", image);
      encode.push_back(ThreadCpu() - t);
      std::error_code ec;
      fs::remove_all(out, ec);
    }

    auto wall = [](const std::vector<Timed>& v) {
      std::vector<double> out;
      for (const Timed& t : v) out.push_back(t.wall);
      return out;
    };
    auto cpu = [](const std::vector<Timed>& v) {
      std::vector<double> out;
      for (const Timed& t : v) out.push_back(t.cpu);
      return out;
    };
    const int workers = jobs > 0 ? jobs : DefaultJobs();
    std::printf("test scene %s, frames %d-%d, %zu particles in the last frame, %d workers\n", argv[1], int(first),
                int(last), points.size(), workers);
    std::printf("%-36s %8s %8s %8s %10s\n", "seconds", "median", "min", "max", "cpu median");
    auto row = [](const char* name, const std::vector<double>& v, double cpuMedian) {
      std::printf("%-36s %8.3f %8.3f %8.3f", name, Median(v), *std::min_element(v.begin(), v.end()),
                  *std::max_element(v.begin(), v.end()));
      if (cpuMedian >= 0) std::printf(" %10.3f", cpuMedian);
      std::printf("\n");
    };
    row("generate, ADDV/ADDF dropped", wall(dropped), Median(cpu(dropped)));
    row("generate, model kept (GENM)", wall(kept), Median(cpu(kept)));
    row("render, PLY only", wall(plyRender), Median(cpu(plyRender)));
    row("render, --png", wall(pngRender), Median(cpu(pngRender)));
    row("one frame: draw 640x360 (cpu)", draw, -1);
    row("one frame: PNG encode, write (cpu)", encode, -1);
    std::printf("\n");
    auto ratio = [&](const char* name, double value, double target) {
      std::printf("%-46s %5.2fx  target <= %.1fx: %s\n", name, value, target, value <= target ? "meets" : "MISSES");
    };
    const double genm = Median(wall(kept));
    ratio("render PLY-only / GENM through plmhost", Median(wall(plyRender)) / genm, 1.3);
    ratio("render --png / GENM through plmhost", Median(wall(pngRender)) / genm, 2.0);
    ratio("GENM kept / GENM with ADDV/ADDF dropped", genm / Median(wall(dropped)), 1.3);
    // On a machine busy with other work the wall times above stretch
    // unevenly; the processor times give what an otherwise idle machine
    // with this many processors would take: the plug-in's thread alone, or
    // all the work spread over every processor, whichever is longer.
    const double genmCpu = Median(cpu(kept)), cores = DefaultJobs();
    auto idle = [&](const std::vector<Timed>& v) { return std::max(Median(cpu(v)) / cores, genmCpu) / genmCpu; };
    std::printf("\nfrom processor time (an idle machine with %d processors):\n", int(cores));
    ratio("render PLY-only / GENM", idle(plyRender), 1.3);
    ratio("render --png / GENM", idle(pngRender), 2.0);
    ratio("GENM kept / GENM with ADDV/ADDF dropped", genmCpu / Median(cpu(dropped)), 1.3);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_render: %s\n", e.what());
    return 1;
  }
}
