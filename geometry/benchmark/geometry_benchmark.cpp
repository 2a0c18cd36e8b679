// Timing figures of the quad mesh ray search: per-ray cost on explicit grids
// of 1 M and 4 M quads against brute force, ".quads" load against a plain
// read of the same file, search-structure build time and memory per quad.
// Prints the figures; asserts nothing. The lines that start with "headline"
// (tab-separated: figure, measured, unit, relation, target) are the ones
// scripts/bench compares with their targets.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "MeshData.h"
#include "ZorvGeometry.h"

#ifdef ZORV_WITH_EMBREE
#include <embree3/rtcore.h>
#endif

namespace {

using namespace Zorv::Geometry::ThreeDimensional;
using namespace Zorv::Geometry::ThreeDimensional::QuadMesh;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A scanned-looking surface: n × n quads at 0.5 mm pitch, waves of a few
// millimetres and a little noise.
std::vector<Point> surfaceVertices(unsigned int n) {
  std::mt19937 rng(n);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  std::vector<Point> vertices;
  vertices.reserve(static_cast<std::size_t>(n + 1) * (n + 1));
  for (unsigned int v = 0; v <= n; ++v) {
    for (unsigned int u = 0; u <= n; ++u) {
      const double x = 0.5 * u, y = 0.5 * v;
      vertices.emplace_back(x + noise(rng), y + noise(rng),
                            8.0 * std::sin(x / 37.0) * std::cos(y / 23.0) + 0.002 * x + noise(rng));
    }
  }
  return vertices;
}

struct Ray {
  Point origin;
  Vector direction;
};

// Rays from above towards random points of the surface's area and 10 %
// beyond it on each side: most hit, some miss.
std::vector<Ray> randomRays(unsigned int n, int count, unsigned int seed) {
  std::mt19937 rng(seed);
  const double size = 0.5 * n;
  std::uniform_real_distribution<double> across(-0.1 * size, 1.1 * size);
  std::uniform_real_distribution<double> height(30.0, 600.0), tilt(-0.6, 0.6);
  std::vector<Ray> rays;
  for (int i = 0; i < count; ++i) {
    const Point target(across(rng), across(rng), 0.0);
    const Point origin = target + Vector(tilt(rng), tilt(rng), 1.0) * height(rng);
    rays.push_back({origin, target - origin});
  }
  return rays;
}

// The q-quantile (0.5 for the median).
double quantile(std::vector<double> v, double q) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[static_cast<std::size_t>(q * (v.size() - 1))];
}

struct RayFigures {
  double medianMicros = 0.0, p99Micros = 0.0, meanMicros = 0.0, hitRate = 0.0;
};

template <typename F>
RayFigures timeRays(const std::vector<Ray>& rays, F&& cast) {
  std::vector<double> each;
  each.reserve(rays.size());
  int hits = 0;
  const auto all = Clock::now();
  for (const Ray& r : rays) {
    const auto start = Clock::now();
    hits += cast(r) ? 1 : 0;
    each.push_back(secondsSince(start) * 1e6);
  }
  RayFigures f;
  f.meanMicros = secondsSince(all) * 1e6 / rays.size();
  f.medianMicros = quantile(each, 0.5);
  f.p99Micros = quantile(each, 0.99);
  f.hitRate = static_cast<double>(hits) / rays.size();
  return f;
}

RectMesh makeMesh(unsigned int n) {
  RectMesh mesh;
  if (!mesh.setFromVertices(n, n, surfaceVertices(n))) std::abort();
  return mesh;
}

