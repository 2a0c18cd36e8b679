// ZorvVLWizard: the layout of the scanning application's wizard directory
// (parts, regions, scans, tools, gain files, stock objects) and the selection
// states built on it.
//
// This is the library's only public header; a caller includes it alone and
// links the shared library (libZorvVLWizard.so, or ZorvVLWizard.dll through
// its import library). Texts go in by constant reference and come back as
// values. Lists come back in string_vector objects owned by the caller: their
// storage is allocated and freed through string_allocator, whose operations
// live in the library, so a list filled by the library may be read, grown and
// destroyed by the caller.
//
// Paths are joined with a backslash. Numbered entries are named number + "_" +
// name, numbers 1 to 9 written "01" to "09", from 10 on in plain decimal; a
// listing stops at the first missing number. A list holding only "missing"
// means that nothing was found. The library never prints.
//
// What may leave the library: besides the standard library's exceptions (such
// as std::bad_alloc), only the settings reader's IniFileSection::
// IniFileException, thrown as a pointer to a new object that the handler owns,
// from the ZorvVLWizardShapeSelectState members that read or write settings
// files (getRegionCompatibleTools, getRegionAvailableTools, setGainState,
// getGainState; see each). The class is exported with the members a handler
// needs, and `delete e` frees it inside the library:
//
//   try {
//     state.getGainState(gains);
//   } catch (IniFileSection::IniFileException* e) {
//     report(e->getType(), e->getMessage());
//     delete e;
//   }
//
// The header needs C++17 or later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

#if defined(_WIN32)
#if defined(ZORV_VLWIZARD_BUILD)
#define ZORV_VLWIZARD_API __declspec(dllexport)
#else
#define ZORV_VLWIZARD_API __declspec(dllimport)
#endif
#else
#define ZORV_VLWIZARD_API __attribute__((visibility("default")))
#endif

template <class T>
class library_allocator;

// The allocator of string_vector::strings. It allocates and frees exactly as
// std::allocator<std::string> does, but inside the library: the caller's
// copies of the container code reach the library's allocation functions, so
// library and caller always use the same allocation routines for the list.
//
// A complete allocator: rebound to another type it gives library_allocator of
// that type, which allocates inside the library too (and rebinds back to
// string_allocator); all of them hold no state and are equal, so containers
// may copy, move and swap them freely.
class ZORV_VLWIZARD_API string_allocator {
 public:
  using value_type = std::string;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::true_type;
  template <class Other>
  struct rebind {
    using other = std::conditional_t<std::is_same_v<Other, std::string>, string_allocator,
                                     library_allocator<Other>>;
  };

  virtual ~string_allocator();
  string_allocator() noexcept;
  string_allocator(const std::allocator<std::string>& standard) noexcept;
  string_allocator(const string_allocator& other) noexcept;
  template <class Other>
  string_allocator(const library_allocator<Other>&) noexcept : string_allocator() {}
  string_allocator& operator=(const string_allocator& other) noexcept;

  // std::allocator<std::string>::allocate / deallocate, run in the library.
  std::string* allocate(size_type count);
  void deallocate(std::string* pointer, size_type count) noexcept;
  size_type max_size() const noexcept;

  // Storage for library_allocator: `size` bytes aligned to `alignment` from
  // the library's operator new, and their release; run in the library.
  static void* allocate_bytes(size_type size, size_type alignment);
  static void deallocate_bytes(void* pointer, size_type size, size_type alignment) noexcept;

  friend bool operator==(const string_allocator&, const string_allocator&) noexcept { return true; }
  friend bool operator!=(const string_allocator&, const string_allocator&) noexcept {
    return false;
  }
};

// string_allocator rebound to another type: storage from the library's
// allocation functions (string_allocator::allocate_bytes). Lists of strings
// use string_allocator itself.
template <class T>
class library_allocator {
  static_assert(!std::is_same_v<T, std::string>, "strings use string_allocator");

 public:
  using value_type = T;
  using size_type = std::size_t;
  using difference_type = std::ptrdiff_t;
  using propagate_on_container_copy_assignment = std::true_type;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::true_type;
  template <class Other>
  struct rebind {
    using other = typename string_allocator::template rebind<Other>::other;
  };

  library_allocator() noexcept = default;
  template <class Other>
  library_allocator(const library_allocator<Other>&) noexcept {}
  library_allocator(const string_allocator&) noexcept {}

  T* allocate(size_type count) {
    if (count > max_size()) throw std::bad_array_new_length();
    return static_cast<T*>(string_allocator::allocate_bytes(count * sizeof(T), alignof(T)));
  }
  void deallocate(T* pointer, size_type count) noexcept {
    string_allocator::deallocate_bytes(pointer, count * sizeof(T), alignof(T));
  }
  size_type max_size() const noexcept { return std::numeric_limits<size_type>::max() / sizeof(T); }
};

