// The geometry library: points, maps and rigid-body fits
// (Zorv::Geometry::ThreeDimensional), quad meshes and ray intersection
// (Zorv::Geometry::ThreeDimensional::QuadMesh), index pairs
// (Zorv::Geometry::TwoDimensional).
#pragma once

#include "ZorvGeometry/QuadMesh.h"
#include "ZorvGeometry/ThreeDimensional.h"
#include "ZorvGeometry/TwoDimensional.h"