void rayFigures(unsigned int n, bool withBruteForce) {
  const RectMesh mesh = makeMesh(n);
  const double quads = static_cast<double>(n) * n;
  std::printf("\nGrid %u x %u = %.1f M quads, memory %.2f bytes per quad (vertices included)\n", n,
              n, quads / 1e6, mesh.getMemoryBytes() / quads);
  const auto rays = randomRays(n, 200000, 7);
  RectMesh::Hit hit;
  const RayFigures direct = timeRays(
      rays, [&](const Ray& r) { return mesh.intersect(r.origin, r.direction, false, hit); });
  std::printf(
      "  RectMesh::intersect:                   median %.2f us/ray, 99th percentile %.2f us, mean "
      "%.2f us, "
      "%.0f %% hits\n",
      direct.medianMicros, direct.p99Micros, direct.meanMicros, 100 * direct.hitRate);

  // The same through a group with a placed collection and a file offset.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("zorv-bench-" + std::to_string(n) + ".quads"))
          .string();
  mesh.save(path);
  RectMeshGroups groups;
  groups.load({{path}}, {{Zorv::Geometry::TwoDimensional::Vector<int>(10, 20)}});
  LinearMap r;
  r.setRotation(0, 1, 2, Vector(0.01, -0.02, 0.3));
  groups.transform({Point(100, 100, 0)}, {AffineMap(r, Vector(5, 6, 7))});
  LinearMap back;
  r.getInverse(back);
  std::vector<Ray> placed;
  for (const Ray& ray : rays) {
    // Rays in the placed frame that meet the same surface points.
    const Point o = Point(100, 100, 0) + r(ray.origin - Point(100, 100, 0)) + Vector(5, 6, 7);
    placed.push_back({o, r(ray.direction)});
  }
  const RayFigures grouped = timeRays(placed, [&](const Ray& ray) {
    return groups.getIntersectionStatus(ray.origin, ray.direction, false).getIsValid();
  });
  std::printf(
      "  RectMeshGroups::getIntersectionStatus: median %.2f us/ray, 99th percentile %.2f us, mean "
      "%.2f us, "
      "%.0f %% hits\n",
      grouped.medianMicros, grouped.p99Micros, grouped.meanMicros, 100 * grouped.hitRate);
  std::filesystem::remove(path);
  if (n == 2000) {
    std::printf("headline\tmemory, 4 M quads\t%.1f\tbytes/quad\t<=\t32\n",
                mesh.getMemoryBytes() / quads);
    std::printf("headline\tper ray, 4 M quads (median)\t%.2f\tus\t<=\t5\n",
                grouped.medianMicros);
  }

  if (withBruteForce) {
    std::vector<Ray> few(rays.begin(), rays.begin() + 40);
    const RayFigures brute = timeRays(few, [&](const Ray& ray) {
      return mesh.intersectBruteForce(ray.origin, ray.direction, false, hit);
    });
    const RayFigures fast = timeRays(
        few, [&](const Ray& ray) { return mesh.intersect(ray.origin, ray.direction, false, hit); });
    std::printf(
        "  brute force (40 rays):                 median %.0f us/ray; search is %.0f x "
        "faster (median, same rays)\n",
        brute.medianMicros, brute.medianMicros / fast.medianMicros);
    std::printf("headline\tsearch against brute force, 1 M quads\t%.0f\tx faster\t>=\t100\n",
                brute.medianMicros / fast.medianMicros);
  }
}

void loadFigures(unsigned int n) {
  const RectMesh mesh = makeMesh(n);
  const double quads = static_cast<double>(n) * n;
  const std::string path =
      (std::filesystem::temp_directory_path() / "zorv-bench-load.quads").string();
  mesh.save(path);
  const auto bytes = std::filesystem::file_size(path);
  double plain = 1e9, load = 1e9, build = 1e9;
  for (int round = 0; round < 3; ++round) {
    auto start = Clock::now();
    {
      std::FILE* f = std::fopen(path.c_str(), "rb");
      auto buffer = std::make_unique_for_overwrite<char[]>(bytes);
      const std::size_t got = std::fread(buffer.get(), 1, bytes, f);
      std::fclose(f);
      if (got != bytes) std::abort();
    }
    plain = std::min(plain, secondsSince(start));
    start = Clock::now();
    {
      RectMesh loaded;
      loaded.load(path);
    }
    load = std::min(load, secondsSince(start));
  }
  // The search structure alone, on the same vertices.
  auto data = detail::readQuadFile(path);
  for (int round = 0; round < 3; ++round) {
    detail::GridSearch search;
    const auto start = Clock::now();
    search.build(data->vertices.get(), n, n);
    build = std::min(build, secondsSince(start));
  }
  std::filesystem::remove(path);
  std::printf("\nLoading %.1f M quads (%.0f MB file), best of 3, file in the page cache:\n",
              quads / 1e6, bytes / 1e6);
  std::printf(
      "  plain read %.1f ms; load %.1f ms (%.2f x the plain read), of which search "
      "build %.1f ms\n",
      plain * 1e3, load * 1e3, load / plain, build * 1e3);
  std::printf("  load without the build: %.2f x the plain read\n", (load - build) / plain);
  std::printf("  build rate: %.3f s per 10 M quads\n", build / quads * 1e7);
  std::printf("headline\tload of %.0f M quads\t%.2f\tx plain read\t<=\t2\n", quads / 1e6,
              load / plain);
  std::printf("headline\tsearch build, %.0f M quads\t%.3f\ts per 10 M quads\t<=\t1\n",
              quads / 1e6, build / quads * 1e7);
}

