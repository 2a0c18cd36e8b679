// The ".quads" file format (layout in ZorvGeometry/QuadMesh.h).
#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "MeshData.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail {

namespace {

constexpr char kMagic[8] = {'Z', 'Q', 'U', 'A', 'D', 'S', '\r', '\n'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 64;
enum FileKind : std::uint32_t { kGrid = 1, kPlane = 2, kCylinder = 3 };

static_assert(std::endian::native == std::endian::little ||
              std::endian::native == std::endian::big);
constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

std::uint64_t byteSwap64(std::uint64_t x) {
  x = ((x & 0x00000000FFFFFFFFull) << 32) | (x >> 32);
  x = ((x & 0x0000FFFF0000FFFFull) << 16) | ((x >> 16) & 0x0000FFFF0000FFFFull);
  return ((x & 0x00FF00FF00FF00FFull) << 8) | ((x >> 8) & 0x00FF00FF00FF00FFull);
}

void putU32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void putU64(unsigned char* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void putF64(unsigned char* p, double v) {
  putU64(p, std::bit_cast<std::uint64_t>(v));
}
std::uint32_t getU32(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return v;
}
std::uint64_t getU64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p[i]) << (8 * i);
  return v;
}
double getF64(const unsigned char* p) {
  return std::bit_cast<double>(getU64(p));
}

// Checksum of the payload, read as little-endian 64-bit words: four
// independent multiply-rotate lanes (the round of xxHash64) so that it runs at
// memory speed, then merged and mixed with the length. Also keeps the
// largest exponent field of the words read as doubles, to tell whether all
// are finite and all within the coordinate limit.
class PayloadDigest {
 public:
  void add(const void* data, std::size_t count) { digest<false>(data, count, nullptr); }
  // add(), also storing the words as doubles of this host at `to`.
  void addAndCopy(const void* data, std::size_t count, double* to) {
    digest<true>(data, count, to);
  }
  std::uint64_t value() const {
    std::uint64_t h = std::rotl(lane_[0], 1) + std::rotl(lane_[1], 7) + std::rotl(lane_[2], 12) +
                      std::rotl(lane_[3], 18);
    h ^= words_ * kPrime1;
    h ^= h >> 33;
    h *= kPrime2;
    h ^= h >> 29;
    h *= kPrime3;
    h ^= h >> 32;
    return h;
  }
  // No infinity and no NaN.
  bool allFinite() const { return exponentBits_ != kExponentMask; }
  // Every value smaller than 2^127 in magnitude (RectMesh::coordinateLimit).
  bool allWithinCoordinateLimit() const { return exponentBits_ < kLimitExponent; }

 private:
  template <bool copy>
  void digest(const void* data, std::size_t count, double* to) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    auto word = [bytes](std::size_t i) {
      std::uint64_t w;
      std::memcpy(&w, bytes + 8 * i, 8);
      return load(w);
    };
    // (Captured by default: the digest alone never uses `to`.)
    auto store = [=](std::size_t i, std::uint64_t w) {
      if constexpr (copy) to[i] = std::bit_cast<double>(w);
    };
    std::size_t i = 0;
    std::uint64_t a = lane_[0], b = lane_[1], c = lane_[2], d = lane_[3];
    std::uint64_t exponent = exponentBits_;
    for (; i + 4 <= count; i += 4) {
      const std::uint64_t w0 = word(i), w1 = word(i + 1), w2 = word(i + 2), w3 = word(i + 3);
      a = round(a, w0);
      b = round(b, w1);
      c = round(c, w2);
      d = round(d, w3);
      exponent = std::max({exponent, w0 & kExponentMask, w1 & kExponentMask, w2 & kExponentMask,
                           w3 & kExponentMask});
      store(i, w0);
      store(i + 1, w1);
      store(i + 2, w2);
      store(i + 3, w3);
    }
    for (; i < count; ++i) {
      const std::uint64_t w = word(i);
      a = round(a, w);
      exponent = std::max(exponent, w & kExponentMask);
      store(i, w);
    }
    lane_[0] = a;
    lane_[1] = b;
    lane_[2] = c;
    lane_[3] = d;
    words_ += count;
    exponentBits_ = exponent;
  }
  static constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ull;
  static constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4Full;
  static constexpr std::uint64_t kPrime3 = 0x165667B19E3779F9ull;
  static std::uint64_t load(std::uint64_t w) { return kLittleEndianHost ? w : byteSwap64(w); }
  static std::uint64_t round(std::uint64_t acc, std::uint64_t w) {
    return std::rotl(acc + w * kPrime2, 31) * kPrime1;
  }
  static constexpr std::uint64_t kExponentMask = 0x7FF0000000000000ull;  // all ones: inf, NaN
  // The exponent field of 2^127: a double is smaller in magnitude exactly when
  // its own field is smaller.
  static constexpr std::uint64_t kLimitExponent = std::uint64_t{1023 + 127} << 52;
  static_assert(RectMesh::coordinateLimit == 0x1p127);
  std::uint64_t lane_[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
  std::uint64_t words_ = 0;
  std::uint64_t exponentBits_ = 0;
};

struct Header {
  std::uint32_t kind = 0;
  std::uint32_t uCount = 0, vCount = 0;
  double pitchSqr = 0.0, uPitchSqr = 0.0, vPitchSqr = 0.0;
  std::uint64_t payloadSize = 0;
  std::uint64_t checksum = 0;
};

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw QuadFileError("Quad file " + path + ": " + what);
}

