// "Quad mesh info": lists each collection's ".quads" files with their quad
// counts and pitches as stored in the file headers.
#include "regions/QuadMeshInfo.h"

#include <cmath>

#include "ZorvGeometry.h"
#include "console/ConsoleServices.h"
#include "partmodel/CollectionSettings.h"
#include "wizardops/SettingsSelection.h"

using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

bool showQuadMeshInfo(ConsoleContext& context) {
  if (!chooseRegionSettingsFile(context.directoryMode, context.partSettingsFile, "part")) {
    context.print("Failed to identify .qini or .ini file.\n");
    return false;
  }
  const std::string& file = context.partSettingsFile;
  string_vector collections;
  if (!readCollectionList(file, collections)) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  const std::string directory = file.substr(0, file.rfind('\\'));
  unsigned long long number = 0;
  for (std::string entry : collections.strings) {
    context.print("\nCollection " + numberToText(++number) + ": \n");
    // The names are taken from the end of the entry, so a collection's files
    // are listed from the last to the first.
    for (std::size_t cut = entry.rfind("\n\t\t"); cut != std::string::npos;
         cut = entry.rfind("\n\t\t")) {
      const std::string name = entry.substr(cut + 3);
      unsigned int uCount = 0;
      unsigned int vCount = 0;
      double pitchSqr = 0.0;
      double uPitchSqr = 0.0;
      double vPitchSqr = 0.0;
      RectMesh::getFileHeaderItems(directory + "\\" + name + ".quads", uCount, vCount, pitchSqr,
                                   uPitchSqr, vPitchSqr);
      context.print("\t" + name + "\n");
      context.print("\t\tSize (u,v) = (" + numberToText(uCount) + ", " + numberToText(vCount) +
                    "). Pitch = " + numberToText(std::sqrt(pitchSqr)) + "mm (" +
                    numberToText(std::sqrt(uPitchSqr)) + ", " +
                    numberToText(std::sqrt(vPitchSqr)) + ").\n");
      entry.erase(cut);
    }
  }
  return true;
}
