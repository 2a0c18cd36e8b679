// The part model: where a reader of the calibration or the region code starts.
//
// A part settings file (".qini", or a legacy ".ini") describes one region of a
// part: its ".quads" files, each in a collection ("QuadFile" + n sections with
// "CollectionIndex"), the part positions the part can take
// ("NumberOfPartPositions" of "Region"), each collection's three calibration
// points and arm positions ("PartCalibrationPoints" + c), whether a
// collection is fixed ("Collection" + c, "Moveable"), and where each
// collection lies for each arm and part position: the transform sections
// "PartLocalToArmGlobal" + a + c + p.
//
//  - CollectionSettings.h: the collection list, the counts, the readers the
//    operations share, and the one place that forms the numbered section
//    names, with the rule that keeps two triples from sharing a name.
//  - TransformSections.h: a transform as fitted and stored (RigidBodyFit),
//    its application and composition, the ArmSerial stamp, and the writes of
//    whole sections (atomic updates of the file).
//
// The calibration (partcalibration/) writes these sections; the region
// operations (regions/) read them to place the meshes.
#pragma once

#include "partmodel/CollectionSettings.h"
#include "partmodel/TransformSections.h"
