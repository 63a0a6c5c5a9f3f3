#pragma once
// The binary form stream: TReader reads form data into components, TWriter writes them.
//
//   stream   = "TPF0" object
//   object   = [prefix] ShortString(class name) ShortString(component name)
//              {property} 00 {object} 00
//   prefix   = F0|flags (inherited 1, child position 2, inline 4); with flag 2 an integer
//              value follows. Read and ignored; never written.
//   property = ShortString(name) value     (sub-object properties as dotted names, Font.Name)
//   ShortString = length byte + bytes; all numbers little-endian.
//
// | Code | Value type   | Payload                                                        |
// |------|--------------|----------------------------------------------------------------|
// | 00   | vaNull       | none; also the end of properties, objects, lists              |
// | 01   | vaList       | values, then 00                                                |
// | 02   | vaInt8       | 1 byte, signed                                                 |
// | 03   | vaInt16      | 2 bytes, signed                                                |
// | 04   | vaInt32      | 4 bytes, signed                                                |
// | 05   | vaExtended   | 10 bytes, x87 80-bit                                           |
// | 06   | vaString     | length byte + bytes (code page 932)                            |
// | 07   | vaIdent      | length byte + identifier                                       |
// | 08   | vaFalse      | none                                                           |
// | 09   | vaTrue       | none                                                           |
// | 0A   | vaBinary     | 4-byte length + bytes                                          |
// | 0B   | vaSet        | ShortString names, then 00                                     |
// | 0C   | vaLString    | 4-byte length + bytes (code page 932)                          |
// | 0D   | vaNil        | none                                                           |
// | 0E   | vaCollection | items, then 00; item = [integer order] 01 properties 00        |
// | 0F   | vaSingle     | 4 bytes IEEE                                                   |
// | 10   | vaCurrency   | 8 bytes, Int64 x 10000                                         |
// | 11   | vaDate       | 8 bytes, double                                                |
// | 12   | vaWString    | 4-byte count of UTF-16 units + 2 x count bytes                 |
// | 13   | vaInt64      | 8 bytes, signed                                                |
// | 14   | vaUTF8String | 4-byte byte count + UTF-8                                      |
// | 15   | vaDouble     | 8 bytes, double                                                |
//
// Strings are written as vaString (up to 255 bytes) or vaLString in code page 932, the way an
// ANSI-era form holds them; text with a character that code page lacks goes as vaWString.
// Integers take the smallest of the three widths; floats vaExtended; nil references vaNil.
// Every fault in the data raises EReadError naming the byte offset; nothing is trusted.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/Classes.h"

enum class TValueType : std::uint8_t {
  vaNull = 0x00, vaList = 0x01, vaInt8 = 0x02, vaInt16 = 0x03, vaInt32 = 0x04,
  vaExtended = 0x05, vaString = 0x06, vaIdent = 0x07, vaFalse = 0x08, vaTrue = 0x09,
  vaBinary = 0x0A, vaSet = 0x0B, vaLString = 0x0C, vaNil = 0x0D, vaCollection = 0x0E,
  vaSingle = 0x0F, vaCurrency = 0x10, vaDate = 0x11, vaWString = 0x12, vaInt64 = 0x13,
  vaUTF8String = 0x14, vaDouble = 0x15,
};

inline constexpr char kFormSignature[4] = {'T', 'P', 'F', '0'};
inline constexpr std::uint8_t kPrefixMask = 0xF0;
inline constexpr std::uint8_t kPrefixInherited = 1;
inline constexpr std::uint8_t kPrefixChildPos = 2;
inline constexpr std::uint8_t kPrefixInline = 4;

// What DefineProperties sees: the reader or the writer.
class TFiler {
 public:
  virtual ~TFiler() = default;
  using ReaderProc = std::function<void(class TReader&)>;
  using WriterProc = std::function<void(class TWriter&)>;
  using StreamProc = std::function<void(TStream&)>;
  // A property of the object's own format, read and written through the reader/writer's
  // value calls. Written only when hasData is true.
  virtual void DefineProperty(const std::string& name, ReaderProc read, WriterProc write,
                              bool hasData) = 0;
  // A raw byte block (vaBinary). The reader hands `read` a stream over the block's bytes; the
  // writer collects what `write` writes and stores it as the block. Written when hasData.
  virtual void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                                    bool hasData) = 0;
  // The component at the top of the data being read or written (the form).
  virtual TComponent* Root() const = 0;
};

