// Collection calibration: the technician touches three reference points of a
// collection with the arm's probe; the rigid-body map carrying the part-local
// points onto the recorded arm points is fitted, reported with its
// uncertainty and stored as "PartLocalToArmGlobal" + a + c + p sections.
//
// Geometrical types of a collection:
//  - explicit points: at least one of its three "PartCalibrationPoints"
//    points is not (0, 0, 0);
//  - planar: all three are (0, 0, 0); the points are recorded on the plane
//    itself and the collection's single ".quads" file is generated;
//  - cylinder-based: selected by the key "GeometricalType" = "Cylinder" (any
//    case) of the collection's "Collection" + c section; the points are
//    recorded on the half cylinder at (50, 0, 0), (-50, 0, 0) and
//    (0, 50, 1000) mm of its own frame, and its single ".quads" file is the
//    generated half cylinder of radius 50 mm and length 1000 mm.
//   Any other "GeometricalType" value is refused ("Unknown geometrical type.").
#pragma once

#include <string>

#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"
#include "partmodel/TransformSections.h"

// Key of a "Collection" + c section that selects a collection's geometrical
// type, and the value that selects the cylinder-based type.
inline constexpr const char* kGeometricalTypeKey = "GeometricalType";
inline constexpr const char* kCylinderTypeValue = "Cylinder";

// How long the calibration point image stays open (ms).
inline constexpr unsigned kCalibrationImageMs = 10000;

// Calibrates collection c (from 0) at part position p (from 0) of
// context.partSettingsFile; true when the sections were written.
bool calibrateCollection(ConsoleContext& context, ArmConnection& arm, int collection,
                         int partPosition);
// The same, giving the number of arm positions the calibration wrote (its
// set's "p2", 1 without one). Every section written carries the arm's
// serial as its ArmSerial stamp. False also when a section could not be
// written (after every arm position was tried).
bool calibrateCollection(ConsoleContext& context, ArmConnection& arm, int collection,
                         int partPosition, int& armPositionCount);

// The fitting step: prints "Calibrating...", fits the map carrying the part
// points onto the recorded arm points (strict, then relaxed), and reports
// each point's residual and the mean squared residual (the uncertainty, mm²)
// with its verdict. False after its message when no fit is possible.
bool fitCalibration(ConsoleContext& context, const Zorv::Geometry::ThreeDimensional::Point* part,
                    const Zorv::Geometry::ThreeDimensional::Point* recorded, RigidBodyFit& fit,
                    double& uncertainty);

// Prints each point's residual ("Point " + i + " distance: "), the mean
// squared residual (label + " uncertainty measurement: ") and its verdict:
// acceptable below 1 mm², else the line framed in stars. Gives the mean
// squared residual (mm²).
double reportFitUncertainty(ConsoleContext& context, const RigidBodyFit& fit,
                            const Zorv::Geometry::ThreeDimensional::Point* part,
                            const Zorv::Geometry::ThreeDimensional::Point* recorded,
                            const std::string& label, const std::string& unacceptableLine);

// Red shows the collection's calibration point image for 10 s (then asks
// again), green goes on.
void showCalibrationPointImage(ConsoleContext& context, ArmConnection& arm, int collection);

// The menu operations "Calibrate collection" and "Calibrate region".
bool runCalibrateCollection(ConsoleContext& context, ArmConnection& arm);
bool runCalibrateRegion(ConsoleContext& context, ArmConnection& arm);