// Payload size that the header's kind and counts call for.
std::uint64_t expectedPayload(const std::string& path, const Header& h) {
  switch (h.kind) {
    case kGrid: {
      const std::uint64_t vertices =
          (static_cast<std::uint64_t>(h.uCount) + 1) * (static_cast<std::uint64_t>(h.vCount) + 1);
      return vertices * 24;  // both counts < 2^32: no overflow
    }
    case kPlane:
      return std::uint64_t{9} * 8;
    case kCylinder:
      return std::uint64_t{4} * 8;
    default:
      fail(path, "unknown mesh kind " + std::to_string(h.kind) + ".");
  }
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

FilePtr openForReading(const std::string& path) {
  FilePtr f(platform::openFile(path, "rb"));
  if (!f) fail(path, "cannot be opened.");
  return f;
}

Header readHeader(const std::string& path, std::FILE* f) {
  unsigned char raw[kHeaderSize];
  const std::size_t got = std::fread(raw, 1, kHeaderSize, f);
  if (got < sizeof(kMagic) || std::memcmp(raw, kMagic, sizeof(kMagic)) != 0) {
    fail(path, "is not a quad mesh file (wrong signature).");
  }
  if (got < kHeaderSize) fail(path, "is truncated inside its header.");
  const std::uint32_t version = getU32(raw + 8);
  if (version != kVersion) {
    fail(path, "has format version " + std::to_string(version) + "; only version " +
                   std::to_string(kVersion) + " is supported.");
  }
  Header h;
  h.kind = getU32(raw + 12);
  h.uCount = getU32(raw + 16);
  h.vCount = getU32(raw + 20);
  h.pitchSqr = getF64(raw + 24);
  h.uPitchSqr = getF64(raw + 32);
  h.vPitchSqr = getF64(raw + 40);
  h.payloadSize = getU64(raw + 48);
  h.checksum = getU64(raw + 56);
  if (h.kind < kGrid || h.kind > kCylinder)
    fail(path, "has unknown mesh kind " + std::to_string(h.kind) + ".");
  if (h.uCount == 0 || h.vCount == 0) fail(path, "declares an empty mesh.");
  if (static_cast<double>(h.uCount) * h.vCount > RectMesh::maxMegaQuadsLimit * 1e6) {
    fail(path, "declares more quads than are supported.");
  }
  if (!std::isfinite(h.pitchSqr) || !std::isfinite(h.uPitchSqr) || !std::isfinite(h.vPitchSqr) ||
      h.pitchSqr < 0.0 || h.uPitchSqr < 0.0 || h.vPitchSqr < 0.0) {
    fail(path, "has invalid pitches in its header.");
  }
  if (h.payloadSize != expectedPayload(path, h)) {
    fail(path, "declares a data size that does not match its quad counts.");
  }
  return h;
}

// A name for the temporary file that a save writes beside `path` before
// renaming it over `path`: the target's name with a suffix no other save of
// this process uses, unlikely to be used by another process at the same
// time, and checked to be free.
std::string temporaryNameFor(const std::string& path) {
  static std::atomic<std::uint64_t> serial{0};
  const std::uint64_t time =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::string name;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::uint64_t tag = time ^ (serial.fetch_add(1) * 0x9E3779B97F4A7C15ull);
    char hex[9];
    for (int i = 7; i >= 0; --i, tag >>= 4) hex[i] = "0123456789abcdef"[tag & 0xF];
    hex[8] = '\0';
    name = path + ".~" + hex + ".tmp";
    if (platform::pathKind(name) == platform::PathKind::Missing) break;
  }
  return name;
}

}  // namespace

