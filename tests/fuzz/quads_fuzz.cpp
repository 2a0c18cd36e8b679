// Fuzz target: the ".quads" reader (RectMesh::load, RectMesh::getFileHeaderItems).
//
// Input: one byte of flags, then the file's bytes. Flag 1 makes the target
// write the payload's checksum into the header and flag 2 the payload's size,
// so that damaged counts, kinds, pitches and coordinates get past those two
// checks and reach the rest of the reader; flag 4 casts rays at a loaded mesh.
//
// Checked, besides the absence of crashes, sanitizer reports and allocations
// beyond the limits that scripts/fuzz sets (-malloc_limit_mb, -rss_limit_mb):
//  - both calls either succeed or throw QuadFileError, nothing else;
//  - a file that loads has a readable header with the mesh's counts, and
//    saving the mesh writes the very same bytes;
//  - on a loaded grid the search structure finds exactly the hits of the
//    brute-force search (same t, same quad) for rays through quads spread
//    over the grid.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "ZorvGeometry/QuadMesh.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::QuadFileError;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

constexpr std::size_t kHeaderSize = 64;

// The payload checksum of the format: four xxHash64-style lanes over the
// little-endian words, merged and mixed with the word count.
std::uint64_t payloadChecksum(std::string_view payload) {
  constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ull, p2 = 0xC2B2AE3D27D4EB4Full,
                          p3 = 0x165667B19E3779F9ull;
  std::uint64_t lane[4] = {p1 + p2, p2, 0, 0 - p1};
  const std::size_t words = payload.size() / 8;
  for (std::size_t i = 0; i < words; ++i) {
    std::uint64_t w = 0;
    for (int b = 0; b < 8; ++b) {
      w |= static_cast<std::uint64_t>(static_cast<unsigned char>(payload[8 * i + b])) << (8 * b);
    }
    // Whole groups of four go to the four lanes; the words after the last
    // group all go to the first.
    const std::size_t l = i < words / 4 * 4 ? i % 4 : 0;
    lane[l] = std::rotl(lane[l] + w * p2, 31) * p1;
  }
  std::uint64_t h = std::rotl(lane[0], 1) + std::rotl(lane[1], 7) + std::rotl(lane[2], 12) +
                    std::rotl(lane[3], 18);
  h ^= static_cast<std::uint64_t>(words) * p1;
  h ^= h >> 33;
  h *= p2;
  h ^= h >> 29;
  h *= p3;
  h ^= h >> 32;
  return h;
}

void putU64(std::string& bytes, std::size_t at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

// The file for a report: its size and first bytes (libFuzzer keeps the input).
std::string describe(const std::string& file) {
  return "file (" + std::to_string(file.size()) + " bytes): \"" +
         fuzz::escaped(std::string_view(file).substr(0, 256)) +
         (file.size() > 256 ? "\"..." : "\"");
}

void checkRays(const RectMesh& mesh, const std::string& file) {
  const auto extents = mesh.getExtents();
  const std::uint64_t du = extents.getdU(), dv = extents.getdV(), quads = du * dv;
  if (quads > 4096) return;
  // Rays through quads spread over the grid; the brute force tests every quad
  // for each, so larger grids get fewer rays.
  const std::uint64_t rays =
      std::min<std::uint64_t>(quads, std::clamp<std::uint64_t>(16384 / quads, 4, 256));
  const Vector directions[] = {Vector(0.1, 0.05, -1), Vector(1, 0.6, -0.25), Vector(0, 0, 1),
                               Vector(-1, 0, 0)};
  for (std::uint64_t i = 0; i < rays; ++i) {
    const std::uint64_t q = i * quads / rays;
    const auto u = static_cast<unsigned>(q % du), v = static_cast<unsigned>(q / du);
    const Point target =
        (mesh.getVertex(u, v) + mesh.getVertex(u + 1, v) + mesh.getVertex(u + 1, v + 1)) *
        (1.0 / 3.0);
    const Vector& direction = directions[(u + v) % 4];
    const bool both = (u + 2 * v) % 3 == 0;
    const Point origin = target - direction * 30.0;
    RectMesh::Hit fast, slow;
    const bool a = mesh.intersect(origin, direction, both, fast);
    const bool b = mesh.intersectBruteForce(origin, direction, both, slow);
    if (a != b || (a && (fast.t != slow.t || fast.u != slow.u || fast.v != slow.v))) {
      fuzz::fail("the search and the brute force disagree on the ray at quad " + std::to_string(u) +
                     ", " + std::to_string(v) + ": " +
                     (a ? "hit t " + std::to_string(fast.t) + " at " + std::to_string(fast.u) +
                              ", " + std::to_string(fast.v)
                        : std::string("miss")) +
                     " against " +
                     (b ? "hit t " + std::to_string(slow.t) + " at " + std::to_string(slow.u) +
                              ", " + std::to_string(slow.v)
                        : std::string("miss")),
                 describe(file));
    }
    if (a) (void)mesh.getNormal(fast.u, fast.v, origin + direction * fast.t, (u + v) % 2 == 0);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::scratchDirectory() + "/mesh.quads";
  static const std::string copy = fuzz::scratchDirectory() + "/saved.quads";
  if (size == 0) return 0;
  const unsigned flags = data[0];
  std::string file(reinterpret_cast<const char*>(data + 1), size - 1);
  if (file.size() >= kHeaderSize) {
    const std::string_view payload = std::string_view(file).substr(kHeaderSize);
    if (flags & 2) putU64(file, 48, payload.size());
    if (flags & 1) putU64(file, 56, payloadChecksum(payload));
  }
  fuzz::writeFile(path, file);

  bool headerRead = false;
  unsigned u = 0, v = 0;
  double pitchSqr = 0, uPitchSqr = 0, vPitchSqr = 0;
  try {
    RectMesh::getFileHeaderItems(path, u, v, pitchSqr, uPitchSqr, vPitchSqr);
    headerRead = true;
  } catch (const QuadFileError&) {
  }

  RectMesh mesh;
  try {
    mesh.load(path);
  } catch (const QuadFileError&) {
    if (mesh.getKind() != RectMesh::Kind::Empty) fuzz::fail("a refused file left a mesh");
    return 0;
  }
  const std::string context = describe(file);
  if (!headerRead) fuzz::fail("a file that loads has an unreadable header", context);
  if (mesh.getExtents().getdU() != u || mesh.getExtents().getdV() != v) {
    fuzz::fail("the header's counts differ from the loaded mesh's", context);
  }
  mesh.save(copy);
  if (fuzz::readFile(copy) != file) {
    fuzz::fail("saving a loaded mesh wrote other bytes", context);
  }
  (void)mesh.getMemoryBytes();
  (void)mesh.getVertex(u, v);
  if (flags & 4) checkRays(mesh, file);
  return 0;
}
