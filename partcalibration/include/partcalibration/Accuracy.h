// How far to trust a rigid-body fit away from its three points.
//
// A fit of exact part points P_i onto arm points K_i, each coordinate of each
// K_i carrying an independent normal error of standard deviation sigma, is
// wrong at a part point X by (to first order) the error of the centroid plus
// a small rotation about it. The least-squares fit passes through the
// centroids, so the centroid error is the mean of the N point errors
// (covariance sigma²/N · I); the rotation error δθ has covariance
// sigma² · A⁻¹, A = Σ (|p_i|² I − p_i p_iᵀ) with p_i = P_i − centroid (the
// points' inertia tensor), and the two are uncorrelated because Σ p_i = 0.
// With r = X − centroid the error δθ × r + δc has the mean square
//
//   e² = sigma² (3/N + |r|² tr(A⁻¹) − rᵀ A⁻¹ r).
//
// Far from the points the second term (the lever arm) dominates; three
// points nearly in a line make A nearly singular and the error about their
// line large.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ZorvGeometry.h"

// The arm's single-point accuracy: key "ArmPointSigma" (mm) of section
// "Accuracy" of the arm configuration file; the default when the file,
// section or key is missing or the value is not a positive finite number.
inline constexpr const char* kAccuracySection = "Accuracy";
inline constexpr const char* kArmPointSigmaKey = "ArmPointSigma";
inline constexpr double kDefaultArmPointSigma = 0.03;  // mm
double readArmPointSigma(const std::string& configurationFile);

// Three points whose triangle's smallest height is below this share of its
// longest side are nearly in a line.
inline constexpr double kNearlyInLineRatio = 0.10;
bool pointsNearlyInLine(const Zorv::Geometry::ThreeDimensional::Point* points);

// The centroid of the three points.
Zorv::Geometry::ThreeDimensional::Point centroidOf(
    const Zorv::Geometry::ThreeDimensional::Point* points);

// The one of the three points farthest from `from` (the first of equals).
Zorv::Geometry::ThreeDimensional::Point farthestOfPoints(
    const Zorv::Geometry::ThreeDimensional::Point* points,
    const Zorv::Geometry::ThreeDimensional::Point& from);

// The root-mean-square 3-D error (mm) at `at` of the fit of the three exact
// points (the frame of `at`) onto points measured with sigma (mm) per
// coordinate. Infinite when the points fix no rotation (coincident or
// collinear).
double predictedFitError(const Zorv::Geometry::ThreeDimensional::Point* points,
                         const Zorv::Geometry::ThreeDimensional::Point& at, double sigma);

// The vertex of the mesh farthest from `from` (both in the mesh's frame). A
// plane's farthest vertex is a corner; on a cylinder arc the distance
// separates into its angle and its length, so only the two end rows are
// looked at; an explicit grid is searched whole.
Zorv::Geometry::ThreeDimensional::Point farthestMeshVertex(
    const Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh& mesh,
    const Zorv::Geometry::ThreeDimensional::Point& from);

// Meshes loaded once per path for a run that looks at many placements of the
// same files; a file that does not load is remembered as such.
class QuadMeshCache {
 public:
  // The loaded mesh, or null when the file cannot be read.
  const Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh* find(const std::string& path);

 private:
  std::map<std::string, std::optional<Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh>>
      meshes_;
};

// The vertex farthest from `from` over the files that load (their own
// frame, the part's); nullopt when none does.
std::optional<Zorv::Geometry::ThreeDimensional::Point> farthestVertexOfFiles(
    QuadMeshCache& meshes, const std::vector<std::string>& quadFiles,
    const Zorv::Geometry::ThreeDimensional::Point& from);