template <class A, class B>
bool operator==(const library_allocator<A>&, const library_allocator<B>&) noexcept {
  return true;
}
template <class A, class B>
bool operator!=(const library_allocator<A>&, const library_allocator<B>&) noexcept {
  return false;
}
template <class T>
bool operator==(const string_allocator&, const library_allocator<T>&) noexcept {
  return true;
}
template <class T>
bool operator==(const library_allocator<T>&, const string_allocator&) noexcept {
  return true;
}
template <class T>
bool operator!=(const string_allocator&, const library_allocator<T>&) noexcept {
  return false;
}
template <class T>
bool operator!=(const library_allocator<T>&, const string_allocator&) noexcept {
  return false;
}

// An ordered list of texts: the type every list crosses the library boundary
// in. Callers use the member `strings` directly.
class ZORV_VLWIZARD_API string_vector {
 public:
  using vector_type = std::vector<std::string, string_allocator>;

  virtual ~string_vector();

  vector_type strings;

  string_vector();
  // `count` empty strings.
  explicit string_vector(std::size_t count);
  string_vector(const vector_type& list);
  string_vector(const string_vector& other);
  string_vector& operator=(const string_vector& other);

  // A copy of the list with the standard allocator.
  std::vector<std::string> get() const;
};

#if defined(ZORV_HAVE_INI_FILE_SECTION_H)
// Built with the settings reader at hand (the library itself and the programs
// built with it): the exception comes from its own header.
#include "IniFileSection.h"
#else
// The settings reader as far as it crosses the library boundary: its
// exception, exported by the library. The reader itself stays inside.
class IniFileSection {
 public:
  enum IniFailureKind : std::int32_t {
    FileUnavailable = 0,  // a settings file could not be opened
    KeyUnavailable = 1,   // a read found no usable value
    WriteFailed = 2,      // a write failed or was refused
  };

  // Thrown as a pointer to a new object; the handler owns it and deletes it
  // (`delete e`: the class's operator delete frees it inside the library).
  // Its functions are the library's; the kind constants are the header's own.
  class IniFileException {
   public:
    using IniFailureKind = IniFileSection::IniFailureKind;
    static constexpr IniFailureKind FileUnavailable = IniFileSection::FileUnavailable;
    static constexpr IniFailureKind KeyUnavailable = IniFileSection::KeyUnavailable;
    static constexpr IniFailureKind WriteFailed = IniFileSection::WriteFailed;

    ZORV_VLWIZARD_API IniFileException(std::string message, IniFailureKind kind);
    ZORV_VLWIZARD_API ~IniFileException();
    // FileUnavailable: the path that failed to open; KeyUnavailable:
    // "[" + section + "] " + key; WriteFailed: empty.
    ZORV_VLWIZARD_API std::string getMessage() const;
    ZORV_VLWIZARD_API IniFailureKind getType() const;

    ZORV_VLWIZARD_API static void* operator new(std::size_t size);
    ZORV_VLWIZARD_API static void operator delete(void* pointer) noexcept;

   private:
    std::string message;
    IniFailureKind kind;
  };

  IniFileSection() = delete;
};
#endif

// Static utilities over the wizard directory tree. Every function takes the
// directories it works on from its caller and keeps no state, except the
// class-wide choice between "vl2_settings" and "vl3d_settings".
class ZORV_VLWIZARD_API ZorvVLWizardUtilities {
 public:
  // base + "\vl3d_settings" in VL3D mode, else base + "\vl2_settings".
  static std::string getWizardDirectoryName(const std::string& baseDirectory);
  static bool getDoesWizardDirectoryExist(const std::string& baseDirectory);

 protected:
  static void setIsVL3D(bool value);

 public:
  static std::string getPartsDirectoryName();          // "parts"
  static std::string getToolsDirectoryName();          // "tools"
  static std::string getMiscellaneousDirectoryName();  // "misc"
  static std::string getObjects3DDirectoryName();      // "objects3d"
  static std::string getPosettaINIFileName();          // "WinVLPosetta.ini"

  // The names of the numbered directories NN_{name} of `directory`, in number
  // order up to the first gap; "missing" alone and false when there is none.
  static bool getNumericDirectories(const std::string& directory, string_vector& list);
  static bool getParts(const std::string& wizardDirectory, string_vector& list);
  static bool getRegions(const std::string& partDirectory, string_vector& list);
  static bool getRegionTools(const std::string& regionDirectory, string_vector& list);
  static bool getTools(const std::string& wizardDirectory, string_vector& list);
  // Appends the full paths of the files *.{extension} below `directory`,
  // subdirectories first, depth first; links to directories are not entered.
  // True when the list is non-empty afterwards.
  static bool getRecursiveFullFileNames(const std::string& directory, const std::string& extension,
                                        string_vector& list);
  static bool getDoesFileExist(const std::string& path);
  static bool getDoesDirectoryExist(const std::string& path);
  // One directory level; false when it exists already.
  static bool makeDirectory(const std::string& path);
  // Overwrites an existing target.
  static bool copyFile(const std::string& source, const std::string& target);
  static bool deleteFile(const std::string& path);
  // Moves a file or directory; false when the new path exists.
  static bool renameDirectory(const std::string& oldPath, const std::string& newPath);
  // Creates an empty file or truncates an existing one.
  static bool makeBlankFile(const std::string& path);
  // Removes the directory with everything below it, permanently and without
  // any prompt. Refuses an empty path, a root or drive root, wildcards and
  // paths over 1022 characters.
  static bool deleteDirectory(const std::string& path);

