// Typed access to one section of one INI settings file.
//
// Every read and write is one profile call on the file (platform/profile.h);
// nothing is cached. Failures are raised as IniFileSection::IniFileException,
// thrown as a pointer to a new object: the handler owns it and deletes it.
//
//   try {
//     IniFileSection section(path, "Probe", false);
//     double radius = section.getDouble("Radius");
//   } catch (IniFileSection::IniFileException* e) {
//     print(e->getMessage());
//     delete e;
//   }
//
// Reals are written with "%4.16lf" and read back through a single-precision
// conversion, so a value read back carries about seven significant digits.
//
// The exception may leave the wizard library's selection classes, so the
// library exports it (the class is marked for export here; the library's
// header ZorvVLWizard.h declares it for programs that use the library
// without this header). Its objects are allocated and freed by the class's
// own operator new and delete: a program that uses the library through its
// header calls the library's, so its `delete e` frees the object inside the
// library that allocated it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>

#if defined(_WIN32)
#define ZORV_INI_EXCEPTION_EXPORT __declspec(dllexport)
#else
#define ZORV_INI_EXCEPTION_EXPORT __attribute__((visibility("default")))
#endif

class IniFileSection {
 public:
  enum IniFailureKind : std::int32_t {
    FileUnavailable = 0,  // the constructor could not open the file
    KeyUnavailable = 1,   // a read found no usable value
    WriteFailed = 2,      // a write failed or was refused
  };

  class ZORV_INI_EXCEPTION_EXPORT IniFileException {
   public:
    using IniFailureKind = IniFileSection::IniFailureKind;
    using enum IniFileSection::IniFailureKind;

    IniFileException(std::string message, IniFailureKind kind);
    ~IniFileException();
    // FileUnavailable: the path that failed to open; KeyUnavailable:
    // "[" + section + "] " + key; WriteFailed: empty.
    std::string getMessage() const;
    IniFailureKind getType() const;

    static void* operator new(std::size_t size);
    static void operator delete(void* pointer) noexcept;

   private:
    std::string message;
    IniFailureKind kind;
  };

  // Two empty names.
  IniFileSection();
  // Unless skipExistenceCheck is true, the file must exist: a section found
  // under the name as given keeps it unchanged; otherwise a relative name is
  // made absolute against the current directory (current directory + "\" +
  // name), and a file that cannot be opened for reading raises
  // FileUnavailable with the path tried. A file that exists but lacks the
  // section is accepted. With skipExistenceCheck true the name is stored
  // unchanged, so that the first write can create the file or section.
  IniFileSection(std::string fileName, std::string sectionName, bool skipExistenceCheck);
  virtual ~IniFileSection();

  // The value parsed as a single-precision "%f" number, widened; an empty,
  // missing or non-numeric value raises KeyUnavailable. At most 98 characters
  // of the value are read.
  double getDouble(const char* key) const;
  // GetPrivateProfileIntA with the default -99999999, which raises
  // KeyUnavailable (so a stored -99999999 counts as missing). A value that is
  // not a number gives what Windows parses (0 without digits): callers that
  // need a range must check it.
  int getInt(const char* key) const;
  // The value (at most 998 characters); empty or missing raises
  // KeyUnavailable.
  std::string getString(const char* key) const;
  // getString, then true for "true" or "yes" in any case, false otherwise.
  bool getBool(const char* key) const;
  // getString(key) compared with expected ignoring case.
  bool valueEquals(const std::string& key, const std::string& expected) const;

  // Writes the value formatted "%4.16lf". Raises WriteFailed, writing nothing,
  // when the write fails or the value is not finite or its text would exceed
  // 255 characters (magnitudes of 1e236 and more).
  void setDouble(const char* key, double value) const;
  // Writes several reals, each formatted as setDouble formats it, as one
  // atomic update of the file (platform::writeProfileStrings): the file ends
  // up exactly as setDouble on each pair in the given order would leave it,
  // but a reader or a crash never sees some of the values without the others.
  // Meant for sections whose keys belong together, such as the nine keys of a
  // transform section:
  //
  //   section.setDoubles({{"RotationAngleX", ax}, {"RotationAngleY", ay}, ...});
  //
  // Raises WriteFailed, writing nothing at all, when any value is refused as
  // setDouble refuses it or the write fails. Keys must not be null.
  void setDoubles(std::span<const std::pair<const char*, double>> values) const;
  void setDoubles(std::initializer_list<std::pair<const char*, double>> values) const {
    setDoubles(std::span<const std::pair<const char*, double>>(values.begin(), values.size()));
  }
  // Writes "true" or "false"; raises WriteFailed when the write fails.
  void setBool(const char* key, bool value) const;
  // Writes several flags as setBool writes each, as one atomic update of the
  // file, for flags that belong together. Raises WriteFailed, writing
  // nothing, when the write fails. Keys must not be null.
  void setBools(std::initializer_list<std::pair<const char*, bool>> values) const;

  // One real of setDoublesInSections: section, key and value.
  struct SectionDouble {
    const char* section;
    const char* key;
    double value;
  };
  // setDoubles over several sections of the file: the file ends up exactly as
  // setDouble on each value in the given order would leave it, as one atomic
  // update (platform::writeProfileEdits), so that a reader or a crash sees
  // every section wholly old or wholly new. Raises WriteFailed, writing
  // nothing at all, when any value is refused as setDouble refuses it or the
  // write fails. Names must not be null.
  static void setDoublesInSections(const std::string& fileName,
                                   std::span<const SectionDouble> values);

  // One change of changeSections: a real (formatted as setDouble formats
  // it), a text written as it stands, or the removal of a whole section
  // (key and text unused).
  struct SectionChange {
    enum Kind { Real, Text, RemoveSection };
    Kind kind;
    const char* section;
    const char* key = nullptr;
    double value = 0.0;
    const char* text = nullptr;
  };
  // Applies the changes in the given order as one atomic update of the file
  // (platform::writeProfileEdits): the file ends up exactly as the separate
  // writes and removals would leave it, and a reader or a crash sees every
  // section wholly old or wholly new. Raises WriteFailed, changing nothing at
  // all, when a real is refused as setDouble refuses it, a text holds a line
  // end, or the write fails. Names must not be null.
  static void changeSections(const std::string& fileName,
                             std::span<const SectionChange> changes);

  // True when GetPrivateProfileSectionA into a 10-byte buffer returns more
  // than 1 (a section with at least one line besides comments).
  static bool sectionExists(std::string fileName, std::string sectionName);
  // True when the key's value, read into a 10-byte buffer with the default
  // "default", differs from "default".
  static bool keyExists(const std::string& fileName, const std::string& sectionName,
                        const std::string& key);
  // Removes the section's header and lines; the result is ignored.
  static void deleteSection(std::string fileName, std::string sectionName);
  // True when the texts are equal ignoring (ASCII) case.
  static bool equalsIgnoreCase(const std::string& a, const std::string& b);

  std::string fileName;     // path as given, or made absolute by the constructor
  std::string sectionName;  // name without brackets
};