#ifdef ZORV_WITH_EMBREE
// The same surfaces and rays through Embree (quads, single thread), as a
// yardstick; Embree is used by this program only.
void embreeFigures(unsigned int n) {
  RTCDevice device = rtcNewDevice("threads=1");
  RTCScene scene = rtcNewScene(device);
  RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_QUAD);
  const std::vector<Point> vertices = surfaceVertices(n);
  float* vb = static_cast<float*>(rtcSetNewGeometryBuffer(
      geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), vertices.size()));
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    vb[3 * i] = static_cast<float>(vertices[i].x);
    vb[3 * i + 1] = static_cast<float>(vertices[i].y);
    vb[3 * i + 2] = static_cast<float>(vertices[i].z);
  }
  unsigned int* ib = static_cast<unsigned int*>(
      rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT4,
                              4 * sizeof(unsigned int), static_cast<std::size_t>(n) * n));
  for (unsigned int v = 0; v < n; ++v) {
    for (unsigned int u = 0; u < n; ++u) {
      unsigned int* q = ib + 4 * (static_cast<std::size_t>(v) * n + u);
      q[0] = v * (n + 1) + u;
      q[1] = q[0] + 1;
      q[2] = q[1] + n + 1;
      q[3] = q[0] + n + 1;
    }
  }
  rtcCommitGeometry(geometry);
  rtcAttachGeometry(scene, geometry);
  rtcReleaseGeometry(geometry);
  const auto start = Clock::now();
  rtcCommitScene(scene);
  const double build = secondsSince(start);
  RTCIntersectContext context;
  rtcInitIntersectContext(&context);
  const auto rays = randomRays(n, 200000, 7);
  const RayFigures f = timeRays(rays, [&](const Ray& r) {
    RTCRayHit rh{};
    rh.ray.org_x = static_cast<float>(r.origin.x);
    rh.ray.org_y = static_cast<float>(r.origin.y);
    rh.ray.org_z = static_cast<float>(r.origin.z);
    rh.ray.dir_x = static_cast<float>(r.direction.x);
    rh.ray.dir_y = static_cast<float>(r.direction.y);
    rh.ray.dir_z = static_cast<float>(r.direction.z);
    rh.ray.tnear = 0.0f;
    rh.ray.tfar = std::numeric_limits<float>::infinity();
    rh.ray.mask = ~0u;
    rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
    rtcIntersect1(scene, &context, &rh);
    return rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
  });
  std::printf(
      "  Embree 3 (yardstick, float, 1 thread):  median %.2f us/ray, 99th percentile "
      "%.2f us, mean %.2f us, %.0f %% hits; build %.2f s\n",
      f.medianMicros, f.p99Micros, f.meanMicros, 100 * f.hitRate, build);
  rtcReleaseScene(scene);
  rtcReleaseDevice(device);
}
#endif

}  // namespace

int main() {
  std::printf("Quad mesh ray search, one core\n");
  const unsigned int sizes[] = {1000, 2000, 3163};  // 1 M, 4 M, 10 M quads
  for (unsigned int n : sizes) {
    rayFigures(n, n == 1000);
#ifdef ZORV_WITH_EMBREE
    embreeFigures(n);
#endif
  }
  loadFigures(2000);
  loadFigures(3163);
  return 0;
}