  // The names of the numbered files NN_{name}.{extension} (name without
  // number and extension), up to the first gap; "missing" alone and false
  // when there is none.
  static bool getNumericFiles(const std::string& directory, const std::string& extension,
                              string_vector& list);
  // The bare file name (such as 02_Plate.qini) of the first entry matching
  // *_{name}.{extension} when that is a file; true when anything matched.
  static bool getNumericFile(const std::string& directory, const std::string& name,
                             const std::string& extension, std::string& fileName);
  static bool getRegionScans(const std::string& regionDirectory, string_vector& list);
  // All scans of the part, region by region, with the region of each scan in
  // the parallel list `regions`; a region without scans contributes "missing".
  static bool getScans(const std::string& partDirectory, string_vector& regions,
                       string_vector& scans);
  // "arm", "encoder", "2dencoder", "rip".
  static bool getPositionDevices(string_vector& list);

 private:
  // The host program's directory + "\objects3d".
  static std::string getStockObjectsBaseDirectory();

 public:
  static std::string getArmStockObjectsTemplateDirectory();
  static std::string getArmStockObjectsCalibrationDirectory();
  static std::string getArmStockObjectsDevicesDirectory();
  // The stock objects that suit a positioning device (compared ignoring case).
  static bool getCompatibleObjects(const std::string& device, string_vector& list);
  // The library tools whose definition names the device (ignoring case).
  static bool getCompatibleTools(const std::string& wizardDirectory, const std::string& device,
                                 string_vector& list);
  // The region's ".qini" file and the library tool's ".tini" file that belong
  // to a region tool's settings file.
  static bool getINIFileNames(const std::string& settingsFile, std::string& qiniFile,
                              std::string& tiniFile);
  // Deletes the part at `partIndex` (from 0) and renumbers the parts after it.
  static bool deletePart(const std::string& wizardDirectory, unsigned long partIndex);
  // The names (cut at their last ".") of the files *.{extension}; "missing"
  // alone and false when there is none.
  static bool getFiles(const std::string& directory, const std::string& extension,
                       string_vector& list);

 private:
  static bool isVL3D;
};

// The current choice of part, scan, region and tool in a wizard directory, the
// lists those choices are made from, and the paths of the files that belong to
// the choice.
class ZORV_VLWIZARD_API ZorvVLWizardShapeSelectState {
 public:
  // A tool's ultrasonic gain settings: one global gain and one gain per
  // aperture, with the aperture numbers in the parallel list.
  struct GainState {
    double globalGain = 0.0;            // dB
    std::vector<double> apertureGains;  // dB
    std::vector<std::uint32_t> apertureNumbers;
  };

  virtual ~ZorvVLWizardShapeSelectState();
  ZorvVLWizardShapeSelectState();
  ZorvVLWizardShapeSelectState(const ZorvVLWizardShapeSelectState& other);
  ZorvVLWizardShapeSelectState& operator=(const ZorvVLWizardShapeSelectState& other);

  // Loads the lists and the selection at the current indexes.
  bool init(const std::string& baseDirectory);
  bool setPartIndex(unsigned long index, unsigned long& previous);
  bool setScanIndex(unsigned long index, unsigned long& previous);
  bool setToolIndex(unsigned long index, unsigned long& previous);
  void setPartVoid();
  void setScanVoid();
  void setToolVoid();
  bool getIsPartVoid() const;
  bool getIsScanVoid() const;
  bool getIsToolVoid() const;
  bool getIsPartPermanent() const;
  static unsigned long getVoidIndexID();

  const string_vector& getParts() const;
  const string_vector& getPartScans() const;
  const string_vector& getRegionTools() const;
  const string_vector& getTools() const;
  unsigned long getNumberOfParts() const;
  unsigned long getNumberOfPartScans() const;
  unsigned long getNumberOfRegionTools() const;
  std::string getPart() const;
  std::string getRegion() const;
  std::string getTool() const;
  std::string getWizardDirectory() const;
  bool getDoesPartExist(const std::string& name) const;

