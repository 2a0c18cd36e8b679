// Meshes and rays shared by the geometry tests.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "ZorvGeometry.h"

namespace geometrytest {

using namespace Zorv::Geometry::ThreeDimensional;
using namespace Zorv::Geometry::ThreeDimensional::QuadMesh;

// A wavy, slightly irregular grid of nu × nv quads at pitch 1 mm, lying
// around z = 0 (non-planar quads included).
inline RectMesh wavyGrid(unsigned int nu, unsigned int nv, unsigned int seed = 1,
                         double amplitude = 3.0) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  std::vector<Point> vertices;
  vertices.reserve(static_cast<std::size_t>(nu + 1) * (nv + 1));
  for (unsigned int v = 0; v <= nv; ++v) {
    for (unsigned int u = 0; u <= nu; ++u) {
      vertices.emplace_back(u + jitter(rng), v + jitter(rng),
                            amplitude * std::sin(0.31 * u) * std::cos(0.23 * v) + jitter(rng));
    }
  }
  RectMesh mesh;
  if (!mesh.setFromVertices(nu, nv, std::move(vertices))) throw std::runtime_error("bad grid");
  return mesh;
}

// A flat grid on integer coordinates in z = 0: rays along the axes meet its
// vertices and edges exactly.
inline RectMesh flatIntegerGrid(unsigned int nu, unsigned int nv) {
  std::vector<Point> vertices;
  for (unsigned int v = 0; v <= nv; ++v)
    for (unsigned int u = 0; u <= nu; ++u) vertices.emplace_back(u, v, 0.0);
  RectMesh mesh;
  mesh.setFromVertices(nu, nv, std::move(vertices));
  return mesh;
}

}  // namespace geometrytest