class TReader : public TFiler {
 public:
  enum class Mode {
    kRunTime,  // components are created csLoading and get Loaded() at the end
    kDesign,   // as a designer assigns them: csDesigning, no csLoading, no Loaded()
  };
  explicit TReader(std::string_view data, Mode mode = Mode::kRunTime);

  // Reads the whole form data into `root`, which must be of the class the data names (or pose
  // as it: ClassName()). Creates, names, parents and binds the children.
  void ReadRootComponent(TComponent* root);
  // The root object's class name, or EReadError.
  static std::string ReadRootClassName(std::string_view data);

  // Value calls for DefineProperty readers and for tests.
  TValueType NextValue() const;  // without consuming
  TValueType ReadValue();
  std::int64_t ReadInteger();
  bool ReadBoolean();
  std::string ReadString();  // UTF-8
  std::string ReadIdent();
  double ReadFloat();
  std::string ReadBinary();
  void ReadListBegin();
  bool EndOfList() const;
  void ReadListEnd();
  std::uint64_t Position() const { return pos_; }

  void DefineProperty(const std::string& name, ReaderProc read, WriterProc write,
                      bool hasData) override;
  void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                            bool hasData) override;
  TComponent* Root() const override { return root_; }

  [[noreturn]] void Error(const std::string& message, std::uint64_t offset) const;

 private:
  struct Fixup {
    TObject* instance;
    const TPropInfo* prop;
    std::string name;
    std::uint64_t offset;
  };
  std::uint8_t ReadByte();
  const char* Need(std::uint64_t count);
  std::string ReadShortString();
  std::uint32_t ReadU32();
  void ReadPrefix();
  TComponent* ReadComponent(TComponent* parent, int depth);
  void ReadProperties(TComponent* instance);
  void ReadProperty(TComponent* instance);
  void ReadPropValue(TObject& instance, const TPropInfo& prop, std::uint64_t at);
  void ReadCollection(class TCollection& collection, std::uint64_t at);
  void ReadDefined(TPersistent& instance, const std::string& propName, std::uint64_t at);
  std::string StringPayload(TValueType t, std::uint64_t at);
  void SkipValue(int depth);
  void Finish();

  std::string_view data_;
  std::uint64_t pos_ = 0;
  Mode mode_;
  TComponent* root_ = nullptr;
  std::vector<TComponent*> loaded_;
  std::vector<Fixup> fixups_;
  int listDepth_ = 0;
  // DefineProperties lookup for one property name.
  const std::string* seeking_ = nullptr;
  bool found_ = false;
};

class TWriter : public TFiler {
 public:
  explicit TWriter(TStream& out);
  void WriteRootComponent(TComponent* root);
  // Alone, for tests and DefineProperty writers.
  void WriteValue(TValueType t);
  void WriteInteger(std::int64_t v);
  void WriteBoolean(bool v);
  void WriteString(std::string_view utf8);
  void WriteIdent(std::string_view ident);
  void WriteFloat(double v);
  void WriteBinary(std::string_view bytes);
  void WriteListBegin();
  void WriteListEnd();

  void DefineProperty(const std::string& name, ReaderProc read, WriterProc write,
                      bool hasData) override;
  void DefineBinaryProperty(const std::string& name, StreamProc read, StreamProc write,
                            bool hasData) override;
  TComponent* Root() const override { return root_; }

 private:
  void WriteShortString(std::string_view s);
  void WriteU32(std::uint32_t v);
  void WriteComponent(TComponent* c);
  void WriteProperties(TPersistent& instance, const std::string& prefix);
  void WriteProperty(TPersistent& instance, const TPropInfo& prop, const std::string& prefix);
  void WritePropName(const std::string& name);

  TStream& out_;
  TComponent* root_ = nullptr;
  std::string prefix_;
};

// x87 80-bit extended <-> double (portable; the format of vaExtended).
void DoubleToExtended(double v, unsigned char out[10]);
double ExtendedToDouble(const unsigned char in[10]);

// Convenience: the whole stream of `root` as bytes.
std::string WriteComponentToBytes(TComponent* root);