  std::string getFullPartDirectory() const;
  std::string getFullRegionDirectory() const;
  std::string getFullToolDirectory() const;
  std::string getLogicalLocalSettingsDirectoryName() const;
  std::string getSelectedToolINIFileName() const;
  std::string getLocalSettingsFileName() const;
  std::string getMasterSettingsFileName() const;
  // The local settings file when it exists, else the master one when that
  // exists (then *usedMaster is true), else the local name.
  std::string getSettingsFileName(bool* usedMaster = nullptr) const;
  std::string getGainConfigINIFileName() const;
  std::string getQuadsINIFileName() const;
  std::string getPartImageFileName() const;
  std::string getScanImageFileName() const;
  std::string getToolImageFileName() const;
  std::string getMissingImageFileName() const;

 private:
  string_vector getCompatibleTools(const std::string& device) const;

 public:
  // Library tools used with the selected region's device ("Arm" when the
  // region has its ".qini" file, else "Encoder"). Tools whose definition
  // lacks the device are skipped; a device entry that is present but cannot
  // be read throws IniFileSection::IniFileException (a pointer).
  string_vector getRegionCompatibleTools() const;
  // Those of them not yet attached to the region.
  string_vector getRegionAvailableTools() const;
  // {region tool dir}\{tool}.ini for names instead of the current selection.
  bool getFullToolFilename(const std::string& partName, const std::string& regionName,
                           const std::string& toolName, std::string& path) const;

  // Writes / reads the selected tool's gain configuration file
  // ({library tool dir}\{tool}.gini): "GlobalGain" / "dB" and
  // "ApertureGains" / "dB" + aperture number; apertures 0 to 127 are read
  // back, in ascending order. getGainState is false when the file is
  // missing. A failed write, or a missing or non-numeric value, throws
  // IniFileSection::IniFileException (a pointer).
  void setGainState(const GainState& state);
  bool getGainState(GainState& state) const;

 private:
  static const unsigned long voidIndex;

  std::string wizardDirectory;
  std::string part;
  std::string region;
  std::string tool;
  std::string scan;
  unsigned long partIndex;
  unsigned long regionIndex;
  unsigned long scanIndex;
  unsigned long toolIndex;
  unsigned long regionToolIndex;
  unsigned long regionScanIndex;
  string_vector parts;
  string_vector regions;
  string_vector scanRegions;
  string_vector partScans;
  string_vector regionTools;
  string_vector tools;
  string_vector regionScans;
  std::string globalGainSection;
  std::string globalGainKey;
  std::string apertureGainsSection;
  std::string apertureGainKeyPrefix;
};

// The choice of positioning device, stock object and library tool for creating
// a new scan object, and the names of the files that belong to it.
class ZORV_VLWIZARD_API ZorvVLWizardShapeCreateState {
 public:
  virtual ~ZorvVLWizardShapeCreateState();
  // Devices "encoder", "arm" (only with the arm), "2dencoder".
  explicit ZorvVLWizardShapeCreateState(bool withArm);
  ZorvVLWizardShapeCreateState(const ZorvVLWizardShapeCreateState& other);
  ZorvVLWizardShapeCreateState& operator=(const ZorvVLWizardShapeCreateState& other);

  bool init(const std::string& baseDirectory);
  bool setDeviceIndex(unsigned long index, unsigned long& previous);
  bool setObjectIndex(unsigned long index, unsigned long& previous);
  bool setToolIndex(unsigned long index, unsigned long& previous);
  bool setObjectName(const std::string& name);

  const string_vector& getDevices() const;
  const string_vector& getObjects() const;
  const string_vector& getTools() const;
  unsigned long getNumberOfDevices() const;
  unsigned long getNumberOfDeviceObjects() const;
  unsigned long getNumberOfDeviceTools() const;
  // The entries at the current indexes; empty when the index lies outside
  // its list (and so are the file names built from them).
  std::string getDevice() const;
  std::string getObject() const;
  std::string getTool() const;
  std::string getObjectName() const;

  std::string getDeviceImageFileName() const;
  bool getObjectTemplatePartImageFileName(std::string& fileName) const;
  bool getObjectTemplateScanImageFileName(std::string& fileName) const;
  std::string getObjectImageFileName() const;
  std::string getToolImageFileName() const;
  // Bare file names such as 02_Plate.qini, to be joined to the templates or
  // calibration directory.
  bool getObjectTemplateQINIFileName(std::string& fileName) const;
  bool getObjectCalibrationINIFileName(std::string& fileName) const;
  bool getObjectCalibrationQuadsFileName(std::string& fileName) const;

 private:
  unsigned long deviceIndex;
  unsigned long objectIndex;
  unsigned long toolIndex;
  std::string objectName;
  string_vector devices;
  string_vector objects;
  string_vector tools;
  std::string wizardDirectory;
  std::string templatesDirectory;
  std::string calibrationDirectory;
};
