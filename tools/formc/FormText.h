#pragma once
// The text form description and its compilation.
//
//   object Name: TClass          (also "inherited" and "inline" in place of "object")
//     Property = value
//     Sub.Property = value       (dotted names reach sub-objects: Font.Height)
//     object Child: TClass ... end
//   end
//
// Values: integers (123, -5, $FF), floats (1.5, 2E3), strings ('it''s' joined with #nnn
// character codes and + across lines; the file is UTF-8 and #nnn is a Unicode code point),
// identifiers (clBtnFace, True, False, nil, OnClick handler names), sets [a, b], lists
// ( 'x' 'y' ), binary data { 0A1B ... }, collections < item ... end >, and a file reference
// @'picture.jpg': the bytes of that file (relative to the description's folder) as a binary
// value; a file whose name ends in .jpg or .jpeg becomes a JPEG picture block ("TJPEGImage",
// 4-byte length, the file), as Picture.Data holds it. Comments: // to the end of the line and
// { } is data, so there are no brace comments.

#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class FormTextError : public std::runtime_error {
 public:
  FormTextError(int line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// Where one object of the text lies in the literal form data.
struct FormObject {
  std::string className, name;
  int line = 0;                     // of its "object" line
  std::uint64_t header = 0;         // its class name (after any prefix)
  std::uint64_t properties = 0;     // its first property
  std::uint64_t propertiesEnd = 0;  // the 00 that ends its properties
  std::vector<FormObject> children;
};

struct FormBinary {
  std::string data;  // "TPF0" form data, exactly as the text says (no defaults applied)
  FormObject root;
  // (byte offset, source line) at the start of each object and property, ascending.
  std::vector<std::pair<std::uint64_t, int>> lines;
  int LineAt(std::uint64_t offset) const;
};

// The literal conversion, as a text-to-binary converter does it. Throws FormTextError.
FormBinary ObjectTextToBinary(std::string_view text, const std::filesystem::path& baseDir);

struct FormCompileOptions {
  std::filesystem::path baseDir;                      // for @'file' and relative file names
  std::map<std::string, std::string> designFileMap;   // stored file name -> real file
};

// What the designer does, object by object (the root and every child, recursively):
// - an object whose class is registered in this program (the keeper, TVersionInfo: the
//   portable classes) is created in csDesigning state, given the properties the text gives
//   and written back, so its class's declared defaults decide what is stored. Its properties
//   are read with the object as the root of its own form data, so a reference property may
//   name only the object itself; an event names a method of the form, kept by name.
// - an object whose class is not registered here (the controls and forms: they build for
//   Windows only) keeps its class name, name and properties exactly as the text gives them.
//   The text must then say what the designer would store; the Windows test that reads the
//   compiled forms into the live classes and writes them back holds it to that.
// Two components of one name are an error. Errors are FormTextError with the line of the
// faulty object or property.
std::string CompileForm(std::string_view text, const FormCompileOptions& options);