void readQuadFileHeader(const std::string& path, unsigned int& uCount, unsigned int& vCount,
                        double& pitchSqr, double& uPitchSqr, double& vPitchSqr) {
  FilePtr f = openForReading(path);
  const Header h = readHeader(path, f.get());
  uCount = h.uCount;
  vCount = h.vCount;
  pitchSqr = h.pitchSqr;
  uPitchSqr = h.uPitchSqr;
  vPitchSqr = h.vPitchSqr;
}

std::shared_ptr<MeshData> readQuadFile(const std::string& path) {
  FilePtr f = openForReading(path);
  const Header h = readHeader(path, f.get());
  // The size of the file being read (not of whatever another lookup of the
  // path finds), checked before the header's counts size any allocation.
  const long long size = platform::openFileSize(f.get());
  if (size < 0) fail(path, "cannot be read (its size cannot be determined).");
  const unsigned long long expected = kHeaderSize + h.payloadSize;
  if (static_cast<unsigned long long>(size) < expected) fail(path, "is truncated.");
  if (static_cast<unsigned long long>(size) > expected) {
    fail(path, "has " + std::to_string(static_cast<unsigned long long>(size) - expected) +
                   " unexpected bytes after its data.");
  }

  auto mesh = std::make_shared<MeshData>();
  mesh->uCount = h.uCount;
  mesh->vCount = h.vCount;
  mesh->pitchSqr = h.pitchSqr;
  mesh->uPitchSqr = h.uPitchSqr;
  mesh->vPitchSqr = h.vPitchSqr;

  const std::size_t words = static_cast<std::size_t>(h.payloadSize / 8);
  // The file is read through a block small enough to stay in the cache:
  // each block is digested and copied into the vertices in one pass, and the
  // search boxes of the vertex rows it completes are gathered while those
  // rows are still in the cache, so the data goes through memory once.
  // (Reading straight into the vertices in large blocks measured slower: the
  // digest then fetched every block back from memory, and with newly mapped
  // memory each page was paid for by the kernel's copy and again by the
  // digest's first access.)
  constexpr std::size_t kBlockWords = std::size_t{1} << 14;  // 128 KiB
  std::unique_ptr<double[]> buffer;
  std::unique_ptr<double[]> block;
  try {
    buffer = std::make_unique_for_overwrite<double[]>(words);
    block = std::make_unique_for_overwrite<double[]>(std::min(kBlockWords, words));
  } catch (const std::bad_alloc&) {
    fail(path, "is too large to load into memory.");
  }
  PayloadDigest digest;
  std::optional<GridSearch::Builder> search;
  std::size_t rowWords = 0;
  if (h.kind == kGrid) {
    search.emplace(h.uCount, h.vCount);
    rowWords = 3 * (static_cast<std::size_t>(h.uCount) + 1);
  }
  for (std::size_t done = 0; done < words;) {
    const std::size_t n = std::min(kBlockWords, words - done);
    if (std::fread(block.get(), 8, n, f.get()) != n) fail(path, "is truncated.");
    digest.addAndCopy(block.get(), n, buffer.get() + done);
    done += n;
    // Boxes of values that the checks below refuse are discarded with the
    // mesh.
    if (search) search->addRows(buffer.get(), static_cast<unsigned int>(done / rowWords));
  }
  unsigned char extra;
  if (std::fread(&extra, 1, 1, f.get()) == 1) fail(path, "has unexpected bytes after its data.");
  if (digest.value() != h.checksum) fail(path, "is corrupt (checksum mismatch).");
  if (!digest.allFinite()) fail(path, "holds coordinates that are not finite numbers.");
  if (h.kind == kGrid && !digest.allWithinCoordinateLimit()) {
    fail(path, "holds coordinates beyond the supported range (2^127 in magnitude).");
  }

  const double* p = buffer.get();
  switch (h.kind) {
    case kGrid:
      mesh->kind = RectMesh::Kind::Grid;
      mesh->vertices = std::move(buffer);
      search->finish(mesh->search);
      break;
    case kPlane:
      mesh->kind = RectMesh::Kind::Plane;
      mesh->origin = Point(p[0], p[1], p[2]);
      mesh->uStep = Vector(p[3], p[4], p[5]);
      mesh->vStep = Vector(p[6], p[7], p[8]);
      if (mesh->uStep.cross(mesh->vStep).lSqr() == 0.0) fail(path, "describes a degenerate plane.");
      break;
    case kCylinder:
      mesh->kind = RectMesh::Kind::CylinderArc;
      mesh->radius = p[0];
      mesh->startAngle = p[1];
      mesh->angleStep = p[2];
      mesh->lengthStep = p[3];
      if (!(mesh->radius > 0.0) || !(mesh->angleStep > 0.0) || !(mesh->lengthStep > 0.0) ||
          mesh->angleStep * mesh->uCount > 2.0 * Utility::pi * (1.0 + 1e-12)) {
        fail(path, "describes an invalid cylinder arc.");
      }
      break;
  }
  return mesh;
}

