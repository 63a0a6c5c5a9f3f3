#pragma once
// TbinaryKeeper: a non-visual component that keeps the bytes of a file inside form data.
//
// At design time assigning Filename takes the named file in; form data then carries the bytes
// in the component's own binary property "Data". At run time the bytes come back from the
// form data, and assigning Filename does nothing.
//
// "Data" is a vaBinary block (the framework writes 0A and a 4-byte length around it); inside:
//   | Offset | Size | Field                                        |
//   |--------|------|----------------------------------------------|
//   | 0      | 4    | N, the number of kept bytes, little-endian   |
//   | 4      | N    | the kept bytes                               |
// A keeper without kept data writes an empty block; an empty block reads back as kept data
// that exists and is empty.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/Classes.h"

inline constexpr std::size_t kKeeperCountOffset = 0;
inline constexpr std::size_t kKeeperCountSize = 4;
inline constexpr std::size_t kKeeperBytesOffset = 4;

class TbinaryKeeper : public TComponent {
  FW_CLASS(TbinaryKeeper, TComponent)
  explicit TbinaryKeeper(TComponent* owner);
  ~TbinaryKeeper() override;

  // The kept bytes; null until something was taken in or read from form data.
  TMemoryStream* stream() const { return data_.get(); }
  std::int32_t Size() const { return size_; }
  const std::string& Filename() const { return filename_; }
  void SetFilename(const std::string& name);

  void DefineProperties(TFiler& filer) override;

 private:
  void ReadData(TStream& block);
  void WriteData(TStream& block);

  std::string filename_;
  std::int32_t size_ = 0;
  std::unique_ptr<TMemoryStream> data_;
};