void writeQuadFile(const std::string& path, const MeshData& mesh) {
  std::uint32_t kind = 0;
  std::unique_ptr<double[]> small;
  const double* payload = nullptr;
  std::size_t words = 0;
  switch (mesh.kind) {
    case RectMesh::Kind::Grid:
      kind = kGrid;
      payload = mesh.vertices.get();
      words = mesh.vertexCount() * 3;
      break;
    case RectMesh::Kind::Plane:
      kind = kPlane;
      small.reset(new double[9]{mesh.origin.x, mesh.origin.y, mesh.origin.z, mesh.uStep.x,
                                mesh.uStep.y, mesh.uStep.z, mesh.vStep.x, mesh.vStep.y,
                                mesh.vStep.z});
      payload = small.get();
      words = 9;
      break;
    case RectMesh::Kind::CylinderArc:
      kind = kCylinder;
      small.reset(new double[4]{mesh.radius, mesh.startAngle, mesh.angleStep, mesh.lengthStep});
      payload = small.get();
      words = 4;
      break;
    case RectMesh::Kind::Empty:
      fail(path, "cannot be written: the mesh is empty.");
  }
  std::unique_ptr<std::uint64_t[]> swapped;
  const void* bytes = payload;
  if (!kLittleEndianHost) {
    swapped.reset(new std::uint64_t[words]);
    for (std::size_t i = 0; i < words; ++i) {
      swapped[i] = byteSwap64(std::bit_cast<std::uint64_t>(payload[i]));
    }
    bytes = swapped.get();
  }
  PayloadDigest digest;
  digest.add(bytes, words);

  unsigned char raw[kHeaderSize] = {};
  std::memcpy(raw, kMagic, sizeof(kMagic));
  putU32(raw + 8, kVersion);
  putU32(raw + 12, kind);
  putU32(raw + 16, mesh.uCount);
  putU32(raw + 20, mesh.vCount);
  putF64(raw + 24, mesh.pitchSqr);
  putF64(raw + 32, mesh.uPitchSqr);
  putF64(raw + 40, mesh.vPitchSqr);
  putU64(raw + 48, static_cast<std::uint64_t>(words) * 8);
  putU64(raw + 56, digest.value());

  // The new file is written beside the old one and renamed over it only when
  // complete, so a failed save leaves the previous file as it was.
  const std::string temporary = temporaryNameFor(path);
  std::FILE* f = platform::createNewFile(temporary, true);
  if (!f) fail(path, "cannot be created.");
  bool ok = std::fwrite(raw, 1, kHeaderSize, f) == kHeaderSize &&
            std::fwrite(bytes, 8, words, f) == words;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    platform::deleteFile(temporary);  // no half-written mesh left behind
    fail(path, "could not be written completely.");
  }
  if (!platform::moveFileReplacing(temporary, path)) {
    const std::uint32_t error = platform::lastError();
    platform::deleteFile(temporary);
    fail(path, error == platform::kErrorAccessDenied
                   ? "cannot be replaced (it is read-only, or a directory)."
                   : "cannot be replaced (system error " + std::to_string(error) + ").");
  }
}

void measureGridPitches(MeshData& mesh) {
  double su = 0.0, sv = 0.0;
  for (unsigned int v = 0; v <= mesh.vCount; ++v) {
    for (unsigned int u = 0; u <= mesh.uCount; ++u) {
      const double* p = mesh.vertex(u, v);
      if (u < mesh.uCount) {
        const double* q = p + 3;
        su += (q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) +
              (q[2] - p[2]) * (q[2] - p[2]);
      }
      if (v < mesh.vCount) {
        const double* q = mesh.vertex(u, v + 1);
        sv += (q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) +
              (q[2] - p[2]) * (q[2] - p[2]);
      }
    }
  }
  const double nu = static_cast<double>(mesh.uCount) * (mesh.vCount + 1.0);
  const double nv = static_cast<double>(mesh.vCount) * (mesh.uCount + 1.0);
  mesh.uPitchSqr = su / nu;
  mesh.vPitchSqr = sv / nv;
  mesh.pitchSqr = (su + sv) / (nu + nv);
}

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail
